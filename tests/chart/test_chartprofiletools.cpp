// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartprofiletools.h"

#include "cameraprofilereadings.h"
#include "chartfinder.h"
#include "chartpanel.h"
#include "colourdifference.h"
#include "demophoto.h"
#include "demoreference.h"
#include "qcvimage.h"

#include "../support/littlecms.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <lcms2.h>

#include <cmath>

namespace {

// The largest distance between matching corners, as a fraction of the field's diagonal.
double cornerError(const cv::Point *corners, const Quad &expected) {
    const double diagonal = cv::norm(expected[2] - expected[0]);
    double worst = 0;
    for (size_t i = 0; i < 4; ++i)
        worst = std::max(worst, cv::norm(corners[i] - expected[i]) / diagonal);
    return worst;
}

// ΔE2000 to `reference` of each patch's device values taken through `profilePath` by Little
// CMS itself.
std::vector<double> deltaEThroughLittleCms(const QString &profilePath,
                                           const std::vector<std::optional<cv::Vec3d>> &rgb,
                                           const ChartReference &reference) {
    const LcmsTransform toLab = labTransform(openProfile(profilePath), TYPE_RGB_DBL, true);
    std::vector<double> deltaE;
    for (size_t i = 0; toLab && i < rgb.size(); ++i)
        deltaE.push_back(deltaE2000(labOf(toLab, rgb[i]->val), reference[i]));
    return deltaE;
}

} // namespace

class ChartProfileToolsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { LabEncodingChoice::instance().set(LabEncoding::Linear); }

    // On the demo photograph, with its reference read in the current mode, the dock lands on
    // what the finder itself finds. The profile made there opens in Little CMS, which reads every
    // patch as the fit table's "after" says; "before" is the dock's own reading; Assign hands the
    // file on. On a picture without a chart the corners stay.
    void findsTheDemoChartMakesItsProfileAndLeavesCornersWithoutOne() {
        const QTemporaryDir folder;
        const QString referencePath = folder.filePath(QStringLiteral("demo.txt"));
        std::string error;
        QVERIFY(writeDemoReference(referencePath.toStdString(), error));
        const DemoPhoto photo = renderDemoPhoto();
        QCVImage canvas;
        ChartPanel panel(&canvas);
        panel.show();
        QVERIFY(canvas.showNewImage(photo.image));
        QVERIFY2(panel.loadReference(referencePath), qPrintable(panel.message()));
        ChartProfileTools &tools = *panel.profileTools();
        QSignalSpy reports(&tools, &ChartProfileTools::reported);

        QVERIFY(tools.findChart());
        const ChartReference reference = demoChartReference();
        ChartFindOptions options;
        options.reference = &reference;
        options.readPatches = patchLabReader(photo.image, LabEncoding::Linear);
        const ChartSearch core = findChart(photo.image, options);
        QVERIFY(core.chart);
        QCOMPARE_LT(cornerError(canvas.corners, core.chart->quad()), 0.01);
        QCOMPARE_LT(cornerError(canvas.corners, photo.patchGrid), 0.01);
        QCOMPARE(panel.gridLayout().rows, 4);
        QCOMPARE(panel.gridLayout().columns, 6);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports[0][0].toString().startsWith("Found ColorChecker Classic 24 (4 x 6) at ("));
        QVERIFY(panel.summary().startsWith("ΔE2000: mean"));

        tools.setToneCurve(ToneCurve::Gamma);
        const QString profilePath = folder.filePath(QStringLiteral("camera.icc"));
        QVERIFY2(tools.makeProfile(profilePath), qPrintable(tools.message()));

        const PatchGrid grid = patchGrid(quadFromPoints(canvas.corners), panel.gridLayout());
        const auto rgb = readPatchRgb(photo.image, grid.areas);
        const std::vector<double> expected =
            deltaEThroughLittleCms(profilePath, rgb, demoChartReference());
        const QTableWidget &table = *tools.fitTable();
        QCOMPARE(int(expected.size()), 24);
        QCOMPARE(table.rowCount(), 24);
        for (int row = 0; row < 24; ++row) {
            QCOMPARE(table.item(row, 0)->text(),
                     panel.tableModel()
                         .data(panel.tableModel().index(
                             row, panel.tableModel().section(ChartTableModel::DeltaE2000Column)))
                         .toString());
            QVERIFY2(std::abs(table.item(row, 1)->text().toDouble() - expected[size_t(row)]) <
                         0.051,
                     qPrintable(QString::number(row + 1)));
        }
        QVERIFY2(tools.fitSummary().contains(QRegularExpression(
                     "Fit over \\d+ patches. ΔE2000 before: mean [0-9.]+, maximum [0-9.]+ "
                     "\\(patch \\d+\\). After: mean [0-9.]+, maximum [0-9.]+")),
                 qPrintable(tools.fitSummary()));

        QSignalSpy assigned(&tools, &ChartProfileTools::profileAssigned);
        tools.assignToPicture();
        QCOMPARE(assigned.size(), 1);
        QCOMPARE(assigned[0][0].toString(), QFileInfo(profilePath).absoluteFilePath());

        const cv::Point before[4] = {{10, 20}, {10, 300}, {400, 300}, {400, 20}};
        QVERIFY(canvas.showNewImage(cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 120, 140))));
        std::copy(before, before + 4, canvas.corners);
        QVERIFY(!tools.findChart());
        QVERIFY(std::equal(before, before + 4, canvas.corners));
        QCOMPARE(tools.message(), "No chart found; the corners stay where they were.");
    }

    // Refusals name their reason and leave no file, nor change an old one.
    void refusalsLeaveNoProfile() {
        const QTemporaryDir folder;
        const QString referencePath = folder.filePath(QStringLiteral("demo.txt"));
        std::string error;
        QVERIFY(writeDemoReference(referencePath.toStdString(), error));
        const QString oldProfile = folder.filePath(QStringLiteral("old.icc"));
        QVERIFY(writeFileBytes(oldProfile, "old"));
        const QString missingFolder = folder.filePath(QStringLiteral("gone/camera.icc"));

        struct Case {
            cv::Mat picture;
            bool withReference;
            QString path;
            QString reason;
        };
        const cv::Mat white(600, 800, CV_8UC3, cv::Scalar::all(255));
        const std::vector<Case> cases = {
            {renderDemoPhoto().image, false, oldProfile, "Load the chart's reference first"},
            {white, true, oldProfile, QString::number(minimumFitPatches)},
            {renderDemoPhoto().image, true, missingFolder, "No profile made: "},
        };
        for (const Case &refused : cases) {
            QCVImage canvas;
            ChartPanel panel(&canvas);
            panel.show();
            QVERIFY(canvas.showNewImage(refused.picture));
            if (refused.withReference)
                QVERIFY(panel.loadReference(referencePath));
            panel.profileTools()->findChart();
            QVERIFY(!panel.profileTools()->makeProfile(refused.path));
            QVERIFY2(panel.profileTools()->message().contains(refused.reason),
                     qPrintable(panel.profileTools()->message()));
            QVERIFY(panel.profileTools()->profilePath().isEmpty());
            QCOMPARE(fileBytes(oldProfile), QByteArray("old"));
            QVERIFY(!QFile::exists(missingFolder));
        }
    }
};

QTEST_MAIN(ChartProfileToolsTest)
#include "test_chartprofiletools.moc"
