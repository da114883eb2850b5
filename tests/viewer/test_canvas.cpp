// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcvimage.h"

#include "matconversion.h"

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace {

const QRgb penColour = qRgb(169, 1, 219);

// A picture whose pixels tell where they are: blue = x, green = y (modulo 256), red = seed.
cv::Mat pattern(int rows, int cols, int seed = 0) {
    cv::Mat mat(rows, cols, CV_8UC3);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            mat.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, seed);
    return mat;
}

using Corners = std::array<cv::Point, 4>;

Corners cornersOf(const QCVImage &canvas) {
    return {canvas.corners[0], canvas.corners[1], canvas.corners[2], canvas.corners[3]};
}

// Set up as the scroll area sets its canvas.
void prepare(QCVImage &canvas) {
    canvas.setBackgroundRole(QPalette::Base);
    canvas.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    canvas.setScaledContents(true);
}

QImage rendered(QCVImage &canvas) {
    return canvas.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Collects the regions the watched widget paints.
class PaintRecorder : public QObject {
public:
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

class CanvasTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsEmptyWithMouseTracking();
    void loadPlacesCornersOnTheInnerQuarter();
    void failedLoadsLeaveEverythingAsItWas_data();
    void failedLoadsLeaveEverythingAsItWas();
    void everyReadableTypeIsShownAndOthersClear();
    void hoverFindsHandlesAndSetsCursors();
    void dragStartsOnTheSecondMoveAndClamps();
    void wholeQuadMovesAndDeforms();
    void dragFollowsTheMouseAtEveryScale_data();
    void dragFollowsTheMouseAtEveryScale();
    void stretchedCanvasKeepsOverlayAndMouseOnThePicture();
    void withoutAnImageNothingMoves();
    void overlayIsDrawnOverThePicture();
    void mouseMovesReachTheStateMachine();
    void scaleByMultipliesAndResizes();
    void shownPictureIsTheFullConversion_data();
    void shownPictureIsTheFullConversion();
    void partialShowRepaintsWhatWasWritten();
    void saveWritesTheRectangle();
    void saveRefusalsKeepTheirCause();
    void changesAreSignalledAndOverlayPaintersDrawOnTop();

private:
    QString writeImage(const QString &name, const cv::Mat &mat);
    QString writeBytes(const QString &name, const QByteArray &bytes);
    // The mouse moved there with no button held; the handle then under it.
    int hoverAt(int x, int y) {
        canvas->trackMouse(x, y, Qt::NoButton);
        return canvas->hoverHandle;
    }

    QTemporaryDir *dir = nullptr;
    QCVImage *canvas = nullptr;
};

void CanvasTest::init() {
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
    canvas = new QCVImage;
    prepare(*canvas);
}

void CanvasTest::cleanup() {
    canvas->setPictureProfile(nullptr);
    delete canvas;
    delete dir;
}

QString CanvasTest::writeImage(const QString &name, const cv::Mat &mat) {
    const QString path = dir->filePath(name);
    if (!cv::imwrite(path.toStdString(), mat))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString CanvasTest::writeBytes(const QString &name, const QByteArray &bytes) {
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void CanvasTest::startsEmptyWithMouseTracking() {
    QVERIFY(canvas->hasMouseTracking());
    QCOMPARE(canvas->metaObject()->className(), "QCVImage");
    QCOMPARE(canvas->qt_metacast("CVProcessing"),
             static_cast<void *>(static_cast<CVProcessing *>(canvas)));
    QVERIFY(canvas->shownPixmap.isNull());
    QCOMPARE(canvas->scaleFactor, 1.0);
    QCOMPARE(canvas->hoverHandle, 5);
    QCOMPARE(canvas->dragHandle, 5);
    QVERIFY(canvas->isCurrentImageEmpty());
    canvas->showCurrentImage();
    QVERIFY(canvas->shownPixmap.isNull());
    QVERIFY(canvas->pixmap().isNull());
}

void CanvasTest::loadPlacesCornersOnTheInnerQuarter() {
    QVERIFY(canvas->loadImage(writeImage("vga.png", pattern(480, 640))));
    QCOMPARE(canvas->sourceCount, 1);
    QCOMPARE(canvas->shownPixmap.size(), QSize(640, 480));
    QCOMPARE(canvas->pixmap().size(), QSize(640, 480));
    QCOMPARE(cornersOf(*canvas), (Corners{cv::Point(160, 120), cv::Point(160, 360),
                                          cv::Point(480, 360), cv::Point(480, 120)}));
    QCOMPARE(canvas->targetCorners[2], cv::Point(0, 0));

    QVERIFY(canvas->loadImage(writeImage("tiny.png", pattern(3, 5, 9))));
    QCOMPARE(canvas->sourceCount, 2);
    QCOMPARE(canvas->image(true, -1, false).size(), cv::Size(5, 3));
    QCOMPARE(canvas->image(true, -1, false).at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 9));
    QCOMPARE(cornersOf(*canvas),
             (Corners{cv::Point(1, 0), cv::Point(1, 2), cv::Point(3, 2), cv::Point(3, 0)}));
    QCOMPARE(canvas->shownPixmap.size(), QSize(5, 3));
}

void CanvasTest::failedLoadsLeaveEverythingAsItWas_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("zero bytes") << "empty";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("a directory") << "directory";
    QTest::newRow("oversized header") << "oversized";
    QTest::newRow("not an image") << "text";
}

void CanvasTest::failedLoadsLeaveEverythingAsItWas() {
    QFETCH(QString, kind);
    const QString good = writeImage("good.png", pattern(40, 60, 3));
    QVERIFY(canvas->loadImage(good));
    canvas->corners[1] = cv::Point(2, 30);

    QString name;
    if (kind == "missing") {
        name = dir->filePath("missing.png");
    } else if (kind == "empty") {
        name = writeBytes("empty.png", {});
    } else if (kind == "truncated") {
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        name = writeBytes("truncated.png", file.readAll().left(80));
    } else if (kind == "directory") {
        QVERIFY(QDir(dir->path()).mkdir("folder.png"));
        name = dir->filePath("folder.png");
    } else if (kind == "oversized") {
        // A bitmap header claiming 50000 x 50000 pixels, beyond the reader's limit.
        QByteArray header(54, '\0');
        const quint32 fields[][2] = {{2, 54},     {10, 54},    {14, 40},
                                     {18, 50000}, {22, 50000}, {26, 1 | (24 << 16)}};
        for (const auto &field : fields)
            for (int i = 0; i < 4; ++i)
                header[int(field[0]) + i] = char((field[1] >> (8 * i)) & 0xff);
        header[0] = 'B';
        header[1] = 'M';
        name = writeBytes("huge.bmp", header);
    } else {
        name = writeBytes("text.png", "plain words");
    }

    const auto corners = cornersOf(*canvas);
    const qint64 pictureKey = canvas->shownPixmap.cacheKey();
    const uchar *pixels = canvas->image(true, -1, false).data;
    QVERIFY(!canvas->loadImage(name));
    QVERIFY(!canvas->lastLoadError().isEmpty());
    QCOMPARE(canvas->sourceCount, 1);
    QCOMPARE(canvas->image(true, -1, false).data, pixels);
    QCOMPARE(cornersOf(*canvas), corners);
    QCOMPARE(canvas->shownPixmap.cacheKey(), pictureKey);
    QCOMPARE(canvas->pixmap().cacheKey(), pictureKey);

    QVERIFY(canvas->loadImage(good));
    QVERIFY(canvas->lastLoadError().isEmpty());
}

void CanvasTest::everyReadableTypeIsShownAndOthersClear() {
    QVERIFY(canvas->showNewImage(pattern(4, 6, 50)));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(5, 3), qRgb(50, 3, 5));

    cv::Mat deep(4, 6, CV_16UC3, cv::Scalar(257 * 10, 257 * 20, 257 * 30));
    QVERIFY(canvas->showNewImage(deep));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(2, 2), qRgb(30, 20, 10));

    cv::Mat grey(3, 7, CV_32FC1, cv::Scalar(0.5));
    QVERIFY(canvas->showNewImage(grey));
    QCOMPARE(canvas->shownPixmap.size(), QSize(7, 3));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(6, 2), qRgb(127, 127, 127));

    // A type that cannot be shown must not leave the previous picture standing.
    QVERIFY(canvas->showNewImage(cv::Mat(4, 4, CV_16SC1, cv::Scalar(5))));
    QVERIFY(canvas->shownPixmap.isNull());
    QVERIFY(canvas->pixmap().isNull());
    QCOMPARE(canvas->corners[2], cv::Point(3, 3));

    QVERIFY(!canvas->showNewImage(cv::Mat()));
    QCOMPARE(canvas->sourceCount, 4);
}

void CanvasTest::hoverFindsHandlesAndSetsCursors() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->setScale(1.0);
    QCOMPARE(hoverAt(164, 124), 0);
    QCOMPARE(canvas->cursor().shape(), Qt::SizeFDiagCursor);
    QCOMPARE(hoverAt(165, 120), 5);
    QCOMPARE(canvas->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(hoverAt(300, 200), 4);
    QCOMPARE(canvas->cursor().shape(), Qt::SizeAllCursor);
    QCOMPARE(hoverAt(158, 362), 1);
    QCOMPARE(canvas->cursor().shape(), Qt::SizeBDiagCursor);
    QCOMPARE(hoverAt(482, 358), 2);
    QCOMPARE(canvas->dragHandle, 5);
}

void CanvasTest::dragStartsOnTheSecondMoveAndClamps() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->setScale(1.0);
    QCOMPARE(hoverAt(161, 359), 1);
    canvas->trackMouse(171, 369, Qt::LeftButton);
    QCOMPARE(canvas->dragHandle, 1);
    QCOMPARE(canvas->corners[1], cv::Point(160, 360));
    canvas->trackMouse(171, 369, Qt::RightButton);
    QCOMPARE(canvas->corners[1], cv::Point(171, 369));
    QCOMPARE(canvas->cursor().shape(), Qt::SizeBDiagCursor);

    QCOMPARE(hoverAt(480, 360), 2);
    canvas->trackMouse(480, 360, Qt::MiddleButton);
    canvas->trackMouse(5000, 4000, Qt::MiddleButton);
    QCOMPARE(canvas->corners[2], cv::Point(639, 479));
    canvas->trackMouse(-50, -1, Qt::MiddleButton);
    QCOMPARE(canvas->corners[2], cv::Point(0, 0));

    // Pressed over nothing: nothing is dragged until the button is released.
    QCOMPARE(hoverAt(600, 20), 5);
    const auto before = cornersOf(*canvas);
    for (int step = 0; step < 3; ++step)
        canvas->trackMouse(100 + step * 50, 300, Qt::LeftButton);
    QCOMPARE(cornersOf(*canvas), before);
    QCOMPARE(canvas->dragHandle, 5);
}

void CanvasTest::wholeQuadMovesAndDeforms() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->setScale(1.0);
    canvas->corners[3] = cv::Point(635, 120);
    QCOMPARE(hoverAt(300, 200), 4);
    canvas->trackMouse(300, 200, Qt::LeftButton);
    QCOMPARE(canvas->lastX, 300);
    QCOMPARE(canvas->lastY, 200);
    canvas->trackMouse(310, 205, Qt::LeftButton);
    QCOMPARE(cornersOf(*canvas), (Corners{cv::Point(170, 125), cv::Point(170, 365),
                                          cv::Point(490, 365), cv::Point(639, 125)}));
    QCOMPARE(canvas->lastX, 310);
    QCOMPARE(canvas->lastY, 205);
    canvas->trackMouse(300, 205, Qt::LeftButton);
    QCOMPARE(canvas->corners[3], cv::Point(629, 125));
    QCOMPARE(canvas->corners[0], cv::Point(160, 125));
}

void CanvasTest::dragFollowsTheMouseAtEveryScale_data() {
    QTest::addColumn<double>("scale");
    QTest::newRow("1") << 1.0;
    QTest::newRow("2") << 2.0;
    QTest::newRow("8") << 8.0;
}

void CanvasTest::dragFollowsTheMouseAtEveryScale() {
    QFETCH(double, scale);
    QVERIFY(canvas->showNewImage(pattern(60, 80)));
    canvas->setScale(scale);
    QCOMPARE(canvas->size(), QSize(80, 60) * scale);
    QCOMPARE(canvas->displayScale(), QPointF(scale, scale));
    QCOMPARE(canvas->corners[0], cv::Point(20, 15));

    // The widget pixel in the middle of an image pixel.
    auto widget = [scale](int image) { return int(image * scale + scale / 2); };
    QCOMPARE(hoverAt(widget(20), widget(15)), 0);
    canvas->trackMouse(widget(20), widget(15), Qt::LeftButton);
    canvas->trackMouse(widget(33), widget(41), Qt::LeftButton);
    QCOMPARE(canvas->corners[0], cv::Point(33, 41));
    canvas->trackMouse(widget(90), widget(-4), Qt::LeftButton);
    QCOMPARE(canvas->corners[0], cv::Point(79, 0));

    const QImage shown = rendered(*canvas);
    const QRect mark(int(79 * scale - 5.0), int(0 * scale - 5.0), 10, 10);
    QCOMPARE(shown.pixel(mark.left(), mark.bottom() + 1), penColour);
}

void CanvasTest::stretchedCanvasKeepsOverlayAndMouseOnThePicture() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->resize(1280, 720); // what Fit to Window does, aspect ratio not kept
    QCOMPARE(canvas->displayScale(), QPointF(2.0, 1.5));

    const QImage shown = rendered(*canvas);
    QCOMPARE(shown.pixel(315, 175), penColour);        // corner 0 at (320, 180)
    QCOMPARE(shown.pixel(700, 300), qRgb(0, 200, 94)); // image pixel (350, 200)

    QCOMPARE(hoverAt(321, 181), 0);
    canvas->trackMouse(321, 181, Qt::LeftButton);
    canvas->trackMouse(1001, 601, Qt::LeftButton);
    QCOMPARE(canvas->corners[0], cv::Point(500, 400));
}

void CanvasTest::withoutAnImageNothingMoves() {
    canvas->resize(100, 100);
    canvas->corners[2] = cv::Point(30, 30);
    const auto before = cornersOf(*canvas);
    QCOMPARE(hoverAt(15, 15), 4);
    for (int step = 0; step < 3; ++step)
        canvas->trackMouse(40 + step, 50, Qt::LeftButton);
    QCOMPARE(cornersOf(*canvas), before);

    // The overlay is still drawn: corners 0, 1 and 3 mark (0, 0).
    const QImage shown = rendered(*canvas);
    QCOMPARE(shown.pixel(5, 5), penColour);
    QCOMPARE(shown.pixel(25, 35), penColour);
}

void CanvasTest::overlayIsDrawnOverThePicture() {
    QVERIFY(canvas->showNewImage(pattern(480, 640, 7)));
    canvas->setScale(1.0);
    const QImage shown = rendered(*canvas);
    QCOMPARE(shown.size(), QSize(640, 480));
    // The square of corner 0 spans QRect(155, 115, 10, 10); its outline covers 155..165.
    for (int i = 155; i <= 165; ++i) {
        QCOMPARE(shown.pixel(i, 115), penColour);
        QCOMPARE(shown.pixel(155, i - 40), penColour);
        QCOMPARE(shown.pixel(i, 125), penColour);
    }
    QCOMPARE(shown.pixel(300, 120), penColour);         // side 3 -> 0
    QCOMPARE(shown.pixel(160, 200), penColour);         // side 0 -> 1
    QCOMPARE(shown.pixel(158, 118), qRgb(7, 118, 158)); // inside the square: the picture
    QCOMPARE(shown.pixel(300, 200), qRgb(7, 200, 44));
    QCOMPARE(shown.pixel(153, 120), qRgb(7, 120, 153));
}

void CanvasTest::mouseMovesReachTheStateMachine() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->setScale(1.0);
    auto move = [this](QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at), canvas->mapToGlobal(QPointF(at)),
                          Qt::NoButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(canvas, &event);
    };
    move(QPoint(482, 122), Qt::NoButton);
    QCOMPARE(canvas->hoverHandle, 3);
    QCOMPARE(canvas->cursor().shape(), Qt::SizeBDiagCursor);
    move(QPoint(482, 122), Qt::LeftButton);
    move(QPoint(500, 100), Qt::LeftButton);
    QCOMPARE(canvas->corners[3], cv::Point(500, 100));
    move(QPoint(10, 10), Qt::NoButton);
    QCOMPARE(canvas->dragHandle, 5);
    QCOMPARE(canvas->hoverHandle, 5);
}

void CanvasTest::scaleByMultipliesAndResizes() {
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    canvas->scaleBy(1.25);
    canvas->scaleBy(1.25);
    QCOMPARE(canvas->scaleFactor, 1.5625);
    QCOMPARE(canvas->size(), QSize(1000, 750));
    QCOMPARE(canvas->displayScale(), QPointF(1.5625, 1.5625));
    canvas->setScale(1.0);
    QCOMPARE(canvas->size(), QSize(640, 480));
    canvas->scaleBy(0.8);
    QCOMPARE(canvas->size(), QSize(512, 384));
}

void CanvasTest::shownPictureIsTheFullConversion_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("scale");
    for (const QString kind : {"colour", "colour view", "grey", "16-bit colour", "ProPhoto"})
        for (double scale : {0.5, 1.0, 1.6, 2.0})
            QTest::newRow(qPrintable(QString("%1 at %2").arg(kind).arg(scale))) << kind << scale;
}

void CanvasTest::shownPictureIsTheFullConversion() {
    QFETCH(QString, kind);
    QFETCH(double, scale);
    cv::Mat colour(23, 37, CV_8UC3);
    cv::RNG(1245).fill(colour, cv::RNG::UNIFORM, 0, 256);
    cv::Mat mat = colour;
    if (kind == "colour view") {
        cv::Mat frame(30, 50, CV_8UC3, cv::Scalar(1, 2, 3));
        mat = frame(cv::Rect(3, 4, 37, 23));
        colour.copyTo(mat);
    } else if (kind == "grey") {
        cv::extractChannel(colour, mat, 2);
    } else if (kind == "16-bit colour") {
        colour.convertTo(mat, CV_16UC3, 257.0);
    }
    const QString proPhoto = QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc");
    const bool managed = kind == "ProPhoto";
    if (managed)
        canvas->setPictureProfile(ColourProfile::fromFile(proPhoto));
    QVERIFY(canvas->showNewImage(mat));
    std::fill(std::begin(canvas->corners), std::end(canvas->corners), cv::Point(0, 0));
    canvas->setScale(scale);

    // Straightforward: the whole picture converted, then drawn stretched as the canvas draws.
    const QPixmap converted = QPixmap::fromImage(qImageFromMat(mat));
    QCOMPARE(canvas->shownPixmap.toImage().convertToFormat(QImage::Format_RGB32),
             converted.toImage().convertToFormat(QImage::Format_RGB32));
    QImage expected(canvas->size(), QImage::Format_RGB32);
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1.0);
        painter.drawPixmap(expected.rect(), converted);
    }
    if (managed) {
        // What is drawn, taken by Little CMS itself to the screen, sRGB without a colour manager.
        cmsHPROFILE from = cmsOpenProfileFromFile(proPhoto.toUtf8().constData(), "r");
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM toScreen = cmsCreateTransform(from, TYPE_BGRA_8, srgb, TYPE_BGRA_8,
                                                    INTENT_RELATIVE_COLORIMETRIC, 0);
        for (int y = 0; y < expected.height(); ++y)
            cmsDoTransform(toScreen, expected.scanLine(y), expected.scanLine(y),
                           static_cast<cmsUInt32Number>(expected.width()));
        cmsDeleteTransform(toScreen);
        cmsCloseProfile(srgb);
        cmsCloseProfile(from);
    }
    const int tolerance = managed ? 1 : 0;
    const QImage shown = rendered(*canvas);
    QCOMPARE(shown.size(), expected.size());
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            if (x <= 5 && y <= 5) // the corner marks, all at (0, 0)
                continue;
            const QRgb a = shown.pixel(x, y);
            const QRgb b = expected.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > tolerance ||
                std::abs(qGreen(a) - qGreen(b)) > tolerance ||
                std::abs(qBlue(a) - qBlue(b)) > tolerance)
                QFAIL(qPrintable(QString("widget pixel %1,%2").arg(x).arg(y)));
        }
}

void CanvasTest::partialShowRepaintsWhatWasWritten() {
    cv::Mat current = pattern(30, 40);
    QVERIFY(canvas->showNewImage(current));
    canvas->setScale(2.0);
    canvas->show();
    QVERIFY(QTest::qWaitForWindowExposed(canvas));
    const qint64 pictureKey = canvas->shownPixmap.cacheKey();

    PaintRecorder recorder;
    canvas->installEventFilter(&recorder);
    const cv::Rect changed(5, 7, 11, 13);
    current(changed).setTo(cv::Scalar(1, 2, 3));
    canvas->showCurrentImage(changed);
    // The part's widget pixels (10, 14) to (32, 40), with a pixel of margin.
    QCOMPARE(recorder.painted, QRegion(9, 13, 24, 28));
    QCOMPARE(canvas->shownPixmap.cacheKey(), pictureKey);
    QCOMPARE(canvas->pixmap().cacheKey(), pictureKey);
    const QImage shown = canvas->shownPixmap.toImage();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const QRgb expected = changed.contains(cv::Point(x, y)) ? qRgb(3, 2, 1) : qRgb(0, y, x);
            if (shown.pixel(x, y) != expected)
                QFAIL(qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
        }
    QCOMPARE(rendered(*canvas).pixel(2 * 13, 2 * 15), qRgb(3, 2, 1));

    // A rectangle reaching outside the image is cut to it; one wholly outside paints nothing.
    recorder.painted = QRegion();
    canvas->showCurrentImage(cv::Rect(-10, -10, 12, 11));
    QCOMPARE(recorder.painted, QRegion(0, 0, 5, 3));
    recorder.painted = QRegion();
    canvas->showCurrentImage(cv::Rect(40, 0, 5, 5));
    QVERIFY(recorder.painted.isEmpty());

    // Another matrix in the slot, of another size or type, is shown whole.
    canvas->image(true, -1, false) = pattern(8, 9, 99);
    canvas->showCurrentImage(cv::Rect(0, 0, 1, 1));
    QCOMPARE(canvas->shownPixmap.size(), QSize(9, 8));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(8, 7), qRgb(99, 7, 8));
    canvas->image(true, -1, false) = cv::Mat(8, 9, CV_8UC1, cv::Scalar(60));
    canvas->showCurrentImage(cv::Rect(2, 2, 3, 3));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(1, 1), qRgb(60, 60, 60));

    // A converted picture does not follow writes; a partial show converts it afresh.
    cv::Mat deep(8, 9, CV_16UC3, cv::Scalar::all(257 * 10));
    canvas->image(true, -1, false) = deep;
    canvas->showCurrentImage();
    deep.setTo(cv::Scalar::all(257 * 20));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(4, 4), qRgb(10, 10, 10));
    canvas->showCurrentImage(cv::Rect(4, 4, 1, 1));
    QCOMPARE(canvas->shownPixmap.toImage().pixel(0, 0), qRgb(20, 20, 20));
}

void CanvasTest::saveWritesTheRectangle() {
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    const cv::Mat vga = pattern(480, 640, 4);
    QVERIFY(canvas->showNewImage(vga));
    QVERIFY2(canvas->saveImage("C:/part.png"), qPrintable(canvas->lastSaveError()));
    QDir::setCurrent(saved);
    QVERIFY(canvas->lastSaveError().isEmpty());
    const cv::Mat written =
        cv::imread(dir->filePath("part.png").toStdString(), cv::IMREAD_UNCHANGED);
    QCOMPARE(written.size(), cv::Size(320, 240));
    QCOMPARE(written.at<cv::Vec3b>(0, 0), vga.at<cv::Vec3b>(120, 160));
    QCOMPARE(cv::norm(written, vga(cv::Rect(160, 120, 320, 240)), cv::NORM_INF), 0.0);
    QCOMPARE(canvas->sourceCount, 1);
    QCOMPARE(canvas->corners[2], cv::Point(480, 360));

    cv::Mat deep(8, 8, CV_16UC1, cv::Scalar(25700));
    QVERIFY(canvas->showNewImage(deep));
    QVERIFY(canvas->saveImage(dir->filePath("deep.bmp")));
    const cv::Mat eight = cv::imread(dir->filePath("deep.bmp").toStdString(), cv::IMREAD_GRAYSCALE);
    QCOMPARE(eight.size(), cv::Size(4, 4));
    QCOMPARE(int(eight.at<uchar>(0, 0)), 100);
}

void CanvasTest::saveRefusalsKeepTheirCause() {
    QVERIFY(!canvas->saveImage(dir->filePath("nothing.png")));
    const QString noImage = canvas->lastSaveError();
    QVERIFY(!noImage.isEmpty());

    QVERIFY(canvas->showNewImage(pattern(48, 64)));
    canvas->corners[2] = cv::Point(10, 50);
    QVERIFY(!canvas->saveImage(dir->filePath("left.png")));
    const QString backwards = canvas->lastSaveError();
    QVERIFY(!backwards.isEmpty());
    QVERIFY(backwards != noImage);

    canvas->corners[2] = cv::Point(48, 36);
    QVERIFY(!canvas->saveImage(dir->filePath("odd.qqq")));
    QVERIFY(canvas->lastSaveError().contains("qqq"));
    QVERIFY(!QFile::exists(dir->filePath("odd.qqq")));
    QVERIFY(canvas->saveImage(dir->filePath("fine.png")));
    QVERIFY(canvas->lastSaveError().isEmpty());
}

void CanvasTest::changesAreSignalledAndOverlayPaintersDrawOnTop() {
    QSignalSpy cornersMoved(canvas, &QCVImage::cornersChanged);
    QSignalSpy imageChanged(canvas, &QCVImage::imageChanged);
    QVERIFY(canvas->showNewImage(pattern(480, 640)));
    QCOMPARE(cornersMoved.count(), 1);
    QCOMPARE(imageChanged.count(), 1);

    canvas->setScale(1.0);
    canvas->trackMouse(161, 359, Qt::NoButton);
    canvas->trackMouse(171, 369, Qt::LeftButton);
    QCOMPARE(cornersMoved.count(), 1);
    canvas->trackMouse(175, 370, Qt::LeftButton);
    QCOMPARE(cornersMoved.count(), 2);
    canvas->trackMouse(175, 370, Qt::NoButton);
    QCOMPARE(cornersMoved.count(), 2);

    canvas->showCurrentImage(cv::Rect(0, 0, 4, 4));
    QCOMPARE(imageChanged.count(), 2);
    canvas->showCurrentImage(cv::Rect(700, 0, 4, 4));
    QCOMPARE(imageChanged.count(), 2);

    QPointF paintedScale;
    canvas->addOverlayPainter([&](QPainter &painter, const QPointF &scale) {
        paintedScale = scale;
        painter.fillRect(QRect(10, 10, 2, 2), Qt::green);
    });
    canvas->resize(1280, 960);
    const QImage shown = rendered(*canvas);
    QCOMPARE(paintedScale, QPointF(2.0, 2.0));
    QCOMPARE(shown.pixel(11, 11), qRgb(0, 255, 0));
    QCOMPARE(shown.pixel(13, 13), qRgb(0, 6, 6));
}

QTEST_MAIN(CanvasTest)
#include "test_canvas.moc"
