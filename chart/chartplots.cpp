// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartplots.h"

#include "patchcolour.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QScatterSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// Stacked sets give each bar its own colour; past this many patches the bars share one.
constexpr int colouredBarLimit = 100;

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

} // namespace

ChartPlots::ChartPlots(QWidget *parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Chart plots"));
    abChart = new QChart;
    abChart->setTitle(tr("a*b*: reference → measured"));
    abChart->legend()->hide();
    deltaChart = new QChart;
    deltaChart->setTitle(tr("ΔE2000 per patch"));
    deltaChart->legend()->hide();
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(viewOf(abChart));
    layout->addWidget(viewOf(deltaChart));
    resize(900, 420);
}

void ChartPlots::setPatches(const std::vector<PatchComparison> &patches, LabEncoding encoding) {
    clear(abChart);
    clear(deltaChart);

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

    const double head = reach * 0.03;
    for (const PatchComparison &patch : patches) {
        if (!patch.measured)
            continue;
        const cv::Vec3d &measured = patch.measured->mean;
        const QColor colour = patchColour(measured, encoding);
        const QPointF tip(measured[1], measured[2]);
        if (!patch.reference) {
            auto *point = new QScatterSeries;
            point->setColor(colour);
            point->setMarkerSize(9);
            point->append(tip);
            attach(abChart, point, aAxis, bAxis);
            continue;
        }
        const QPointF tail((*patch.reference)[1], (*patch.reference)[2]);
        auto *arrow = new QLineSeries;
        arrow->setPen(QPen(colour, 2));
        arrow->append(tail);
        arrow->append(tip);
        const QPointF along = tip - tail;
        const double length = std::hypot(along.x(), along.y());
        if (length > head) {
            const QPointF back = along / length * head;
            const QPointF side(-back.y() * 0.5, back.x() * 0.5);
            arrow->append(tip - back + side);
            arrow->append(tip);
            arrow->append(tip - back - side);
        }
        attach(abChart, arrow, aAxis, bAxis);
    }

    auto *categories = new QBarCategoryAxis;
    auto *deltaAxis = new QValueAxis;
    deltaAxis->setTitleText(tr("ΔE2000"));
    deltaChart->addAxis(categories, Qt::AlignBottom);
    deltaChart->addAxis(deltaAxis, Qt::AlignLeft);
    const int count = int(patches.size());
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QString::number(i + 1);
    categories->append(names);
    auto *bars = new QStackedBarSeries;
    bars->setBarWidth(0.8);
    double highest = 1;
    if (count <= colouredBarLimit) {
        for (int i = 0; i < count; ++i) {
            const PatchComparison &patch = patches[size_t(i)];
            auto *set = new QBarSet(names[i]);
            for (int j = 0; j < count; ++j)
                set->append(j == i ? patch.deltaE2000.value_or(0) : 0);
            if (patch.measured)
                set->setColor(patchColour(patch.measured->mean, encoding));
            set->setBorderColor(Qt::darkGray);
            highest = std::max(highest, patch.deltaE2000.value_or(0));
            bars->append(set);
        }
    } else {
        auto *set = new QBarSet(tr("ΔE2000"));
        for (const PatchComparison &patch : patches) {
            set->append(patch.deltaE2000.value_or(0));
            highest = std::max(highest, patch.deltaE2000.value_or(0));
        }
        bars->append(set);
    }
    deltaAxis->setRange(0, std::ceil(highest * 1.1));
    attach(deltaChart, bars, categories, deltaAxis);
}
