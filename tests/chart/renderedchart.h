// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"
#include "quad.h"

#include <opencv2/core/mat.hpp>

#include <array>
#include <string>
#include <vector>

// Charts photographed in software for the finder and profile tests: patches of given colours
// on a dark board, drawn flat, then seen through a perspective with optional blur, noise and a
// JPEG round trip.

// The chart maker's reference from Debian's argyll-ref, for example "ColorChecker.cie".
ChartReference makerReference(const std::string &name);

// The ColorChecker SG's patches as Argyll's target file for it lists them (XYZ to L*a*b*
// D50), row by row over its 10 rows of 14 columns.
ChartReference colorCheckerSgReference();

// ICC L*a*b* (D50) to sRGB (R, G, B in 0..1) through Little CMS's own transform.
std::vector<cv::Vec3d> srgbFromLab(const ChartReference &lab);

struct Photography {
    // Where the chart's outline lands: its top-left, bottom-left, bottom-right and top-right
    // as drawn (patch 1 at the top-left), in a 1600 x 1200 frame.
    std::array<cv::Point2f, 4> outline = {{{300, 250}, {300, 950}, {1300, 950}, {1300, 250}}};
    double blurSigma = 0;
    double noiseSigma = 0;
    // A JPEG round trip at this quality when above 0 (8-bit only).
    int jpegQuality = 0;
    int depth = CV_8U;
};

inline const std::array<cv::Point2f, 4> tiltedOutline = {
    {{330, 240}, {250, 960}, {1380, 1010}, {1290, 190}}};

// The outline turned half round: patch 1 at the bottom-right of the frame.
std::array<cv::Point2f, 4> turnedHalfRound(const std::array<cv::Point2f, 4> &outline);

struct ChartPhoto {
    // BGR of the photography's depth.
    cv::Mat image;
    // The patch field's corners, half a gap outside the outer patches, corner 0 at patch 1.
    std::array<cv::Point2d, 4> field;
};

// `colours` (R, G, B in 0..1) row by row over `rows` x `columns` patches.
ChartPhoto photographChart(const std::vector<cv::Vec3d> &colours, int rows, int columns,
                           const Photography &photography);

// The largest distance from a found corner to its true one, over the longer side of the field.
double cornerErrorFraction(const std::array<cv::Point2d, 4> &found,
                           const std::array<cv::Point2d, 4> &truth);
