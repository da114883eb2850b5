// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labencoding.h"
#include "plotcolours.h"

#include <QColor>
#include <QWidget>

class QCategoryAxis;
class QChart;

// The plots of a chart reading, in a window of their own: the a*b* plane with each patch's
// target (its reference) and measured value joined by an arrow in the patch's colour, and a bar
// per patch of its ΔE2000 in the patch's colour, over the patch numbers.
class ChartPlots : public QWidget {
    Q_OBJECT

public:
    static inline const QColor targetColour = targetPlotColour;
    static inline const QColor measuredColour = measuredPlotColour;

    explicit ChartPlots(QWidget *parent = nullptr);

    void setPatches(const std::vector<PatchComparison> &patches, LabEncoding encoding);

    QChart *abPlane() const { return abChart; }
    QChart *differences() const { return deltaChart; }

private:
    void drawPlane(const std::vector<PatchComparison> &patches, LabEncoding encoding);
    void drawDifferences(const std::vector<PatchComparison> &patches, LabEncoding encoding);
    // Labels every n-th patch, as many as the plot's width holds uncut.
    void labelPatches();

    QChart *abChart = nullptr;
    QChart *deltaChart = nullptr;
    QCategoryAxis *patchAxis = nullptr;
    int patchCount = 0;
    int labelStep = 0;
};
