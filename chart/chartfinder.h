// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"
#include "labspace.h"
#include "patchgrid.h"
#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <array>
#include <functional>
#include <optional>
#include <vector>

// The charts the finder knows, as OpenCV's mcc detector models them.
enum class ChartKind { ColorChecker24, ColorCheckerSG, Vinyl18 };

struct ChartKindInfo {
    // "ColorChecker Classic 24" and the like, for the user.
    QString name;
    // The layout of the patch field as the grid reads it: patch 1 first, row by row.
    int rows = 0;
    int columns = 0;

    int patchCount() const { return rows * columns; }
};

ChartKindInfo chartKindInfo(ChartKind kind);
// Every kind, in the order the finder tries them.
const std::array<ChartKind, 3> &knownChartKinds();
// The kind whose patch count is `patchCount`, if any.
std::optional<ChartKind> chartKindWithPatchCount(int patchCount);

// The L*a*b* of each area of the grid, as the caller's current encoding or colour pipeline
// reads it (for example measurePatches' means); nothing for an area it could not read.
using PatchLabReader =
    std::function<std::vector<std::optional<cv::Vec3d>>(const std::vector<PatchArea> &)>;

// A reader through the patch measurement in `space`.
PatchLabReader patchLabReader(const cv::Mat &image, const LabSpace &space);

struct ChartFindOptions {
    // The kinds to look for, tried in this order until one is found; empty means all.
    std::vector<ChartKind> kinds;
    // With a reference (one L*a*b* per patch, in the chart's order) and a reader, the chart's
    // orientation is the one whose mean ΔE2000 to the reference is smallest; otherwise the
    // detector's own.
    const ChartReference *reference = nullptr;
    PatchLabReader readPatches;
    // The inset of the grid that reads the patches when choosing the orientation.
    double insetPercent = 25;
};

struct FoundChart {
    ChartKind kind = ChartKind::ColorChecker24;
    int rows = 0;
    int columns = 0;
    // The patch field in image pixels, half a gap outside the outer patches: corner 0 at
    // patch 1, rows run towards corner 1 and columns towards corner 3.
    std::array<cv::Point2d, 4> corners;
    // Whether the patch centres were measured at full size; false when the detector's outline
    // is all there is (the Vinyl chart, whose rows are unequal, or too few patches found).
    bool refined = false;
    // Whether the reference chose the orientation, and its mean ΔE2000 in that orientation.
    bool orientedByReference = false;
    double meanDeltaE2000 = 0;

    // The corners rounded to whole pixels, as the Chart dock holds them.
    Quad quad() const;
    GridLayout layout(double insetPercent) const { return {rows, columns, insetPercent}; }
};

struct ChartSearch {
    std::optional<FoundChart> chart;
    // Why there is no chart, for the user; empty when one was found.
    QString problem;
};

// Finds a chart in `image` (8- or 16-bit unsigned or float, grey, BGR or BGRA). The detector
// runs on a copy reduced to about a thousand pixels across, and the patch centres it predicts
// are then measured in the full-size picture. "No chart found" in `problem` when none of the
// kinds is found, or for an image the detector cannot take.
ChartSearch findChart(const cv::Mat &image, const ChartFindOptions &options = {});

// "ColorChecker Classic 24 (4 x 6) at (x, y), (x, y), (x, y), (x, y)", for the status bar.
QString foundChartText(const FoundChart &chart);
