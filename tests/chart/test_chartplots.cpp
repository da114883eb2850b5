// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartplots.h"

#include <QChart>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QScatterSeries>
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
        std::vector<QColor> targets;
        std::vector<QColor> measured;
        for (const int patches : {24, 6, 140}) {
            ChartPlots plots;
            plots.setPatches(comparedPatches(patches), LabEncoding::Linear);
            plots.show();
            QVERIFY(QTest::qWaitForWindowExposed(&plots));
            int named = 0;
            for (QAbstractSeries *series : plots.abPlane()->series()) {
                auto *scatter = qobject_cast<QScatterSeries *>(series);
                if (!scatter)
                    continue;
                ++named;
                QCOMPARE(scatter->count(), patches);
                if (scatter->name() == QStringLiteral("Target"))
                    targets.push_back(scatter->color());
                else if (scatter->name() == QStringLiteral("Measured"))
                    measured.push_back(scatter->color());
            }
            QCOMPARE(named, 2);
            int markers = 0;
            for (QLegendMarker *marker : plots.abPlane()->legend()->markers())
                markers += marker->isVisible();
            QCOMPARE(markers, 2);
        }
        QCOMPARE(targets.size(), 3u);
        QCOMPARE(measured.size(), 3u);
        for (size_t i = 1; i < 3; ++i) {
            QCOMPARE(targets[i], targets[0]);
            QCOMPARE(measured[i], measured[0]);
        }
        QVERIFY(targets[0] != measured[0]);
    }
};

QTEST_MAIN(ChartPlotsTest)
#include "test_chartplots.moc"
