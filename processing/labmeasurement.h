// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labspace.h"

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>

// Floating-point L*a*b* of pictures as stored, in the L*a*b* of a LabSpace (see
// LabSpace::toLab): 8-bit values are divided by 255, 16-bit ones by 65535, float values are
// taken as they are; a fourth channel (alpha) is ignored; grey converts through a grey profile,
// otherwise as three equal channels.

// Mean and population standard deviation of L*, a* and b* over `count` pixels.
struct LabStats {
    cv::Vec3d mean;
    cv::Vec3d stdDev;
    std::int64_t count = 0;
};

// 8- or 16-bit unsigned, 32- or 64-bit float, with one, three or four channels.
bool isLabMeasurable(int type);

// The float L*a*b* picture (CV_32FC3) of `part`; empty for a type that is not measurable or
// channels that `space` does not convert.
cv::Mat floatLab(const cv::Mat &part, const LabSpace &space);

// The L*a*b* of one pixel; nothing for a point outside the image, a type not measurable or
// channels that `space` does not convert.
std::optional<cv::Vec3d> pixelLab(const cv::Mat &image, const cv::Point &point,
                                  const LabSpace &space);

// The statistics of the pixels of `rect`, or of those where `mask` (CV_8UC1 of the rectangle's
// size) is non-zero. Costs the rectangle alone: an 8-bit BGR rectangle whose colours repeat is
// converted once per distinct colour, any other strip by strip in parallel. Nothing for an empty
// rectangle or one not inside the image, a mask of another size or type, no selected pixel, or
// a type not measurable or channels that `space` does not convert.
std::optional<LabStats> measureLab(const cv::Mat &image, const cv::Rect &rect,
                                   const LabSpace &space, const cv::Mat &mask = cv::Mat());
