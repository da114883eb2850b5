// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcvimage.h"

#include "shadingcorrection.h"
#include "squarewarp.h"

#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

cv::Mat randomPicture(cv::Size size, int type, unsigned seed) {
    cv::Mat picture(size, type);
    cv::RNG rng(seed);
    rng.fill(picture, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return picture;
}

// Light falling off to the right, with texture: something for the shading correction to do.
cv::Mat shadedPicture(cv::Size size) {
    cv::Mat picture = randomPicture(size, CV_8UC3, 5) * 0.25;
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            picture.at<cv::Vec3b>(y, x) += cv::Vec3b::all(uchar(190 - 150 * x / size.width));
    return picture;
}

bool identical(const cv::Mat &a, const cv::Mat &b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

Quad cornersOf(QCVImage &canvas) {
    return quadFromPoints(canvas.cornerPoints(false));
}

Quad targetCornersOf(QCVImage &canvas) {
    return quadFromPoints(canvas.cornerPoints(true));
}

void setCorners(QCVImage &canvas, const Quad &quad) {
    std::copy(quad.begin(), quad.end(), canvas.cornerPoints(false));
}

Quad regionCorners(int x, int y, int width, int height) {
    return {{{x, y}, {x, y + height}, {x + width, y + height}, {x + width, y}}};
}

// The canvas holding one picture with the given corners.
void holdPicture(QCVImage &canvas, const cv::Mat &picture, const Quad &quad) {
    QVERIFY(canvas.pushImage(picture, true));
    setCorners(canvas, quad);
}

bool showsPixel(const QCVImage &canvas, int x, int y, const cv::Vec3b &bgr) {
    return canvas.shownPixmap.toImage().pixel(x, y) == qRgb(bgr[2], bgr[1], bgr[0]);
}

} // namespace

class CanvasCorrectionsTest : public QObject {
    Q_OBJECT

private slots:
    void withoutAnImageNothingHappens();
    void warpRectifiesTheLoadedRectangle();
    void secondWarpReproducesTheFirst();
    void warpOnAFullStoreStillPushes();
    void warpRefusalsLeaveEverything();
    void shadingReplacesTheCurrentImageInItsSlot();
    void shadingTakesGreyAndSixteenBitImages();
    void shadingRefusalsLeaveEverything();
};

void CanvasCorrectionsTest::withoutAnImageNothingHappens() {
    QCVImage canvas;
    const Quad quad = regionCorners(10, 10, 300, 300);
    setCorners(canvas, quad);
    canvas.warpCurrentImage();
    canvas.correctShading(100);
    QCOMPARE(canvas.sourceCount, 0);
    QVERIFY(cornersOf(canvas) == quad);
    QVERIFY(targetCornersOf(canvas) == Quad{});
    QVERIFY(canvas.shownPixmap.isNull());
}

void CanvasCorrectionsTest::warpRectifiesTheLoadedRectangle() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const cv::Mat picture = randomPicture({640, 480}, CV_8UC3, 1);
    const QString file = folder.filePath(QStringLiteral("chart.png"));
    QVERIFY(cv::imwrite(file.toStdString(), picture));

    QCVImage canvas;
    QVERIFY(canvas.loadImage(file));
    const Quad loaded = {{{160, 120}, {160, 360}, {480, 360}, {480, 120}}};
    QVERIFY(cornersOf(canvas) == loaded);
    const cv::Mat before = canvas.image(true, -1, false);

    canvas.warpCurrentImage();

    const Quad square = {{{80, 0}, {80, 480}, {560, 480}, {560, 0}}};
    QCOMPARE(canvas.sourceCount, 2);
    QVERIFY(targetCornersOf(canvas) == square);
    QVERIFY(cornersOf(canvas) == square);
    QVERIFY(canvas.sourceImages[0].data == before.data);
    QVERIFY(identical(canvas.sourceImages[0], picture));

    const cv::Point2f from[4] = {{160, 120}, {160, 360}, {480, 360}, {480, 120}};
    const cv::Point2f to[4] = {{80, 0}, {80, 480}, {560, 480}, {560, 0}};
    cv::Mat expected;
    cv::warpPerspective(picture, expected, cv::getPerspectiveTransform(from, to), picture.size(),
                        cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    const cv::Mat warped = canvas.image(true, -1, false);
    QVERIFY(identical(warped, expected));

    // The new picture is on show.
    QCOMPARE(canvas.shownPixmap.size(), QSize(640, 480));
    for (const cv::Point &p : {cv::Point(0, 0), cv::Point(140, 120), cv::Point(639, 479)})
        QVERIFY(showsPixel(canvas, p.x, p.y, warped.at<cv::Vec3b>(p)));
}

void CanvasCorrectionsTest::secondWarpReproducesTheFirst() {
    QCVImage canvas;
    holdPicture(canvas, randomPicture({321, 243}, CV_8UC3, 2),
                {{{20, 30}, {35, 200}, {300, 220}, {280, 10}}});
    canvas.warpCurrentImage();
    const cv::Mat first = canvas.image(true, -1, false);
    canvas.warpCurrentImage();
    QCOMPARE(canvas.sourceCount, 3);
    const cv::Mat second = canvas.image(true, -1, false);
    QVERIFY(second.data != first.data);
    QVERIFY(identical(second, first));
    QVERIFY(cornersOf(canvas) == warpTargetCorners({321, 243}));
}

void CanvasCorrectionsTest::warpOnAFullStoreStillPushes() {
    QCVImage canvas;
    for (int i = 0; i < CVProcessing::slotCount; ++i)
        QVERIFY(canvas.pushImage(randomPicture({64, 48}, CV_8UC1, 10 + i), true));
    const cv::Mat last = canvas.image(true, -1, false);
    const Quad quad = {{{5, 5}, {5, 40}, {60, 44}, {58, 2}}};
    setCorners(canvas, quad);
    cv::Mat expected(last.size(), last.type());
    QVERIFY(warpQuadOnto(last, quad, warpTargetCorners(last.size()), expected));

    canvas.warpCurrentImage();
    QCOMPARE(canvas.sourceCount, CVProcessing::slotCount);
    QVERIFY(identical(canvas.image(true, -1, false), expected));
    QVERIFY(canvas.sourceImages[CVProcessing::slotCount - 2].data == last.data);
}

void CanvasCorrectionsTest::warpRefusalsLeaveEverything() {
    const Quad collinear = {{{10, 10}, {10, 40}, {10, 70}, {60, 10}}};
    const Quad coincident = {{{10, 10}, {10, 10}, {60, 60}, {60, 10}}};
    for (const Quad &quad : {collinear, coincident}) {
        QCVImage canvas;
        const cv::Mat picture = randomPicture({80, 90}, CV_8UC3, 3);
        holdPicture(canvas, picture, quad);
        canvas.warpCurrentImage();
        QCOMPARE(canvas.sourceCount, 1);
        QVERIFY(cornersOf(canvas) == quad);
        QVERIFY(targetCornersOf(canvas) == Quad{});
        QVERIFY(identical(canvas.image(true, -1, false), picture));
    }

    // A picture of one row has no square to warp onto.
    QCVImage thin;
    holdPicture(thin, randomPicture({50, 1}, CV_8UC3, 4), {{{0, 0}, {0, 1}, {40, 1}, {49, 0}}});
    thin.warpCurrentImage();
    QCOMPARE(thin.sourceCount, 1);

    // Wider than the library's warp can take: its error ends in no change, not in a crash.
    QCVImage wide;
    const Quad wideQuad = {{{0, 0}, {0, 4}, {40000, 4}, {40000, 0}}};
    holdPicture(wide, cv::Mat(4, 40000, CV_8UC1, cv::Scalar(9)), wideQuad);
    wide.warpCurrentImage();
    QCOMPARE(wide.sourceCount, 1);
    QVERIFY(cornersOf(wide) == wideQuad);
}

void CanvasCorrectionsTest::shadingReplacesTheCurrentImageInItsSlot() {
    for (int channels : {3, 4}) {
        QCVImage canvas;
        cv::Mat picture = shadedPicture({403, 301});
        if (channels == 4)
            cv::cvtColor(picture, picture, cv::COLOR_BGR2BGRA);
        const cv::Mat kept = picture.clone();
        const Quad quad = regionCorners(20, 10, 350, 250);
        holdPicture(canvas, picture, quad);
        const cv::Mat expected = shadingCorrected(picture, quad, 100);

        canvas.correctShading(100);

        QCOMPARE(canvas.sourceCount, 1);
        const cv::Mat corrected = canvas.image(true, -1, false);
        QCOMPARE(corrected.type(), CV_8UC3);
        QVERIFY(identical(corrected, expected));
        // The lightness falling off to the right is evened out.
        const auto lightness = [](const cv::Mat &image, int x) {
            cv::Mat lab;
            cv::cvtColor(image(cv::Rect(x, 10, 50, 250)), lab, cv::COLOR_LBGR2Lab);
            return cv::mean(lab)[0];
        };
        const double dropBefore = lightness(kept, 20) - lightness(kept, 318);
        const double dropAfter = lightness(corrected, 20) - lightness(corrected, 318);
        QVERIFY(dropBefore > 50.0);
        QVERIFY(std::abs(dropAfter) < dropBefore / 2);
        // The old buffer is not written: whoever else holds it keeps the uncorrected picture.
        QVERIFY(corrected.data != picture.data);
        QVERIFY(identical(picture, kept));
        QVERIFY(cornersOf(canvas) == quad);
        QVERIFY(showsPixel(canvas, 200, 150, corrected.at<cv::Vec3b>(150, 200)));
    }
}

void CanvasCorrectionsTest::shadingTakesGreyAndSixteenBitImages() {
    const Quad quad = regionCorners(0, 0, 250, 200);
    cv::Mat colour = shadedPicture({250, 200});
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);

    // Grey is corrected as the grey colour picture it shows as.
    QCVImage greyCanvas;
    holdPicture(greyCanvas, grey, quad);
    greyCanvas.correctShading(100);
    cv::Mat greyAsColour;
    cv::merge(std::array<cv::Mat, 3>{grey, grey, grey}.data(), 3, greyAsColour);
    QCOMPARE(greyCanvas.sourceCount, 1);
    QVERIFY(
        identical(greyCanvas.image(true, -1, false), shadingCorrected(greyAsColour, quad, 100)));

    // Sixteen bits are corrected as their top eight, the picture they show as.
    cv::Mat deep;
    colour.convertTo(deep, CV_16UC3, 257);
    QCVImage deepCanvas;
    holdPicture(deepCanvas, deep, quad);
    deepCanvas.correctShading(100);
    QCOMPARE(deepCanvas.sourceCount, 1);
    QVERIFY(identical(deepCanvas.image(true, -1, false), shadingCorrected(colour, quad, 100)));
}

void CanvasCorrectionsTest::shadingRefusalsLeaveEverything() {
    const Quad refused[] = {
        regionCorners(0, 0, 99, 200),        // under one cell across
        regionCorners(0, 0, 200, 99),        // under one cell down
        regionCorners(250, 200, -200, -150), // crossed
        regionCorners(100, 50, 200, 200),    // beyond the picture
    };
    for (const Quad &quad : refused) {
        for (int type : {CV_8UC3, CV_8UC1}) {
            QCVImage canvas;
            const cv::Mat picture = randomPicture({260, 210}, type, 6);
            holdPicture(canvas, picture, quad);
            canvas.correctShading(100);
            QCOMPARE(canvas.sourceCount, 1);
            QVERIFY(canvas.image(true, -1, false).data == picture.data);
            QVERIFY(cornersOf(canvas) == quad);
        }
    }

    // A type no picture is made of is left alone as well.
    QCVImage twoChannels;
    const cv::Mat picture = randomPicture({260, 210}, CV_8UC2, 7);
    holdPicture(twoChannels, picture, regionCorners(0, 0, 200, 200));
    twoChannels.correctShading(100);
    QVERIFY(twoChannels.image(true, -1, false).data == picture.data);
}

QTEST_MAIN(CanvasCorrectionsTest)
#include "test_canvascorrections.moc"
