// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagereadout.h"
#include "labencoding.h"
#include "qimagescrollarea.h"

#include "../support/actionlookup.h"
#include "../support/referencelab.h"

#include <QMouseEvent>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// OpenCV's float conversion of one stored pixel, written as the read-out writes it.
QString expectedLab(const cv::Mat &image, const cv::Point &point, bool srgb) {
    const cv::Mat lab = referenceLab(image(cv::Rect(point, cv::Size(1, 1))),
                                     srgb ? LabEncoding::Srgb : LabEncoding::Linear);
    const cv::Vec3f value = lab.at<cv::Vec3f>(0, 0);
    QString text = QString::asprintf("L* %.1f a* %.1f b* %.1f", value[0], value[1], value[2]);
    return text.replace(QStringLiteral("-0.0"), QStringLiteral("0.0"));
}

void moveTo(QCVImage &canvas, const QPoint &position) {
    QMouseEvent move(QEvent::MouseMove, QPointF(position), canvas.mapToGlobal(QPointF(position)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &move);
}

} // namespace

class TestImageReadout : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void pixelReadoutFollowsTheMouseForEveryKindOfImage();
    void emptyOffThePictureAndRefreshedOnImageChanges();
    void zoomAndFormat();
};

void TestImageReadout::cleanup() {
    LabEncodingChoice::instance().set(LabEncoding::Linear);
}

void TestImageReadout::pixelReadoutFollowsTheMouseForEveryKindOfImage() {
    cv::Mat bgr(30, 40, CV_8UC3);
    cv::RNG(1).fill(bgr, cv::RNG::UNIFORM, 0, 256);
    bgr.at<cv::Vec3b>(12, 7) = cv::Vec3b(7, 12, 200);
    cv::Mat grey(30, 40, CV_8UC1);
    cv::RNG(2).fill(grey, cv::RNG::UNIFORM, 0, 256);
    grey.at<uchar>(12, 7) = 128;
    cv::Mat deep(30, 40, CV_16UC3);
    cv::RNG(3).fill(deep, cv::RNG::UNIFORM, 0, 65536);
    deep.at<cv::Vec3w>(12, 7) = cv::Vec3w(1000, 30000, 65535);
    cv::Mat alpha(30, 40, CV_8UC4);
    cv::RNG(4).fill(alpha, cv::RNG::UNIFORM, 0, 256);
    alpha.at<cv::Vec4b>(12, 7) = cv::Vec4b(10, 20, 30, 40);
    const struct {
        cv::Mat image;
        QString values;
        QString format;
    } cases[] = {
        {bgr, "R 200 G 12 B 7", "40 × 30, 8-bit RGB"},
        {grey, "Grey 128", "40 × 30, 8-bit grey"},
        {deep, "R 65535 G 30000 B 1000", "40 × 30, 16-bit RGB"},
        {alpha, "R 30 G 20 B 10 A 40", "40 × 30, 8-bit RGBA"},
    };

    QImageScrollArea viewer;
    ImageReadout readout(&viewer);
    QCVImage &canvas = *viewer.imageCanvas();
    for (const auto &c : cases) {
        QVERIFY(canvas.showNewImage(c.image));
        canvas.setScale(2.0);
        QCOMPARE(readout.formatText(), c.format);
        for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
            LabEncodingChoice::instance().set(encoding);
            // Widget (15, 25) at a zoom of 2 is image pixel (7, 12).
            moveTo(canvas, {15, 25});
            QCOMPARE(readout.positionText(), QString("7, 12"));
            QCOMPARE(readout.valuesText(), c.values);
            QCOMPARE(readout.labText(),
                     expectedLab(c.image, {7, 12}, encoding == LabEncoding::Srgb));
            moveTo(canvas, {61, 3});
            QCOMPARE(readout.positionText(), QString("30, 1"));
            QCOMPARE(readout.labText(),
                     expectedLab(c.image, {30, 1}, encoding == LabEncoding::Srgb));
            // The encoding changes under a resting mouse: the read-out follows.
            LabEncodingChoice::instance().set(encoding == LabEncoding::Srgb ? LabEncoding::Linear
                                                                            : LabEncoding::Srgb);
            QCOMPARE(readout.labText(),
                     expectedLab(c.image, {30, 1}, encoding != LabEncoding::Srgb));
        }
    }

    // A type with no Lab shows its values and dashes for the rest.
    QVERIFY(canvas.showNewImage(cv::Mat(30, 40, CV_16SC3, cv::Scalar(-1, 2, -3))));
    canvas.setScale(1.0);
    moveTo(canvas, {5, 5});
    QCOMPARE(readout.valuesText(), QString("R -3 G 2 B -1"));
    QCOMPARE(readout.labText(), QString("L* – a* – b* –"));
}

void TestImageReadout::emptyOffThePictureAndRefreshedOnImageChanges() {
    QImageScrollArea viewer;
    ImageReadout readout(&viewer);
    QCVImage &canvas = *viewer.imageCanvas();
    moveTo(canvas, {3, 3});
    QVERIFY(readout.positionText().isEmpty());
    QVERIFY(readout.formatText().isEmpty());

    cv::Mat image(20, 20, CV_8UC3, cv::Scalar(1, 2, 3));
    QVERIFY(canvas.showNewImage(image));
    canvas.setScale(1.0);
    moveTo(canvas, {4, 5});
    QCOMPARE(readout.valuesText(), QString("R 3 G 2 B 1"));

    // Pixels written and shown: the resting mouse's read-out follows.
    canvas.image(true, -1, false).at<cv::Vec3b>(5, 4) = cv::Vec3b(9, 8, 7);
    canvas.showCurrentImage(cv::Rect(4, 5, 1, 1));
    QCOMPARE(readout.valuesText(), QString("R 7 G 8 B 9"));
    QCOMPARE(readout.labText(), expectedLab(canvas.image(true, -1, false), {4, 5}, false));

    // Off the picture: left of it, past its end (the canvas is larger), or out of the canvas.
    moveTo(canvas, {-2, 5});
    QVERIFY(readout.positionText().isEmpty() && readout.valuesText().isEmpty() &&
            readout.labText().isEmpty());
    moveTo(canvas, {4, 5});
    QVERIFY(!readout.positionText().isEmpty());
    moveTo(canvas, {25, 5});
    QVERIFY(readout.positionText().isEmpty());
    moveTo(canvas, {4, 5});
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&canvas, &leave);
    QVERIFY(readout.valuesText().isEmpty());

    // A smaller new image under a resting mouse that now lies off it.
    moveTo(canvas, {15, 15});
    QCOMPARE(readout.positionText(), QString("15, 15"));
    QVERIFY(canvas.showNewImage(cv::Mat(10, 10, CV_8UC1, cv::Scalar(5))));
    QVERIFY(readout.positionText().isEmpty());
    QCOMPARE(readout.formatText(), QString("10 × 10, 8-bit grey"));
}

void TestImageReadout::zoomAndFormat() {
    // Shown: a hidden widget's resizes reach it only when it is shown.
    QImageScrollArea viewer;
    viewer.createImageMenu();
    ImageReadout readout(&viewer);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCVImage &canvas = *viewer.imageCanvas();
    QVERIFY(readout.zoomText().isEmpty());
    QVERIFY(canvas.showNewImage(cv::Mat(400, 600, CV_16UC1, cv::Scalar(5))));
    canvas.setScale(1.0);
    QCOMPARE(readout.zoomText(), QString("100%"));
    canvas.setScale(1.5);
    QCOMPARE(readout.zoomText(), QString("150%"));
    canvas.setScale(0.25);
    QCOMPARE(readout.zoomText(), QString("25%"));
    QCOMPARE(readout.formatText(), QString("600 × 400, 16-bit grey"));

    QAction *fit = actionNamed(viewer, "&Fit to Window");
    QVERIFY(fit);
    fit->trigger();
    QVERIFY(viewer.widgetResizable());
    QCOMPARE(readout.zoomText(), QString("Fit"));
    fit->trigger();
    QVERIFY(readout.zoomText().endsWith('%'));
}

QTEST_MAIN(TestImageReadout)
#include "test_imagereadout.moc"
