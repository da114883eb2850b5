// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "quad.h"

#include <QString>
#include <opencv2/core/types.hpp>

#include <array>
#include <optional>
#include <vector>

// The patches of a chart as rows and columns laid over the corner quadrilateral through its
// perspective: patch (0, 0) lies at corner 0, rows run towards corner 1 and columns towards
// corner 3. Each patch is sampled inside its cell, away from the cell's borders by the inset.
struct GridLayout {
    static constexpr int minCount = 1;
    static constexpr int maxCount = 30;
    static constexpr double maxInsetPercent = 45;

    int rows = 4;
    int columns = 6;
    // Percent of a cell's side kept clear on each side.
    double insetPercent = 25;

    int patchCount() const { return rows * columns; }
};

// A sample area in image pixel coordinates (pixel centres on integers), its corners in the order
// of the quadrilateral's.
using PatchArea = std::array<cv::Point2d, 4>;

struct PatchGrid {
    // Row by row: patch (row, column) at index row * columns + column.
    std::vector<PatchArea> areas;
    // Why there is no grid, for the user; empty when there is one.
    QString problem;
};

// The sample areas of `layout` over `corners`. No area, and the cause in `problem`, when the
// layout is out of range or the quadrilateral is degenerate, crossed or not convex.
PatchGrid patchGrid(const Quad &corners, const GridLayout &layout);
