// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartplots.h"

#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QMap>
#include <QScatterSeries>
#include <QSet>
#include <QTest>

namespace {

std::vector<PatchComparison> comparedPatches(int count) {
    std::vector<std::optional<LabStats>> measured;
    ChartReference reference;
    for (int i = 0; i < count; ++i) {
        LabStats stats;
        stats.mean = cv::Vec3d(30 + i % 60, -40 + (i * 7) % 80, -30 + (i * 11) % 60);
        stats.count = 100;
        measured.push_back(stats);
        reference.push_back(stats.mean + cv::Vec3d(1, 2 + i % 5, -2));
    }
    return comparePatches(measured, reference);
}

QStringList labelsOf(QChart *chart) {
    QStringList texts;
    for (QGraphicsItem *item : chart->scene()->items()) {
        if (auto *text = dynamic_cast<QGraphicsTextItem *>(item); text && text->isVisible())
            texts << text->toPlainText();
    }
    return texts;
}

} // namespace

class ChartPlotsTest : public QObject {
    Q_OBJECT

private slots:
    // Every label readable, each bar numbered while the plot is wide enough and every n-th
    // when it is not; a long chart numbered every n-th.
    void labelsTheBarsWithPatchNumbers() {
        const struct {
            int patches;
            int width;
            bool everyPatch;
        } cases[] = {{24, 0, true}, {24, 700, false}, {140, 0, false}};
        for (const auto &plot : cases) {
            ChartPlots plots;
            plots.setPatches(comparedPatches(plot.patches), LabEncoding::Srgb);
            if (plot.width > 0)
                plots.resize(plot.width, plots.height());
            plots.show();
            QVERIFY(QTest::qWaitForWindowExposed(&plots));
            QCoreApplication::processEvents();
            const QStringList labels = labelsOf(plots.differences());
            const QByteArray shown = labels.join(QLatin1Char(' ')).toUtf8();
            std::vector<int> numbers;
            for (const QString &label : labels) {
                QVERIFY2(!label.contains(QStringLiteral("...")) && !label.contains(QChar(0x2026)),
                         shown);
                bool isNumber = false;
                if (const int number = label.toInt(&isNumber); isNumber)
                    numbers.push_back(number);
            }
            // Evenly spaced up to the last patch the step reaches.
            std::sort(numbers.begin(), numbers.end());
            QVERIFY2(numbers.size() >= 2, shown);
            const int step = numbers[0];
            QVERIFY2(plot.everyPatch ? step == 1 : step > 1, shown);
            QCOMPARE(int(numbers.size()), plot.patches / step);
            for (size_t i = 0; i < numbers.size(); ++i)
                QCOMPARE(numbers[i], int(i + 1) * step);
        }
    }

    // Targets and measured values keep their colours whatever the plot holds, and only they
    // are in the legend.
    void keepsOneColourForTargetsAndOneForMeasuredValues() {
        QMap<QString, QSet<QRgb>> colours;
        for (const int patches : {24, 6, 140}) {
            ChartPlots plots;
            plots.setPatches(comparedPatches(patches), LabEncoding::Linear);
            plots.show();
            QVERIFY(QTest::qWaitForWindowExposed(&plots));
            for (QAbstractSeries *series : plots.abPlane()->series()) {
                if (auto *points = qobject_cast<QScatterSeries *>(series)) {
                    QCOMPARE(points->count(), patches);
                    colours[points->name()] << points->color().rgb();
                }
            }
            int named = 0;
            for (QLegendMarker *marker : plots.abPlane()->legend()->markers())
                named += marker->isVisible();
            QCOMPARE(named, 2);
        }
        QCOMPARE(colours.keys(), (QStringList{"Measured", "Target"}));
        QCOMPARE(colours["Target"].size(), 1);
        QCOMPARE(colours["Measured"].size(), 1);
        QVERIFY(colours["Target"] != colours["Measured"]);
    }
};

QTEST_MAIN(ChartPlotsTest)
#include "test_chartplots.moc"
