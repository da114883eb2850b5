// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labencoding.h"

#include <QWidget>

class QChart;

// The plots of a chart reading, in a window of their own: the a*b* plane with an arrow from each
// reference to its measurement, and a bar per patch of its ΔE2000, each in the patch's colour.
class ChartPlots : public QWidget {
    Q_OBJECT

public:
    explicit ChartPlots(QWidget *parent = nullptr);

    void setPatches(const std::vector<PatchComparison> &patches, LabEncoding encoding);

    QChart *abPlane() const { return abChart; }
    QChart *differences() const { return deltaChart; }

private:
    QChart *abChart = nullptr;
    QChart *deltaChart = nullptr;
};
