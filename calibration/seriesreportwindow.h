// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "seriesrun.h"

#include <QWidget>

#include <vector>

class QChart;
class QChartView;
class QLabel;

// ΔE76 of the files in bins of one width, from 0 up to the largest.
struct DeltaEHistogram {
    double binWidth = 0;
    std::vector<int> counts;
};

// At most `maxBins` bins of a width of 1, 2 or 5 times a power of ten.
DeltaEHistogram deltaEHistogram(const std::vector<SeriesPoint> &points, int maxBins = 12);

// What a finished series' files hold: a summary, a histogram of their ΔE76 from their names, and
// the a*b* plane with each file's target and measured value joined by a line.
class SeriesReportWindow : public QWidget {
    Q_OBJECT

public:
    explicit SeriesReportWindow(QWidget *parent = nullptr);

    void showResult(const SeriesResult &result);

    QChart *histogramChart() const { return histogram; }
    QChart *planeChart() const { return plane; }

private:
    QLabel *summary;
    QChartView *histogramView;
    QChartView *planeView;
    QChart *histogram;
    QChart *plane;
};
