// SPDX-License-Identifier: GPL-3.0-or-later
#include "qimagescrollarea.h"
#include "quad.h"
#include "savename.h"

#include "../support/actionlookup.h"
#include "../support/driveroot.h"
#include "../support/modalanswer.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <memory>

namespace {

const char *const startupPath = "Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif";

// A 640 x 480 picture with a distinct value in every pixel, so shifts and stretches show.
cv::Mat gradientImage(int width = 640, int height = 480) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, (x + y) % 256);
    return image;
}

// Triggers the viewer's action with this text, `times` times over.
void trigger(QImageScrollArea &viewer, const char *text, int times = 1) {
    for (int i = 0; i < times; ++i)
        actionNamed(viewer, QString::fromLatin1(text))->trigger();
}

// The widget pixel in the middle of image pixel `pixel` at display scale `scale`.
QPoint widgetPixel(cv::Point pixel, QPointF scale) {
    return QPoint(int((pixel.x + 0.5) * scale.x()), int((pixel.y + 0.5) * scale.y()));
}

// A mouse event for the canvas, placed by where it happens on the viewport.
void sendToCanvas(QImageScrollArea &viewer, QPoint onPort, Qt::MouseButtons buttons,
                  QEvent::Type type = QEvent::MouseMove, Qt::MouseButton button = Qt::NoButton) {
    QWidget *port = viewer.viewport();
    QCVImage *canvas = viewer.imageCanvas();
    QMouseEvent event(type, canvas->mapFrom(port, onPort), port->mapToGlobal(onPort), button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
}

} // namespace

class ScrollAreaTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsEmptyWithoutTheStartupImage();
    void loadsTheStartupImageAndBuildsTheImageMenu();
    void zoomStepsMultiplyTheFactorAndSizeTheCanvas();
    void zoomKeepsTheCentreOfTheView();
    void wheelZoomsByPowersOfOneQuarter();
    void fitToWindowStretchesAndReturnsToNaturalSize();
    void zoomToFitKeepsTheAspectRatioCentredThroughResizes_data();
    void zoomToFitKeepsTheAspectRatioCentredThroughResizes();
    void saveProposesThePicturesNameWithRect();
    void overlayAndMouseStayOnThePictureInEveryDisplayState();
    void openFailureNamesTheFile();
    void openShowsTheNewPictureAtFullSize();
    void saveRefusalNamesItsCause();
    void newImageIsUniformGreyOfTheCurrentSize();
    void keyWRunsBothCorrectionsAndNavigationKeysScroll();
    void middleButtonPansTheView();
    void smallPictureIsCentredAndTheMouseStaysOnIt();
    void lockedCommandsLeaveTheImageAlone();
    void printsThePictureWithoutTheOverlay();

private:
    std::unique_ptr<TemporaryDriveRoot> root;

    void writeStartupImage(const cv::Mat &image) {
        const QString path = root->filePath(QString::fromLatin1(startupPath));
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(cv::imwrite(path.toStdString(), image));
    }
};

void ScrollAreaTest::init() {
    root = std::make_unique<TemporaryDriveRoot>();
    QVERIFY(root->isValid());
}

void ScrollAreaTest::cleanup() {
    root.reset();
}

void ScrollAreaTest::startsEmptyWithoutTheStartupImage() {
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    QVERIFY(canvas.isCurrentImageEmpty());
    QVERIFY(canvas.pixmap().isNull());
    for (const char *text :
         {"&Print...", "Zoom &In (25%)", "Zoom &Out (25%)", "&Normal Size", "&Fit to Window"}) {
        QAction *action = actionNamed(viewer, QString::fromLatin1(text));
        QVERIFY2(action, text);
        QVERIFY2(action->isEnabled(), text);
    }
    QVERIFY(!actionNamed(viewer, "&Fit to Window")->isChecked());
    trigger(viewer, "Zoom &In (25%)");
    QCOMPARE(canvas.scaleFactor, 1.0);
}

void ScrollAreaTest::loadsTheStartupImageAndBuildsTheImageMenu() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    QCOMPARE(canvas.sourceCount, 1);
    QCOMPARE(canvas.pixmap().size(), QSize(640, 480));
    QCOMPARE(canvas.size(), QSize(640, 480));
    QCOMPARE(canvas.corners[0], cv::Point(160, 120));
    QCOMPARE(canvas.corners[2], cv::Point(480, 360));

    QMenu *menu = viewer.createImageMenu();
    QCOMPARE(menu->title(), QString("&Image"));
    QCOMPARE(menu->parent(), &viewer);
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text();
    QCOMPARE(texts, QStringList({"Zoom &In (25%)", "Zoom &Out (25%)", "&Normal Size",
                                 "&Fit to Window", "&Print..."}));

    QAction *print = menu->actions().at(4);
    QCOMPARE(print->shortcuts(), QKeySequence::keyBindings(QKeySequence::Print));
    QCOMPARE(print->statusTip(), QString("Print the current image"));
    QCOMPARE(menu->actions().at(0)->shortcut(), QKeySequence("Ctrl++"));
    QCOMPARE(menu->actions().at(1)->shortcut(), QKeySequence("Ctrl+-"));
    // Ctrl+S stays Save's own key.
    QCOMPARE(menu->actions().at(2)->shortcut(), QKeySequence("Ctrl+0"));
    QCOMPARE(menu->actions().at(3)->shortcut(), QKeySequence("Ctrl+F"));
    QVERIFY(menu->actions().at(3)->isCheckable());

    const QStringList patterns =
        QImageScrollArea::imageFileFilter().section('(', 1).chopped(1).split(' ',
                                                                             Qt::SkipEmptyParts);
    for (const char *pattern : {"*.tif", "*.tiff", "*.png", "*.bmp", "*.jpg", "*.jpeg", "*.jp2",
                                "*.pbm", "*.sr", "*.ras"})
        QVERIFY2(patterns.contains(pattern), pattern);
}

void ScrollAreaTest::zoomStepsMultiplyTheFactorAndSizeTheCanvas() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    viewer.createImageMenu();
    trigger(viewer, "Zoom &In (25%)", 2);
    QCOMPARE(canvas.scaleFactor, 1.5625);
    QCOMPARE(canvas.size(), QSize(1000, 750));
    trigger(viewer, "Zoom &Out (25%)");
    QCOMPARE(canvas.scaleFactor, 1.25 * 1.25 * 0.8);
    QCOMPARE(canvas.size(),
             QSize(qRound(640 * 1.25 * 1.25 * 0.8), qRound(480 * 1.25 * 1.25 * 0.8)));

    // Normal Size returns to 100 %.
    trigger(viewer, "&Normal Size");
    QCOMPARE(canvas.scaleFactor, 1.0);
    QCOMPARE(canvas.size(), QSize(640, 480));

    // Zooming goes on in both directions until the canvas would be smaller than a pixel or
    // larger than a widget can be; the steps beyond are refused, so its size never overflows.
    trigger(viewer, "Zoom &Out (25%)", 12);
    QCOMPARE(canvas.scaleFactor, std::pow(0.8, 12));
    trigger(viewer, "Zoom &Out (25%)", 40);
    QVERIFY(canvas.width() >= 1 && canvas.height() >= 1);
    QVERIFY(480 * canvas.scaleFactor * 0.8 < 1.0);
    canvas.setScale(1.0);
    trigger(viewer, "Zoom &In (25%)", 120);
    QVERIFY(640 * canvas.scaleFactor * 1.25 > QWIDGETSIZE_MAX);
    QCOMPARE(canvas.size(), (QSizeF(640, 480) * canvas.scaleFactor).toSize());
    QVERIFY(!canvas.pixmap().isNull());
}

void ScrollAreaTest::zoomKeepsTheCentreOfTheView() {
    writeStartupImage(gradientImage(2000, 2000));
    QImageScrollArea viewer;
    viewer.show();
    // Size the view so that the page step is 200.
    viewer.resize(400, 400);
    QScrollBar *bar = viewer.horizontalScrollBar();
    viewer.resize(viewer.width() + 200 - bar->pageStep(), viewer.height());
    QCOMPARE(bar->pageStep(), 200);

    bar->setValue(100);
    trigger(viewer, "Zoom &In (25%)");
    QCOMPARE(bar->value(), 150);
    bar->setValue(100);
    trigger(viewer, "Zoom &Out (25%)");
    QCOMPARE(bar->value(), 60);

    // Truncation, and clamping to the new range.
    viewer.resize(viewer.width() + 100 - bar->pageStep(), viewer.height());
    QCOMPARE(bar->pageStep(), 100);
    bar->setValue(33);
    trigger(viewer, "Zoom &In (25%)");
    QCOMPARE(bar->value(), 53);
    bar->setValue(bar->maximum());
    trigger(viewer, "Zoom &Out (25%)");
    QCOMPARE(bar->value(), bar->maximum());
}

void ScrollAreaTest::wheelZoomsByPowersOfOneQuarter() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    viewer.resize(300, 300);
    viewer.show();
    QCVImage &canvas = *viewer.imageCanvas();
    auto turn = [&](int delta) {
        QWheelEvent wheel(QPointF(50, 50), viewer.viewport()->mapToGlobal(QPointF(50, 50)),
                          QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewer.viewport(), &wheel);
    };
    turn(-240);
    QCOMPARE(canvas.scaleFactor, 0.64);
    turn(240);
    QVERIFY(qFuzzyCompare(canvas.scaleFactor, 1.0));
    canvas.setScale(1.0);
    turn(60);
    QCOMPARE(canvas.scaleFactor, std::pow(1.25, 7 / 15.0));

    canvas.setScale(1.0);
    viewer.horizontalScrollBar()->setValue(40);
    turn(5);
    QCOMPARE(canvas.scaleFactor, 1.0);
    QCOMPARE(viewer.horizontalScrollBar()->value(), 40);
}

void ScrollAreaTest::fitToWindowStretchesAndReturnsToNaturalSize() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    viewer.resize(500, 300);
    viewer.show();
    QCVImage &canvas = *viewer.imageCanvas();
    trigger(viewer, "Zoom &In (25%)");

    QAction *fit = actionNamed(viewer, "&Fit to Window");
    fit->trigger();
    QVERIFY(fit->isChecked());
    QVERIFY(!actionNamed(viewer, "Zoom &In (25%)")->isEnabled());
    QVERIFY(!actionNamed(viewer, "Zoom &Out (25%)")->isEnabled());
    QVERIFY(!actionNamed(viewer, "&Normal Size")->isEnabled());
    QVERIFY(actionNamed(viewer, "&Print...")->isEnabled());
    QTRY_COMPARE(canvas.size(), viewer.viewport()->size());

    fit->trigger();
    QVERIFY(!fit->isChecked());
    QVERIFY(actionNamed(viewer, "Zoom &In (25%)")->isEnabled());
    QCOMPARE(canvas.size(), QSize(640, 480));
    QCOMPARE(canvas.scaleFactor, 1.0);
}

void ScrollAreaTest::overlayAndMouseStayOnThePictureInEveryDisplayState() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    viewer.resize(500, 300);
    viewer.show();
    QCVImage &canvas = *viewer.imageCanvas();
    const QSize picture(640, 480);

    // Drags corner 0 through the widget towards the image pixel `target`: the corner is taken
    // where its mark is drawn and ends under the mouse.
    auto dragCornerZeroTo = [&](cv::Point target) {
        const QPointF scale = canvas.displayScale();
        QCOMPARE(scale.x(), double(canvas.width()) / picture.width());
        QCOMPARE(scale.y(), double(canvas.height()) / picture.height());
        const QPoint from = widgetPixel(canvas.corners[0], scale);
        canvas.trackMouse(from.x(), from.y(), Qt::NoButton);
        QCOMPARE(canvas.hoverHandle, 0);
        canvas.trackMouse(from.x(), from.y(), Qt::LeftButton);
        const QPoint to = widgetPixel(target, scale);
        canvas.trackMouse(to.x(), to.y(), Qt::LeftButton);
        const cv::Point moved = canvas.corners[0];
        QVERIFY(std::abs(moved.x * scale.x() - to.x()) < std::max(1.0, scale.x()));
        QVERIFY(std::abs(moved.y * scale.y() - to.y()) < std::max(1.0, scale.y()));
        if (scale.x() >= 1 && scale.y() >= 1)
            QCOMPARE(moved, target);
        canvas.trackMouse(to.x(), to.y(), Qt::NoButton);
    };

    dragCornerZeroTo(cv::Point(150, 110));
    trigger(viewer, "Zoom &In (25%)", 2);
    dragCornerZeroTo(cv::Point(140, 100));
    trigger(viewer, "&Normal Size");
    QCOMPARE(canvas.size(), picture);
    dragCornerZeroTo(cv::Point(130, 90));

    QAction *fit = actionNamed(viewer, "&Fit to Window");
    fit->trigger();
    QTRY_COMPARE(canvas.size(), viewer.viewport()->size());
    dragCornerZeroTo(cv::Point(120, 80));
    fit->trigger();
    dragCornerZeroTo(cv::Point(110, 70));

    // Above a zoom of 5 a corner can still be taken.
    trigger(viewer, "Zoom &In (25%)", 9);
    QVERIFY(canvas.scaleFactor > 5.0);
    dragCornerZeroTo(cv::Point(100, 60));
}

void ScrollAreaTest::openFailureNamesTheFile() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    canvas.corners[0] = cv::Point(10, 20);
    const QString broken = root->filePath("broken.png");
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    answerNextFileDialog(broken);
    QString message;
    QString title;
    answerNextModal<QMessageBox>([&](QMessageBox *box) {
        message = box->text();
        title = box->windowTitle();
        box->accept();
    });
    QVERIFY(QMetaObject::invokeMethod(&viewer, "openSlot"));
    QCOMPARE(title, QString("QVexmira"));
    QVERIFY2(message.startsWith(QString("Cannot load Error %1.").arg(broken)), qPrintable(message));
    QCOMPARE(canvas.sourceCount, 1);
    QCOMPARE(canvas.corners[0], cv::Point(10, 20));
    QCOMPARE(canvas.pixmap().size(), QSize(640, 480));
}

void ScrollAreaTest::openShowsTheNewPictureAtFullSize() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    trigger(viewer, "Zoom &In (25%)");
    const QString other = root->filePath("other.png");
    QVERIFY(cv::imwrite(other.toStdString(), gradientImage(200, 100)));

    answerNextFileDialog(other);
    QVERIFY(QMetaObject::invokeMethod(&viewer, "openSlot"));
    QCOMPARE(canvas.sourceCount, 2);
    QCOMPARE(canvas.scaleFactor, 1.0);
    QCOMPARE(canvas.size(), QSize(200, 100));
    QCOMPARE(canvas.corners[2], cv::Point(150, 75));
}

void ScrollAreaTest::zoomToFitKeepsTheAspectRatioCentredThroughResizes_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("view");
    QTest::newRow("wider view: the height decides") << QSize(1600, 1200) << QSize(1057, 685);
    QTest::newRow("tall picture") << QSize(300, 900) << QSize(500, 300);
    QTest::newRow("small picture grows") << QSize(40, 30) << QSize(700, 400);
    QTest::newRow("wide picture in a tall view") << QSize(2000, 500) << QSize(400, 600);
}

void ScrollAreaTest::zoomToFitKeepsTheAspectRatioCentredThroughResizes() {
    QFETCH(QSize, picture);
    QFETCH(QSize, view);
    QImageScrollArea viewer(false);
    QCVImage &canvas = *viewer.imageCanvas();
    QVERIFY(canvas.showNewImage(gradientImage(picture.width(), picture.height())));
    viewer.resize(view);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QAction *zoomToFit = viewer.zoomToFitAction();
    QCOMPARE(zoomToFit->shortcut(), QKeySequence("Ctrl+Shift+F"));
    zoomToFit->trigger();
    QVERIFY(zoomToFit->isChecked());

    // After a resize too: the whole picture, undistorted, touching the view on one axis.
    for (const QSize &resized : {view, view.transposed()}) {
        viewer.resize(resized);
        QTRY_COMPARE(viewer.viewport()->size().width(), resized.width() - 2 * viewer.frameWidth());
        const QSize port = viewer.viewport()->size();
        const QRect shown = canvas.geometry();
        QVERIFY(port.width() >= shown.width() && port.height() >= shown.height());
        QVERIFY(shown.width() == port.width() || shown.height() == port.height());
        // The rounded side within a pixel of the picture's own proportion.
        const double aspect = double(picture.width()) / picture.height();
        QVERIFY(std::abs(shown.width() - shown.height() * aspect) < 1.0 ||
                std::abs(shown.height() - shown.width() / aspect) < 1.0);
        const QPointF scale = canvas.displayScale();
        // The zoom read-out's factor is that of the side meeting the view.
        const double exact = shown.width() == port.width() ? scale.x() : scale.y();
        QVERIFY(std::abs(exact - canvas.scaleFactor) < 1e-9);
        // Centred, to the pixel.
        QVERIFY(std::abs(shown.center().x() - port.width() / 2) <= 1 &&
                std::abs(shown.center().y() - port.height() / 2) <= 1);
    }

    // Fit to Window takes over and stretches; zooming by hand ends the fit too.
    trigger(viewer, "&Fit to Window");
    QVERIFY(!zoomToFit->isChecked());
    QTRY_COMPARE(canvas.size(), viewer.viewport()->size());
    zoomToFit->trigger();
    QVERIFY(!actionNamed(viewer, "&Fit to Window")->isChecked());
    trigger(viewer, "Zoom &In (25%)");
    QVERIFY(!zoomToFit->isChecked());
}

void ScrollAreaTest::saveProposesThePicturesNameWithRect() {
    const QString home = QDir::homePath();
    QCOMPARE(proposedSaveName(root->filePath("DSC_1245.tif"), home),
             root->filePath("DSC_1245-rect.tif"));
    QCOMPARE(proposedSaveName(root->filePath("a.b.png"), home), root->filePath("a.b-rect.png"));
    // A folder that cannot be written to (here: gone) gives way to the fallback.
    QCOMPARE(proposedSaveName(root->filePath("gone/DSC_1245.png"), home),
             QDir(home).filePath("DSC_1245-rect.png"));
    QVERIFY(proposedSaveName(QString(), home).isEmpty());
    QCOMPARE(shortenedPath("/tmp/a.png"), QString("/tmp/a.png"));
    QCOMPARE(shortenedPath("/" + QString(70, 'x') + "/DSC_1245-rect.png"),
             QString("…/DSC_1245-rect.png"));

    // The dialog opens on the proposal.
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    viewer.setPictureFile(root->filePath("DSC_1245.tif"));
    QString offered;
    answerNextModal<QFileDialog>([&](QFileDialog *dialog) {
        offered = dialog->selectedFiles().value(0);
        dialog->reject();
    });
    QVERIFY(!viewer.saveWithDialog());
    QCOMPARE(offered, root->filePath("DSC_1245-rect.tif"));
}

void ScrollAreaTest::saveRefusalNamesItsCause() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    // Corner 2 dragged above and left of corner 0.
    canvas.corners[2] = cv::Point(100, 100);
    const QString target = root->filePath("patch.png");

    answerNextFileDialog(target);
    QString message;
    answerNextModal<QMessageBox>([&](QMessageBox *box) {
        message = box->text();
        box->accept();
    });
    QVERIFY(QMetaObject::invokeMethod(&viewer, "saveSlot"));
    QVERIFY2(message.startsWith(QString("Cannot write file %1:\n").arg(target)),
             qPrintable(message));
    QVERIFY(!canvas.lastSaveError().isEmpty());
    QVERIFY2(message.contains(canvas.lastSaveError().chopped(1)), qPrintable(message));
    QVERIFY2(!message.endsWith(".."), qPrintable(message));
    QVERIFY(!QFile::exists(target));

    // The rectangle itself is written once it is sound again.
    canvas.corners[2] = cv::Point(480, 360);
    answerNextFileDialog(target);
    QVERIFY(QMetaObject::invokeMethod(&viewer, "saveSlot"));
    const cv::Mat written = cv::imread(target.toStdString(), cv::IMREAD_UNCHANGED);
    QCOMPARE(written.cols, 320);
    QCOMPARE(written.rows, 240);
    QCOMPARE(written.at<cv::Vec3b>(0, 0), cv::Vec3b(160, 120, 24));
}

void ScrollAreaTest::newImageIsUniformGreyOfTheCurrentSize() {
    {
        QImageScrollArea viewer;
        QCVImage &canvas = *viewer.imageCanvas();
        QVERIFY(QMetaObject::invokeMethod(&viewer, "newSlot"));
        QCOMPARE(canvas.sourceCount, 1);
        const cv::Mat &image = canvas.image(true, -1, false);
        QCOMPARE(image.type(), CV_8UC3);
        QCOMPARE(image.cols, 1024);
        QCOMPARE(image.rows, 768);
        QCOMPARE(cv::countNonZero(image.reshape(1) != 128), 0);
        QCOMPARE(canvas.corners[0], cv::Point(256, 192));
        QCOMPARE(canvas.size(), QSize(1024, 768));
    }
    writeStartupImage(gradientImage(300, 200));
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    QVERIFY(QMetaObject::invokeMethod(&viewer, "newSlot"));
    QCOMPARE(canvas.sourceCount, 2);
    QCOMPARE(canvas.image(true, -1, false).size(), cv::Size(300, 200));
    QCOMPARE(canvas.pixmap().toImage().pixel(10, 10), qRgb(128, 128, 128));
}

void ScrollAreaTest::keyWRunsBothCorrectionsAndNavigationKeysScroll() {
    writeStartupImage(gradientImage(1000, 1000));
    QImageScrollArea viewer;
    viewer.resize(300, 300);
    viewer.show();
    QCVImage &canvas = *viewer.imageCanvas();

    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        canvas.corners[0] = cv::Point(100, 150);
        const int count = canvas.sourceCount;
        const cv::Mat before = canvas.image(true, -1, false);
        QTest::keyClick(&viewer, Qt::Key_W, modifiers);
        // The warp pushes one image; the shading correction replaces it in place.
        QCOMPARE(canvas.sourceCount, count + 1);
        QCOMPARE(canvas.corners[0], cv::Point(0, 0));
        QCOMPARE(canvas.corners[2], cv::Point(1000, 1000));
        QVERIFY(canvas.image(true, -1, false).data != before.data);
    }

    QScrollBar &horizontal = *viewer.horizontalScrollBar();
    QScrollBar &vertical = *viewer.verticalScrollBar();
    horizontal.setValue(100);
    vertical.setValue(100);
    // Keys that neither correct nor navigate are taken and do nothing.
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Tab, Qt::Key_A, Qt::Key_Escape}) {
        QTest::keyClick(&viewer, key);
        QCOMPARE(horizontal.value(), 100);
        QCOMPARE(vertical.value(), 100);
    }
    struct Move {
        Qt::Key key;
        int horizontal;
        int vertical;
    };
    const int line = horizontal.singleStep();
    QVERIFY(line > 0);
    for (const Move &move :
         {Move{Qt::Key_Right, 100 + line, 100}, Move{Qt::Key_Left, 100, 100},
          Move{Qt::Key_Down, 100, 100 + line}, Move{Qt::Key_Up, 100, 100},
          Move{Qt::Key_PageDown, 100, 100 + vertical.pageStep()}, Move{Qt::Key_PageUp, 100, 100},
          Move{Qt::Key_End, horizontal.maximum(), vertical.maximum()}, Move{Qt::Key_Home, 0, 0}}) {
        QTest::keyClick(&viewer, move.key);
        QCOMPARE(horizontal.value(), move.horizontal);
        QCOMPARE(vertical.value(), move.vertical);
        horizontal.setValue(move.horizontal == 0 ? 100 : horizontal.value());
        vertical.setValue(move.vertical == 0 ? 100 : vertical.value());
    }
}

void ScrollAreaTest::middleButtonPansTheView() {
    writeStartupImage(gradientImage(1000, 1000));
    QImageScrollArea viewer;
    viewer.resize(300, 300);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCVImage &canvas = *viewer.imageCanvas();
    viewer.horizontalScrollBar()->setValue(200);
    viewer.verticalScrollBar()->setValue(200);
    const Quad corners = quadFromPoints(canvas.corners);

    // Dragged on the canvas with the middle button, by 30 left and 50 up; the mouse stays
    // where it is on the screen while the canvas moves under it.
    QCOMPARE(viewer.viewport()->childAt(QPoint(150, 150)), &canvas);
    sendToCanvas(viewer, {150, 150}, Qt::MiddleButton, QEvent::MouseButtonPress, Qt::MiddleButton);
    sendToCanvas(viewer, {140, 130}, Qt::MiddleButton);
    sendToCanvas(viewer, {120, 100}, Qt::MiddleButton);
    sendToCanvas(viewer, {120, 100}, Qt::NoButton, QEvent::MouseButtonRelease, Qt::MiddleButton);
    // The picture follows the mouse: the view moves the other way.
    QCOMPARE(viewer.horizontalScrollBar()->value(), 230);
    QCOMPARE(viewer.verticalScrollBar()->value(), 250);
    QCOMPARE(quadFromPoints(canvas.corners), corners);

    QCOMPARE(actionNamed(viewer, "Zoom &In (25%)")->shortcuts(),
             QList<QKeySequence>({QKeySequence("Ctrl++"), QKeySequence("Ctrl+=")}));
}

void ScrollAreaTest::smallPictureIsCentredAndTheMouseStaysOnIt() {
    writeStartupImage(gradientImage(200, 150));
    QImageScrollArea viewer;
    viewer.resize(600, 500);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCVImage &canvas = *viewer.imageCanvas();
    const QSize room = viewer.viewport()->size();
    // Equal margins, to a pixel of rounding.
    auto centred = [&] {
        const QRect shown = canvas.geometry();
        return std::abs(shown.left() - (room.width() - 1 - shown.right())) <= 1 &&
               std::abs(shown.top() - (room.height() - 1 - shown.bottom())) <= 1;
    };
    QCOMPARE(canvas.size(), QSize(200, 150));
    QVERIFY(canvas.pos().x() > 100 && canvas.pos().y() > 100);
    QVERIFY(centred());

    // Corner 0 dragged by the mouse on the viewport: it is taken under the mouse and ends there,
    // at 100 % and zoomed (still smaller than the view).
    for (int zoom = 0; zoom < 2; ++zoom) {
        const QPointF scale = canvas.displayScale();
        const cv::Point target(40 + 10 * zoom, 30 + 5 * zoom);
        const QPoint from = canvas.mapToParent(widgetPixel(canvas.corners[0], scale));
        const QPoint to = canvas.mapToParent(widgetPixel(target, scale));
        QCOMPARE(viewer.viewport()->childAt(from), &canvas);
        sendToCanvas(viewer, from, Qt::NoButton);
        QCOMPARE(canvas.hoverHandle, 0);
        sendToCanvas(viewer, from, Qt::LeftButton);
        sendToCanvas(viewer, to, Qt::LeftButton);
        sendToCanvas(viewer, to, Qt::NoButton);
        QCOMPARE(canvas.corners[0], target);
        trigger(viewer, "Zoom &In (25%)");
        QVERIFY(centred());
    }
}

void ScrollAreaTest::lockedCommandsLeaveTheImageAlone() {
    writeStartupImage(gradientImage());
    QImageScrollArea viewer;
    QCVImage &canvas = *viewer.imageCanvas();
    viewer.setImageCommandsEnabled(false);
    QTest::keyClick(&viewer, Qt::Key_W);
    viewer.warp();
    viewer.shading();
    QVERIFY(QMetaObject::invokeMethod(&viewer, "newSlot"));
    QCOMPARE(canvas.sourceCount, 1);
    QVERIFY(!canvas.isEnabled());

    viewer.setImageCommandsEnabled(true);
    viewer.warp();
    QCOMPARE(canvas.sourceCount, 2);
}

void ScrollAreaTest::printsThePictureWithoutTheOverlay() {
    // Left half red, right half blue, 2:1; the corners lie on it.
    cv::Mat picture(200, 400, CV_8UC3, cv::Scalar(0, 0, 255));
    picture.colRange(200, 400).setTo(cv::Scalar(255, 0, 0));
    writeStartupImage(picture);
    QImageScrollArea viewer;

    const QString pdf = root->filePath("page.pdf");
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    viewer.printPicture(printer);
    QVERIFY(QFileInfo(pdf).size() > 0);

    const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm is not installed");
    const QString raster = root->filePath("page");
    QCOMPARE(QProcess::execute(pdftoppm, {"-png", "-r", "72", "-singlefile", pdf, raster}), 0);
    const QImage page(raster + ".png");
    QVERIFY(!page.isNull());

    // Find the picture's bounding box on the page.
    QRect red, blue;
    int overlay = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                red |= QRect(x, y, 1, 1);
            else if (c.blue() > 200 && c.green() < 60 && c.red() < 60)
                blue |= QRect(x, y, 1, 1);
            else if (c.red() > 120 && c.blue() > 170 && c.green() < 60)
                ++overlay;
        }
    QVERIFY(!red.isEmpty());
    QVERIFY(!blue.isEmpty());
    QCOMPARE(overlay, 0);
    const QRect whole = red | blue;
    // The picture fills the printable width with its 2:1 proportions kept.
    QVERIFY2(std::abs(whole.width() - 2 * whole.height()) <= 3,
             qPrintable(QString("%1 x %2").arg(whole.width()).arg(whole.height())));
    QVERIFY(whole.width() > page.width() / 2);
    QVERIFY(std::abs(red.width() - blue.width()) <= 3);
    QVERIFY(red.left() < blue.left());
}

QTEST_MAIN(ScrollAreaTest)
#include "test_scrollarea.moc"
