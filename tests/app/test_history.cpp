// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagehistory.h"
#include "imagesteps.h"
#include "mainwindow.h"
#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"

#include "../support/actionlookup.h"
#include "../support/driveroot.h"
#include "../support/modalanswer.h"

#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <memory>

namespace {

// A picture with a distinct value in most pixels, so any change of pixels shows.
cv::Mat gradientImage(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, (x * 3 + y) % 256);
    return image;
}

// What undo must bring back: the pixels of the current image and the corners.
struct Seen {
    cv::Mat pixels;
    Quad corners;
    int count = 0;
};

Seen seen(QCVImage &canvas) {
    return {canvas.image(true, -1, false).clone(), quadFromPoints(canvas.corners),
            canvas.sourceCount};
}

bool sameSeen(const Seen &a, const Seen &b) {
    if (a.corners != b.corners || a.count != b.count || a.pixels.size != b.pixels.size ||
        a.pixels.type() != b.pixels.type())
        return false;
    return a.pixels.empty() || cv::norm(a.pixels, b.pixels, cv::NORM_INF) == 0;
}

} // namespace

class HistoryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void undoAndRedoBringBackPixelsAndCornersOfEveryStep();
    void historyKeepsTwentyStepsAndItsByteLimit();
    void recolouredRectangleStepHoldsOnlyTheRectangle();
    void undoIsRefusedWhileASeriesRuns();

private:
    std::unique_ptr<TemporaryDriveRoot> root;
    QTemporaryDir settingsFolder;
};

void HistoryTest::initTestCase() {
    Q_INIT_RESOURCE(resources);
    QVERIFY(settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
}

void HistoryTest::init() {
    root = std::make_unique<TemporaryDriveRoot>();
    QVERIFY(root->isValid());
}

void HistoryTest::cleanup() {
    root.reset();
}

void HistoryTest::undoAndRedoBringBackPixelsAndCornersOfEveryStep() {
    const QString first = root->filePath("first.png");
    const QString second = root->filePath("second.png");
    QVERIFY(cv::imwrite(first.toStdString(), gradientImage(320, 240)));
    QVERIFY(cv::imwrite(second.toStdString(), gradientImage(200, 300)));

    MainWindow window(false);
    auto *viewer = qobject_cast<QImageScrollArea *>(window.centralWidget());
    QCVImage &canvas = *viewer->imageCanvas();
    auto *panel = window.findChild<QColorimeterDlg *>();
    QVERIFY(panel);
    panel->setMessageBoxesShown(false);
    QAction *undo = actionNamed(window, "&Undo");
    QAction *redo = actionNamed(window, "&Redo");
    QVERIFY(!undo->isEnabled());
    QVERIFY(window.openFile(first));

    // Each step: done, undone (what was there before, corners too), redone (what it made).
    auto check = [&](const char *name, const std::function<void()> &step) {
        // Corners dragged before the step come back with the undo.
        canvas.corners[0] = cv::Point(20, 30);
        canvas.corners[1] = cv::Point(22, 160);
        canvas.corners[2] = cv::Point(150, 170);
        canvas.corners[3] = cv::Point(140, 25);
        const Seen before = seen(canvas);
        step();
        const Seen after = seen(canvas);
        QVERIFY2(!sameSeen(before, after), name);
        QVERIFY2(undo->isEnabled(), name);
        undo->trigger();
        QVERIFY2(sameSeen(seen(canvas), before), name);
        QCOMPARE(canvas.size(), canvas.shownPixmap.size());
        QVERIFY2(redo->isEnabled(), name);
        redo->trigger();
        QVERIFY2(sameSeen(seen(canvas), after), name);
        QVERIFY2(!redo->isEnabled(), name);
    };

    check("Open", [&] { window.openFile(second); });
    check("New", [&] { QMetaObject::invokeMethod(viewer, "newSlot"); });
    check("Warp", [&] { actionNamed(window, "Warp...")->trigger(); });
    check("Shading", [&] { actionNamed(window, "Shading Correction...")->trigger(); });
    check("W", [&] { QTest::keyClick(viewer, Qt::Key_W); });
    panel->setLabValues(50, 10, -10);
    check("Set Mean Lab, binding", [&] { QMetaObject::invokeMethod(panel, "SetMeanLab"); });
    // The redo above made the panel bind afresh; this binds, the next one writes in place.
    QMetaObject::invokeMethod(panel, "SetMeanLab");
    const cv::Mat work = canvas.image(true, -1, false);
    panel->setLabValues(60, -20, 15);
    check("Set Mean Lab, in place", [&] { QMetaObject::invokeMethod(panel, "SetMeanLab"); });
    // In place: the same buffer throughout.
    QCOMPARE(canvas.image(true, -1, false).data, work.data);
    // A grid of 2 x 2 x 2 images.
    panel->setLabValues(100, 127, 127);
    check("series", [&] { QMetaObject::invokeMethod(panel, "CreateLabImgs"); });
    QVERIFY(panel->lastSeriesReport().written > 1);

    // After an undo the panel binds afresh: its next adjustment pushes a new work image.
    undo->trigger();
    const int count = canvas.sourceCount;
    panel->setLabValues(40, 0, 0);
    QMetaObject::invokeMethod(panel, "SetMeanLab");
    QCOMPARE(canvas.sourceCount, count + 1);

    // A command that changes nothing leaves no step: a failed open.
    auto *history = window.findChild<ImageHistory *>();
    QVERIFY(history);
    const int steps = history->stepCount();
    answerNextModal<QMessageBox>([](QMessageBox *box) { box->accept(); });
    QVERIFY(!window.openFile(root->filePath("missing.png")));
    QCOMPARE(history->stepCount(), steps);
}

void HistoryTest::historyKeepsTwentyStepsAndItsByteLimit() {
    const cv::Size size(100, 80);
    const std::size_t imageBytes = std::size_t(size.area()) * 3;
    QImageScrollArea viewer(false);
    QCVImage &canvas = *viewer.imageCanvas();
    // Room for the pixels of five images.
    ImageHistory history(canvas, 5 * imageBytes);
    const CanvasStepRunner runner = history.stepRunner();

    std::vector<cv::Mat> made;
    for (int i = 0; i < 25; ++i) {
        const cv::Mat image(size, CV_8UC3, cv::Scalar::all(i * 10));
        made.push_back(image);
        runner(QStringLiteral("New"), cv::Rect(), [&] { canvas.showNewImage(image); });
    }
    QCOMPARE(history.stepCount(), ImageHistory::stepLimit);
    QVERIFY(history.heldBytes() <= 5 * imageBytes);

    // Undo goes back only through the steps that kept their pixels, oldest dropped first.
    int undone = 0;
    while (history.undo())
        ++undone;
    // The store holds the last ten images; the steps before the 21st image would keep images
    // 10 to 14 beyond it, five in all: the limit. Step 20's undo needs image 9 too.
    QCOMPARE(undone, 5);
    QVERIFY(!history.canUndo());
    QVERIFY(history.step(history.stepCount() - undone - 1)->pixelsDropped());
    QVERIFY(!history.step(history.stepCount() - undone)->pixelsDropped());
    QCOMPARE(canvas.image(true, -1, false).data, made[made.size() - 1 - undone].data);
    while (history.redo())
        --undone;
    QCOMPARE(undone, 0);
    QCOMPARE(canvas.image(true, -1, false).data, made.back().data);

    // The store keeps its own rule meanwhile: ten images, the oldest dropped.
    QCOMPARE(canvas.sourceCount, CVProcessing::slotCount);
    QCOMPARE(canvas.sourceImages[0].data, made[made.size() - 10].data);
}

void HistoryTest::recolouredRectangleStepHoldsOnlyTheRectangle() {
    // 24 megapixels of a repeated tile, the corners on a 1000 x 1000 rectangle.
    cv::Mat tile(40, 60, CV_8UC3);
    cv::randu(tile, cv::Scalar::all(40), cv::Scalar::all(200));
    cv::Mat photo;
    cv::repeat(tile, 100, 100, photo);
    QImageScrollArea viewer(false);
    QCVImage &canvas = *viewer.imageCanvas();
    QVERIFY(canvas.showNewImage(photo));
    const cv::Rect rect(2000, 1500, 1000, 1000);
    const Quad quad{rect.tl(), cv::Point(rect.x, rect.br().y), rect.br(),
                    cv::Point(rect.br().x, rect.y)};
    std::copy(quad.begin(), quad.end(), canvas.corners);

    QColorimeterDlg panel;
    panel.SetCVImage(&canvas);
    ImageHistory history(canvas);
    panel.setStepRunner(history.stepRunner());

    panel.setLabValues(50, 5, 5);
    QMetaObject::invokeMethod(&panel, "SetMeanLab");
    QCOMPARE(history.stepCount(), 1);
    panel.setLabValues(55, -5, 10);
    const cv::Mat before = canvas.image(true, -1, false)(rect).clone();
    QMetaObject::invokeMethod(&panel, "SetMeanLab");
    QCOMPARE(history.stepCount(), 2);

    BufferBytes held;
    history.step(1)->collectBuffers(held);
    const std::size_t rectBytes = std::size_t(rect.area()) * 3;
    QVERIFY2(totalBytes(held) <= 2 * rectBytes, qPrintable(QString::number(totalBytes(held))));

    QVERIFY(history.undo());
    QCOMPARE(cv::norm(canvas.image(true, -1, false)(rect), before, cv::NORM_INF), 0.0);
}

void HistoryTest::undoIsRefusedWhileASeriesRuns() {
    const QString file = root->filePath("photo.png");
    QVERIFY(cv::imwrite(file.toStdString(), gradientImage(160, 120)));
    MainWindow window(false);
    QVERIFY(window.openFile(file));
    auto *viewer = qobject_cast<QImageScrollArea *>(window.centralWidget());
    QCVImage &canvas = *viewer->imageCanvas();
    auto *panel = window.findChild<QColorimeterDlg *>();
    auto *history = window.findChild<ImageHistory *>();
    QVERIFY(panel && history);
    panel->setMessageBoxesShown(false);
    QAction *undo = actionNamed(window, "&Undo");
    QVERIFY(undo->isEnabled());
    const Seen before = seen(canvas);
    const int steps = history->stepCount();

    bool refused = false;
    connect(panel, &QColorimeterDlg::seriesRunningChanged, this, [&](bool running) {
        if (running)
            QTimer::singleShot(0, &window, [&] {
                const Seen during = seen(canvas);
                refused = !undo->isEnabled() && !history->undo() && !history->redo();
                undo->trigger();
                QTest::keySequence(&window, QKeySequence::Undo);
                refused = refused && sameSeen(seen(canvas), during);
            });
    });
    // A grid of 2 x 2 x 2 images.
    panel->setLabValues(100, 127, 127);
    QVERIFY(QMetaObject::invokeMethod(panel, "CreateLabImgs"));
    QVERIFY(refused);
    // The whole series is one step.
    QCOMPARE(history->stepCount(), steps + 1);
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QVERIFY(sameSeen(seen(canvas), before));
}

QTEST_MAIN(HistoryTest)
#include "test_history.moc"
