// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labmeasurement.h"
#include "patchgrid.h"

#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

// The pixels of `area` in `image`: those inside the quadrilateral, drawn with cv::fillConvexPoly
// at 1/16 pixel precision, within its bounding rectangle clipped to the image. Empty when no
// pixel lies inside. `mask` (CV_8UC1 of the rectangle's size) is filled when given.
cv::Rect patchBounds(const PatchArea &area, const cv::Size &imageSize);
cv::Mat patchMask(const PatchArea &area, const cv::Rect &bounds);

// The L*a*b* statistics of each area's pixels, in the order of `areas`; nothing for an area
// holding no pixel. Costs the areas' bounding rectangles, never the whole image.
std::vector<std::optional<LabStats>>
measurePatches(const cv::Mat &image, const std::vector<PatchArea> &areas, const LabSpace &space);
