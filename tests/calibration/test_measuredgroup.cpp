// SPDX-License-Identifier: GPL-3.0-or-later
#include "encodingselector.h"
#include "labencoding.h"
#include "measuredgroup.h"
#include "qcvimage.h"
#include "quad.h"

#include "../support/referencelab.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <optional>

namespace {

// The statistics as OpenCV gives them: the rectangle to float (/255, /65535), grey and alpha
// to BGR, the encoding's float conversion, then cv::mean and cv::meanStdDev.
struct Expected {
    cv::Scalar mean;
    cv::Scalar stdDev;
    int count = 0;
};

Expected openCvStatistics(const cv::Mat &image, const cv::Rect &rect, bool srgb) {
    const cv::Mat lab = referenceLab(image(rect), srgb ? LabEncoding::Srgb : LabEncoding::Linear);
    Expected expected;
    cv::Scalar mean;
    cv::meanStdDev(lab, mean, expected.stdDev);
    expected.mean = cv::mean(lab);
    expected.count = rect.area();
    return expected;
}

void compare(const std::optional<LabStats> &shown, const Expected &expected) {
    QVERIFY(shown);
    QCOMPARE(shown->count, expected.count);
    for (int c = 0; c < 3; ++c) {
        QVERIFY2(std::abs(shown->mean[c] - expected.mean[c]) < 1e-3,
                 qPrintable(QString::number(c)));
        QVERIFY2(std::abs(shown->stdDev[c] - expected.stdDev[c]) < 1e-3,
                 qPrintable(QString::number(c)));
    }
}

void setCorners(QCVImage &canvas, const cv::Rect &rect) {
    cv::Point *corners = canvas.cornerPoints(false);
    corners[0] = rect.tl();
    corners[1] = {rect.x, rect.br().y};
    corners[2] = rect.br();
    corners[3] = {rect.br().x, rect.y};
    emit canvas.cornersChanged();
}

cv::Mat randomImage(int type, uint64 seed) {
    cv::Mat image(48, 64, type);
    cv::RNG(seed).fill(image, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return image;
}

QString text(MeasuredGroup &group, const char *name) {
    return group.findChild<QLabel *>(name)->text();
}

QPushButton *copyButton(MeasuredGroup &group) {
    return group.findChild<QPushButton *>();
}

} // namespace

class TestMeasuredGroup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void matchesOpenCvsFloatStatisticsForEveryKindOfImage();
    void followsADragLiveAndEndsOnTheLastPosition();
    void copyPutsOneTabSeparatedLine();
    void emptyOrOutsideShowsDashesAndNoCopy();
    void encodingChoiceSurvivesARestart();
};

void TestMeasuredGroup::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
}

void TestMeasuredGroup::cleanup() {
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
    LabEncodingChoice::instance().set(LabEncoding::Linear);
}

void TestMeasuredGroup::matchesOpenCvsFloatStatisticsForEveryKindOfImage() {
    const int types[] = {CV_8UC3, CV_8UC1, CV_16UC3, CV_8UC4, CV_16UC1};
    const cv::Rect rect(5, 7, 41, 29);
    uint64 seed = 1;
    for (const int type : types) {
        QCVImage canvas;
        canvas.showNewImage(randomImage(type, seed++));
        MeasuredGroup group;
        group.setCanvas(&canvas);
        setCorners(canvas, rect);
        for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
            const QString trace =
                QStringLiteral("type %1, %2").arg(type).arg(labEncodingKey(encoding));
            LabEncodingChoice::instance().set(encoding);
            const Expected expected = openCvStatistics(canvas.image(true, -1, false), rect,
                                                       encoding == LabEncoding::Srgb);
            QTRY_VERIFY2(group.shownStats() &&
                             std::abs(group.shownStats()->mean[0] - expected.mean[0]) < 1e-3,
                         qPrintable(trace));
            compare(group.shownStats(), expected);
            QCOMPARE(text(group, "measuredPixels"), QString::number(rect.area()));
            QCOMPARE(text(group, "measured0"),
                     QString::asprintf("%.1f ± %.1f", expected.mean[0], expected.stdDev[0]));
        }
        LabEncodingChoice::instance().set(LabEncoding::Linear);
    }
}

void TestMeasuredGroup::followsADragLiveAndEndsOnTheLastPosition() {
    QCVImage canvas;
    const cv::Mat image = randomImage(CV_8UC3, 9);
    canvas.showNewImage(image);
    canvas.resize(64, 48);
    setCorners(canvas, {4, 4, 20, 20});
    MeasuredGroup group;
    group.setCanvas(&canvas);
    compare(group.shownStats(), openCvStatistics(image, {4, 4, 20, 20}, false));
    QTest::qWait(2 * MeasuredGroup::refreshIntervalMs);

    // Drag corner 3 (at 24, 4) to the right, as the mouse does: press on it, then moves.
    canvas.trackMouse(24, 4, Qt::NoButton);
    QCOMPARE(canvas.hoverHandle, 3);
    canvas.trackMouse(24, 4, Qt::LeftButton);
    canvas.trackMouse(30, 4, Qt::LeftButton);
    // The first move shows at once...
    compare(group.shownStats(), openCvStatistics(image, {4, 4, 26, 20}, false));
    // ...those within the interval after it wait, and the last of them is shown.
    for (int x = 31; x <= 50; ++x)
        canvas.trackMouse(x, 4, Qt::LeftButton);
    compare(group.shownStats(), openCvStatistics(image, {4, 4, 26, 20}, false));
    QTRY_COMPARE(group.shownStats()->count, 46 * 20);
    compare(group.shownStats(), openCvStatistics(image, {4, 4, 46, 20}, false));

    // A change of the image's pixels is measured too.
    canvas.image(true, -1, false)(cv::Rect(4, 4, 46, 20)).setTo(cv::Scalar(10, 200, 30));
    canvas.showCurrentImage(cv::Rect(4, 4, 46, 20));
    QTRY_VERIFY(group.shownStats()->stdDev[0] < 1e-3);
    compare(group.shownStats(),
            openCvStatistics(canvas.image(true, -1, false), {4, 4, 46, 20}, false));
}

void TestMeasuredGroup::copyPutsOneTabSeparatedLine() {
    QCVImage canvas;
    cv::Mat image(20, 30, CV_8UC3, cv::Scalar(40, 90, 200));
    image(cv::Rect(0, 0, 30, 10)).setTo(cv::Scalar(200, 60, 20));
    canvas.showNewImage(image);
    setCorners(canvas, {0, 5, 30, 10});
    MeasuredGroup group;
    group.setCanvas(&canvas);
    const Expected expected = openCvStatistics(image, {0, 5, 30, 10}, false);
    QApplication::clipboard()->clear();
    QVERIFY(copyButton(group)->isEnabled());
    copyButton(group)->click();
    const QStringList fields = QApplication::clipboard()->text().split('\t');
    QCOMPARE(fields.size(), 7);
    for (int c = 0; c < 3; ++c) {
        QCOMPARE(fields[c], QString::asprintf("%.1f", expected.mean[c]));
        QCOMPARE(fields[3 + c], QString::asprintf("%.1f", expected.stdDev[c]));
    }
    QCOMPARE(fields[6], QString("300"));
    QVERIFY(!QApplication::clipboard()->text().contains('\n'));
}

void TestMeasuredGroup::emptyOrOutsideShowsDashesAndNoCopy() {
    const QString dash = QStringLiteral("–");
    QCVImage canvas;
    MeasuredGroup group;
    group.setCanvas(&canvas);
    QCOMPARE(text(group, "measured0"), dash);
    QVERIFY(!copyButton(group)->isEnabled());

    canvas.showNewImage(randomImage(CV_8UC3, 4));
    const cv::Mat before = canvas.image(true, -1, false).clone();
    QTRY_VERIFY(group.shownStats());
    const cv::Rect bad[] = {{20, 10, -5, 8}, {20, 10, 8, -5}, {20, 10, 0, 8}, {60, 40, 10, 10}};
    for (const cv::Rect &rect : bad) {
        setCorners(canvas, rect);
        QTRY_VERIFY(!group.shownStats());
        for (const char *name : {"measured0", "measured1", "measured2", "measuredPixels"})
            QCOMPARE(text(group, name), dash);
        QVERIFY(!copyButton(group)->isEnabled());
    }
    // A type with no Lab: dashes too; nothing throws or changes the image.
    canvas.showNewImage(cv::Mat(10, 10, CV_16SC3, cv::Scalar::all(-4)));
    setCorners(canvas, {1, 1, 5, 5});
    QTRY_VERIFY(!group.shownStats());
    QCOMPARE(text(group, "measured1"), dash);
    QVERIFY(cv::norm(before, canvas.sourceImages[0], cv::NORM_INF) == 0);
}

void TestMeasuredGroup::encodingChoiceSurvivesARestart() {
    {
        EncodingSelector::restoreKeptEncoding();
        EncodingSelector selector;
        QCOMPARE(selector.comboBox()->currentText(), QString("Linear light"));
        QCOMPARE(selector.comboBox()->count(), 3);
        QCOMPARE(selector.comboBox()->itemText(1), QString("sRGB"));
        QCOMPARE(selector.comboBox()->itemText(2), QString("Colour-managed (ICC)"));
        QCOMPARE(LabEncodingChoice::instance().value(), LabEncoding::Linear);
        selector.comboBox()->setCurrentIndex(2);
        QCOMPARE(LabEncodingChoice::instance().value(), LabEncoding::Icc);
        selector.comboBox()->setCurrentIndex(1);
        QCOMPARE(LabEncodingChoice::instance().value(), LabEncoding::Srgb);
    }
    QCOMPARE(QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"))
                 .value(EncodingSelector::settingsKey)
                 .toString(),
             QString("srgb"));

    // A new run starts linear until the kept value is read.
    LabEncodingChoice::instance().set(LabEncoding::Linear);
    {
        EncodingSelector::restoreKeptEncoding();
        EncodingSelector selector;
        QCOMPARE(selector.comboBox()->currentText(), QString("sRGB"));
        QCOMPARE(LabEncodingChoice::instance().value(), LabEncoding::Srgb);
        // Set elsewhere: the combo follows.
        LabEncodingChoice::instance().set(LabEncoding::Linear);
        QCOMPARE(selector.comboBox()->currentText(), QString("Linear light"));
    }

    // A value not understood falls back to linear light without a word.
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"))
        .setValue(EncodingSelector::settingsKey, QStringLiteral("gamma 1.8"));
    LabEncodingChoice::instance().set(LabEncoding::Srgb);
    EncodingSelector::restoreKeptEncoding();
    EncodingSelector selector;
    QCOMPARE(selector.comboBox()->currentText(), QString("Linear light"));
    QCOMPARE(LabEncodingChoice::instance().value(), LabEncoding::Linear);
}

QTEST_MAIN(TestMeasuredGroup)
#include "test_measuredgroup.moc"
