// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartplots.h"

#include "patchcolour.h"

#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// Stacked sets give each bar its own colour; past this many patches the bars share one.
constexpr int colouredBarLimit = 100;
// Qt Charts gives each axis label the plot's width over the labels, less this much on each
// side, and cuts a longer label to "…".
constexpr int axisLabelPadding = 5;

void clear(QChart *chart) {
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

void attach(QChart *chart, QAbstractSeries *series, QAbstractAxis *x, QAbstractAxis *y) {
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

QChartView *viewOf(QChart *chart) {
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(360, 320);
    return view;
}

QScatterSeries *points(const QString &name, const QColor &colour, double size) {
    auto *series = new QScatterSeries;
    series->setName(name);
    series->setColor(colour);
    series->setBorderColor(colour.darker(150));
    series->setMarkerSize(size);
    return series;
}

// An arrow from `tail` to `tip`, its head `head` long in plot units.
QLineSeries *arrow(const QPointF &tail, const QPointF &tip, double head, const QColor &colour) {
    auto *line = new QLineSeries;
    line->setPen(QPen(colour, 2));
    line->append(tail);
    line->append(tip);
    const QPointF along = tip - tail;
    const double length = std::hypot(along.x(), along.y());
    if (length > head) {
        const QPointF back = along / length * head;
        const QPointF side(-back.y() * 0.5, back.x() * 0.5);
        line->append(tip - back + side);
        line->append(tip);
        line->append(tip - back - side);
    }
    return line;
}

} // namespace

ChartPlots::ChartPlots(QWidget *parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Chart plots"));
    abChart = new QChart;
    abChart->setTitle(tr("a*b*: target → measured"));
    deltaChart = new QChart;
    deltaChart->setTitle(tr("ΔE2000 per patch"));
    deltaChart->legend()->hide();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(viewOf(abChart), 1);
    // Wider, for the patch numbers under the bars.
    layout->addWidget(viewOf(deltaChart), 2);
    resize(1100, 460);
    connect(deltaChart, &QChart::plotAreaChanged, this, &ChartPlots::labelPatches);
}

void ChartPlots::setPatches(const std::vector<PatchComparison> &patches, LabEncoding encoding) {
    drawPlane(patches, encoding);
    drawDifferences(patches, encoding);
}

void ChartPlots::drawPlane(const std::vector<PatchComparison> &patches, LabEncoding encoding) {
    clear(abChart);
    double reach = 20;
    for (const PatchComparison &patch : patches) {
        for (const auto &lab :
             {patch.measured ? std::optional<cv::Vec3d>(patch.measured->mean) : std::nullopt,
              patch.reference}) {
            if (lab)
                reach = std::max({reach, std::abs((*lab)[1]), std::abs((*lab)[2])});
        }
    }
    reach = std::ceil(reach * 1.1 / 10) * 10;
    auto *aAxis = new QValueAxis;
    aAxis->setTitleText(tr("a*"));
    aAxis->setRange(-reach, reach);
    auto *bAxis = new QValueAxis;
    bAxis->setTitleText(tr("b*"));
    bAxis->setRange(-reach, reach);
    abChart->addAxis(aAxis, Qt::AlignBottom);
    abChart->addAxis(bAxis, Qt::AlignLeft);

    auto *targets = points(tr("Target"), targetColour, 9);
    auto *measured = points(tr("Measured"), measuredColour, 7);
    for (const PatchComparison &patch : patches) {
        if (!patch.measured)
            continue;
        const QPointF tip(patch.measured->mean[1], patch.measured->mean[2]);
        measured->append(tip);
        if (!patch.reference)
            continue;
        const QPointF tail((*patch.reference)[1], (*patch.reference)[2]);
        targets->append(tail);
        attach(abChart, arrow(tail, tip, reach * 0.03, patchColour(patch.measured->mean, encoding)),
               aAxis, bAxis);
    }
    // Drawn over the arrows; only these two are named in the legend.
    attach(abChart, targets, aAxis, bAxis);
    attach(abChart, measured, aAxis, bAxis);
    for (QLegendMarker *marker : abChart->legend()->markers())
        marker->setVisible(marker->series() == targets || marker->series() == measured);
}

void ChartPlots::drawDifferences(const std::vector<PatchComparison> &patches,
                                 LabEncoding encoding) {
    patchAxis = nullptr;
    clear(deltaChart);
    patchCount = int(patches.size());
    labelStep = 0;
    // Bars stand at 0, 1, ...; the axis names them by patch number.
    patchAxis = new QCategoryAxis;
    patchAxis->setTitleText(tr("Patch"));
    patchAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    patchAxis->setGridLineVisible(false);
    QFont small = patchAxis->labelsFont();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    patchAxis->setLabelsFont(small);
    patchAxis->setRange(-0.5, std::max(patchCount, 1) - 0.5);
    auto *deltaAxis = new QValueAxis;
    deltaAxis->setTitleText(tr("ΔE2000"));
    deltaChart->addAxis(patchAxis, Qt::AlignBottom);
    deltaChart->addAxis(deltaAxis, Qt::AlignLeft);

    auto *bars = new QStackedBarSeries;
    bars->setBarWidth(0.8);
    double highest = 1;
    if (patchCount <= colouredBarLimit) {
        for (int i = 0; i < patchCount; ++i) {
            const PatchComparison &patch = patches[size_t(i)];
            auto *set = new QBarSet(QString::number(i + 1));
            for (int j = 0; j < patchCount; ++j)
                set->append(j == i ? patch.deltaE2000.value_or(0) : 0);
            if (patch.measured)
                set->setColor(patchColour(patch.measured->mean, encoding));
            set->setBorderColor(Qt::darkGray);
            highest = std::max(highest, patch.deltaE2000.value_or(0));
            bars->append(set);
        }
    } else {
        auto *set = new QBarSet(tr("ΔE2000"));
        set->setColor(Qt::gray);
        for (const PatchComparison &patch : patches) {
            set->append(patch.deltaE2000.value_or(0));
            highest = std::max(highest, patch.deltaE2000.value_or(0));
        }
        bars->append(set);
    }
    deltaAxis->setRange(0, std::ceil(highest * 1.1));
    attach(deltaChart, bars, patchAxis, deltaAxis);
    labelPatches();
}

void ChartPlots::labelPatches() {
    if (!patchAxis || patchCount == 0)
        return;
    const int labelWidth =
        QFontMetrics(patchAxis->labelsFont()).horizontalAdvance(QString::number(patchCount)) +
        2 * axisLabelPadding;
    const double width = deltaChart->plotArea().width();
    int step = 1;
    for (const int candidate : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}) {
        step = candidate;
        if (width / (patchCount / step + 1) >= labelWidth)
            break;
    }
    if (step == labelStep)
        return;
    labelStep = step;
    for (const QString &label : patchAxis->categoriesLabels())
        patchAxis->remove(label);
    for (int patch = step; patch <= patchCount; patch += step)
        patchAxis->append(QString::number(patch), patch - 1);
}
