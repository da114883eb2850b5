// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesreportwindow.h"

#include "plotcolours.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Lines of the a*b* plane drawn at most; a longer series shows every n-th file's line.
constexpr std::size_t maxJoiningLines = 400;

double niceWidth(double roughWidth) {
    const double power = std::pow(10.0, std::floor(std::log10(roughWidth)));
    for (const double step : {1.0, 2.0, 5.0})
        if (step * power >= roughWidth)
            return step * power;
    return 10 * power;
}

QChartView *viewOf(QChart *chart) {
    auto *view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(420, 360);
    return view;
}

// Puts a fresh chart with the title of the old one into the view, and deletes the old one.
QChart *freshChart(QChartView *view) {
    QChart *old = view->chart();
    auto *chart = new QChart;
    chart->setTitle(old->title());
    view->setChart(chart);
    delete old;
    return chart;
}

// The range of a*, or of b*, over the targets and measured values, with a margin.
std::pair<double, double> rangeOf(const std::vector<SeriesPoint> &points, int channel) {
    double low = 0;
    double high = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        for (const float value : {points[i].target[channel], points[i].measured[channel]}) {
            low = i == 0 ? value : std::min<double>(low, value);
            high = i == 0 ? value : std::max<double>(high, value);
        }
    const double margin = std::max(1.0, (high - low) * 0.05);
    return {low - margin, high + margin};
}

} // namespace

DeltaEHistogram deltaEHistogram(const std::vector<SeriesPoint> &points, int maxBins) {
    DeltaEHistogram histogram;
    if (points.empty() || maxBins < 1)
        return histogram;
    std::vector<double> deltaEs;
    deltaEs.reserve(points.size());
    for (const SeriesPoint &point : points)
        deltaEs.push_back(cv::norm(cv::Vec3d(point.measured) - cv::Vec3d(point.target)));
    const double largest = *std::max_element(deltaEs.begin(), deltaEs.end());
    histogram.binWidth = niceWidth(std::max(largest, 1e-3) / maxBins);
    const int bins =
        std::clamp(static_cast<int>(std::floor(largest / histogram.binWidth)) + 1, 1, maxBins);
    histogram.counts.assign(static_cast<std::size_t>(bins), 0);
    for (const double deltaE : deltaEs)
        ++histogram.counts[static_cast<std::size_t>(
            std::min(bins - 1, static_cast<int>(deltaE / histogram.binWidth)))];
    return histogram;
}

SeriesReportWindow::SeriesReportWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), summary(new QLabel), histogram(new QChart), plane(new QChart) {
    histogramView = viewOf(histogram);
    planeView = viewOf(plane);
    setWindowTitle(tr("Reference Series Report"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    histogram->setTitle(tr("ΔE76 of the files from their names"));
    histogram->legend()->hide();
    plane->setTitle(tr("a*b* plane: target and measured value of each file"));

    auto *charts = new QHBoxLayout;
    charts->addWidget(histogramView);
    charts->addWidget(planeView);
    auto *layout = new QVBoxLayout;
    layout->addWidget(summary);
    layout->addLayout(charts, 1);
    setLayout(layout);
}

void SeriesReportWindow::showResult(const SeriesResult &result) {
    summary->setText(tr("%1 of %2 files written to %3. ΔE76 from their names: mean %4, "
                        "maximum %5. Out of gamut: %6. Off target: %7.")
                         .arg(result.written)
                         .arg(result.total)
                         .arg(QDir::toNativeSeparators(result.folder))
                         .arg(result.meanDeltaE76, 0, 'f', 2)
                         .arg(result.maxDeltaE76, 0, 'f', 2)
                         .arg(result.outOfGamut)
                         .arg(result.offTarget));

    histogram = freshChart(histogramView);
    histogram->legend()->hide();
    const DeltaEHistogram bins = deltaEHistogram(result.points);
    auto *set = new QBarSet(tr("Files"));
    QStringList categories;
    // Plain decimals, as many as the bin width needs, and upright so that none is cut.
    const int decimals =
        bins.counts.empty() ? 0
                            : std::max(0, -static_cast<int>(std::floor(std::log10(bins.binWidth))));
    for (std::size_t i = 0; i < bins.counts.size(); ++i) {
        *set << bins.counts[i];
        categories << QString::number(static_cast<double>(i) * bins.binWidth, 'f', decimals);
    }
    if (bins.counts.empty())
        *set << 0;
    auto *bars = new QBarSeries;
    bars->setBarWidth(1.0);
    bars->append(set);
    histogram->addSeries(bars);
    auto *binAxis = new QBarCategoryAxis;
    binAxis->append(categories);
    binAxis->setLabelsAngle(-90);
    binAxis->setTitleText(tr("ΔE76 from (bin start)"));
    auto *countAxis = new QValueAxis;
    countAxis->setTitleText(tr("Files"));
    countAxis->setLabelFormat(QStringLiteral("%d"));
    histogram->addAxis(binAxis, Qt::AlignBottom);
    histogram->addAxis(countAxis, Qt::AlignLeft);
    bars->attachAxis(binAxis);
    bars->attachAxis(countAxis);
    // Whole numbers of files on the axis.
    const int most = std::max(1, *std::max_element(bins.counts.begin(), bins.counts.end()));
    countAxis->setRange(0, most);
    if (most <= 10)
        countAxis->setTickCount(most + 1);
    else
        countAxis->applyNiceNumbers();

    plane = freshChart(planeView);
    auto *targets = new QScatterSeries;
    targets->setName(tr("Target"));
    targets->setMarkerSize(7);
    targets->setColor(targetPlotColour);
    auto *measured = new QScatterSeries;
    measured->setName(tr("Measured"));
    measured->setMarkerSize(5);
    measured->setColor(measuredPlotColour);
    std::vector<QLineSeries *> lines;
    const std::size_t every = result.points.size() / maxJoiningLines + 1;
    for (std::size_t i = 0; i < result.points.size(); ++i) {
        const SeriesPoint &point = result.points[i];
        targets->append(point.target[1], point.target[2]);
        measured->append(point.measured[1], point.measured[2]);
        if (i % every != 0)
            continue;
        auto *line = new QLineSeries;
        line->append(point.target[1], point.target[2]);
        line->append(point.measured[1], point.measured[2]);
        line->setColor(Qt::gray);
        lines.push_back(line);
    }
    auto *aAxis = new QValueAxis;
    aAxis->setTitleText(QStringLiteral("a*"));
    const auto [aLow, aHigh] = rangeOf(result.points, 1);
    aAxis->setRange(aLow, aHigh);
    auto *bAxis = new QValueAxis;
    bAxis->setTitleText(QStringLiteral("b*"));
    const auto [bLow, bHigh] = rangeOf(result.points, 2);
    bAxis->setRange(bLow, bHigh);
    plane->addAxis(aAxis, Qt::AlignBottom);
    plane->addAxis(bAxis, Qt::AlignLeft);
    for (QLineSeries *line : lines) {
        plane->addSeries(line);
        line->attachAxis(aAxis);
        line->attachAxis(bAxis);
    }
    for (QScatterSeries *series : {targets, measured}) {
        plane->addSeries(series);
        series->attachAxis(aAxis);
        series->attachAxis(bAxis);
    }
    // Only the two kinds of point are named in the legend.
    for (QLegendMarker *marker : plane->legend()->markers())
        marker->setVisible(marker->series() == targets || marker->series() == measured);
}
