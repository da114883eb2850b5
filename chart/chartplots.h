// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcomparison.h"
#include "labencoding.h"

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
    // Targets and measured values keep these colours in every plot: the first two of Qt
    // Charts' default theme.
    static inline const QColor targetColour = QColor(0x20, 0x9f, 0xdf);
    static inline const QColor measuredColour = QColor(0x99, 0xca, 0x53);

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
