// SPDX-License-Identifier: GPL-3.0-or-later
#include "../support/modalanswer.h"
#include "demophoto.h"
#include "labtestsupport.h"
#include "plotcolours.h"
#include "qcolorimeterdlg.h"
#include "qcvimage.h"
#include "seriesforecast.h"
#include "seriesoptionswidget.h"
#include "seriesreportwindow.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QScatterSeries>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/imgproc.hpp>

namespace {

QPushButton *button(QWidget &parent, const QString &text) {
    for (QPushButton *candidate : parent.findChildren<QPushButton *>())
        if (candidate->text() == text)
            return candidate;
    return nullptr;
}

QLabel *labelContaining(QWidget &parent, const QString &text) {
    for (QLabel *label : parent.findChildren<QLabel *>())
        if (label->text().contains(text))
            return label;
    return nullptr;
}

SeriesPoint point(float l, float a, float b, float dl, float da, float db) {
    return {cv::Vec3f(l, a, b), cv::Vec3f(l + dl, a + da, b + db)};
}

} // namespace

class TestSeriesPanel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void optionsAreKeptAndCorruptValuesFallBack();
    void reportWindowPlotsHistogramAndPlane();
    void panelWritesTheChosenFormatAndSummarises();
    void largeSeriesAsksFirstAndEveryControlSaysWhatItDoes();

private:
    QTemporaryDir settingsFolder;
};

void TestSeriesPanel::initTestCase() {
    QVERIFY(settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
}

void TestSeriesPanel::optionsAreKeptAndCorruptValuesFallBack() {
    QTemporaryDir output;
    QVERIFY(output.isValid());
    {
        SeriesOptionsWidget fresh;
        QCOMPARE(fresh.options().folder, QString());
        QCOMPARE(fresh.options().format, SeriesFormat::Jpeg);
        QVERIFY(!fresh.options().precise);
        auto *combo = fresh.findChild<QComboBox *>();
        QCOMPARE(combo->count(), 5);
        QCOMPARE(combo->itemText(0), QString("JPEG"));
        QCOMPARE(combo->itemText(1), QString("PNG"));
        QCOMPARE(combo->itemText(2), QString("TIFF"));
        QCOMPARE(combo->itemText(3), QString("PNG 16-bit"));
        QCOMPARE(combo->itemText(4), QString("TIFF 16-bit"));
        QVERIFY(button(fresh, "Output Folder..."));
        combo->setCurrentIndex(4);
        fresh.findChild<QCheckBox *>()->setChecked(true);
        fresh.setFolder(output.path());
    }
    {
        const SeriesOptionsWidget kept;
        QCOMPARE(kept.options().folder, output.path());
        QCOMPARE(kept.options().format, SeriesFormat::Tiff16);
        QVERIFY(kept.options().precise);
        QVERIFY(labelContaining(const_cast<SeriesOptionsWidget &>(kept),
                                QDir::toNativeSeparators(output.path())));
    }
    {
        QSettings settings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"));
        settings.setValue("series/folder", "relative/folder");
        settings.setValue("series/format", "gif");
        settings.setValue("series/precise", "maybe");
    }
    const SeriesOptionsWidget corrupt;
    QCOMPARE(corrupt.options().folder, QString());
    QCOMPARE(corrupt.options().format, SeriesFormat::Jpeg);
    QVERIFY(!corrupt.options().precise);
}

void TestSeriesPanel::reportWindowPlotsHistogramAndPlane() {
    SeriesResult result;
    result.folder = "/tmp/series";
    result.total = result.written = 4;
    result.outOfGamut = 1;
    result.offTarget = 2;
    // ΔE76 0.3, 0.4, 1.3 and 2.6.
    result.points = {point(50, 0, 0, 0.3f, 0, 0), point(50, 20, -20, 0, 0.4f, 0),
                     point(60, -40, 40, 0.5f, 1.2f, 0), point(30, 10, 10, 0, 2.4f, 1.0f)};
    const DeltaEHistogram bins = deltaEHistogram(result.points, 10);
    // 2.6 / 10 rounds up to bins of 0.5: [0, 0.5) holds two, [1, 1.5) one, [2.5, 3) one.
    QCOMPARE(bins.binWidth, 0.5);
    QCOMPARE(bins.counts, (std::vector<int>{2, 0, 1, 0, 0, 1}));

    SeriesReportWindow window;
    window.showResult(result);
    window.resize(960, 440);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(labelContaining(window, "4 of 4 files written"));
    QVERIFY(labelContaining(window, "Out of gamut: 1. Off target: 2."));

    const QList<QAbstractSeries *> bars = window.histogramChart()->series();
    QCOMPARE(bars.size(), 1);
    const QBarSet *set = static_cast<QBarSeries *>(bars[0])->barSets().at(0);
    int files = 0;
    for (int i = 0; i < set->count(); ++i)
        files += int(set->at(i));
    QCOMPARE(files, 4);

    int scatterPoints = 0;
    int joiningLines = 0;
    for (QAbstractSeries *series : window.planeChart()->series()) {
        if (auto *scatter = qobject_cast<QScatterSeries *>(series)) {
            scatterPoints += scatter->count();
            // Target and Measured keep the chart dock's colours, whatever the number of lines.
            QCOMPARE(scatter->color(), scatter->name() == QLatin1String("Target")
                                           ? targetPlotColour
                                           : measuredPlotColour);
        } else if (auto *line = qobject_cast<QLineSeries *>(series)) {
            ++joiningLines;
            QCOMPARE(line->count(), 2);
        }
    }
    QCOMPARE(scatterPoints, 8);
    QCOMPARE(joiningLines, 4);

    // The picture in docs: an eighth of a delta series over the demo photograph's grey card.
    const QString shots = qEnvironmentVariable("VEXMIRA_SCREENSHOT_DIR");
    if (shots.isEmpty())
        return;
    QTemporaryDir output;
    QVERIFY(output.isValid());
    const DemoPhoto photo = renderDemoPhoto();
    const cv::Rect card =
        cv::boundingRect(std::vector<cv::Point>(photo.greyCard.begin(), photo.greyCard.end()));
    const cv::Point centre = (card.tl() + card.br()) / 2;
    SeriesRequest request;
    request.image = photo.image;
    request.corners = {centre + cv::Point(-40, -20), centre + cv::Point(-40, 20),
                       centre + cv::Point(40, 20), centre + cv::Point(40, -20)};
    request.plan = {SeriesPlan::Kind::Delta, {60, 10, -10}};
    request.shard = {1, 8};
    request.options.folder = output.path();
    const std::atomic<bool> noStop{false};
    window.showResult(runReferenceSeries(request, noStop, {}));
    // The charts lay themselves out in the event loop.
    QTest::qWait(200);
    QVERIFY(window.grab().save(QDir(shots).filePath("screenshot-series-report.png")));
}

void TestSeriesPanel::panelWritesTheChosenFormatAndSummarises() {
    QTemporaryDir output;
    QVERIFY(output.isValid());
    QCVImage canvas;
    canvas.showNewImage(imageOfColours(40, 48, 6, 3));
    QColorimeterDlg panel;
    panel.SetCVImage(&canvas);
    panel.setMessageBoxesShown(false);
    auto *options = panel.findChild<SeriesOptionsWidget *>();
    QVERIFY(options);
    options->setFolder(output.path());
    options->findChild<QComboBox *>()->setCurrentIndex(1);
    panel.setLabValues(50, 120, 120);
    panel.show();
    QTRY_VERIFY(labelContaining(panel, "Next grid series: 8 files"));
    QVERIFY(labelContaining(panel, "Next delta series: 4913 files"));

    QVERIFY(QMetaObject::invokeMethod(&panel, "CreateLabImgs"));
    QCOMPARE(panel.lastSeriesReport().written, 8);
    QCOMPARE(QDir(output.path()).entryList({"*.png"}).size(), 8);
    QVERIFY(QFile::exists(QDir(output.path()).filePath("ref_img_grid_50_120_120.csv")));
    QLabel *status = labelContaining(panel, "8 of 8 images written to");
    QVERIFY(status);
    QVERIFY(status->text().contains(QDir::toNativeSeparators(output.path())));
    QVERIFY(status->text().contains("mean"));

    QPushButton *report = button(panel, "Show Report");
    QVERIFY(report && report->isVisible());
    report->click();
    auto *window = panel.findChild<SeriesReportWindow *>();
    QVERIFY(window && window->isVisible());

    // Another command that changes the image clears the finished series' line.
    QVERIFY(QMetaObject::invokeMethod(&panel, "SetMeanLab"));
    QVERIFY(!status->isVisible());
}

void TestSeriesPanel::largeSeriesAsksFirstAndEveryControlSaysWhatItDoes() {
    // Above 1000 files or 1 GiB.
    QVERIFY(!(SeriesForecast{1000, std::int64_t{1} << 30, {}, {}}.isLarge()));
    QVERIFY((SeriesForecast{1001, 1000, {}, {}}.isLarge()));
    QVERIFY((SeriesForecast{10, (std::int64_t{1} << 30) + 1, {}, {}}.isLarge()));

    QTemporaryDir output;
    QVERIFY(output.isValid());
    const QString folder = QDir::toNativeSeparators(output.path());
    QCVImage canvas;
    canvas.showNewImage(imageOfColours(40, 48, 6, 3));
    QColorimeterDlg panel;
    panel.SetCVImage(&canvas);
    panel.findChild<SeriesOptionsWidget *>()->setFolder(output.path());
    panel.setLabValues(50, 0, 0);
    panel.show();
    const QSize minimum = panel.minimumSizeHint();

    QList<QWidget *> controls;
    for (QWidget *control : panel.findChildren<QAbstractButton *>())
        controls << control;
    for (QWidget *control : panel.findChildren<QComboBox *>())
        controls << control;
    for (QWidget *control : panel.findChildren<QSpinBox *>())
        controls << control;
    QVERIFY(controls.size() >= 11);
    for (QWidget *control : std::as_const(controls))
        QVERIFY2(!control->toolTip().isEmpty() && !control->statusTip().isEmpty(),
                 qPrintable(control->metaObject()->className()));

    // The series buttons say how many files, over which range and where; the grid reads the
    // spin boxes as steps.
    QPushButton *delta = button(panel, "Create dE of 2 around this Value");
    QTRY_VERIFY(delta->toolTip().contains("4913 files, about"));
    QVERIFY(delta->toolTip().contains("L* 34 to 66, a* -16 to 16, b* -16 to 16"));
    QVERIFY(delta->toolTip().contains(folder));
    panel.setLabValues(50, 120, 120);
    QPushButton *grid = button(panel, "Create Lab images with dE set");
    QTRY_VERIFY(grid->toolTip().contains("8 files"));
    QVERIFY2(grid->toolTip().contains("as the steps"), qPrintable(grid->toolTip()));
    QVERIFY(grid->toolTip().contains("L* 0 to 50 in steps of 50, a* -120 to 0 in steps of 120"));
    QVERIFY(grid->statusTip() == grid->toolTip());

    // A delta series asks first, with both figures and the folder; "No" writes nothing.
    QString question;
    answerNextModal<QMessageBox>([&question](QMessageBox *box) {
        question = box->text();
        box->button(QMessageBox::No)->click();
    });
    QVERIFY(QMetaObject::invokeMethod(&panel, "CreateDeltaImgs"));
    QVERIFY2(question.contains("4913 files, about") && question.contains(folder),
             qPrintable(question));
    QVERIFY(QDir(output.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QCOMPARE(panel.lastSeriesReport().written, 0);
    QVERIFY(!panel.isSeriesRunning());

    // A small series asks nothing; its long summary wraps inside the panel, whose minimum size
    // stays as it was.
    QVERIFY(QMetaObject::invokeMethod(&panel, "CreateLabImgs"));
    QCOMPARE(panel.lastSeriesReport().written, 8);
    QLabel *summary = labelContaining(panel, "8 of 8 images written");
    QVERIFY(summary);
    QVERIFY2(summary->text().contains(QRegularExpression("\\d+ out of gamut, \\d+ off target")),
             qPrintable(summary->text()));
    QCOMPARE(panel.minimumSizeHint(), minimum);
    QVERIFY(minimum.height() < 200);
}

QTEST_MAIN(TestSeriesPanel)
#include "test_seriespanel.moc"
