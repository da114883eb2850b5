// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patchgrid.h"

#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

// The device values of each patch as a camera profile is fitted to them: the mean R, G and B of
// the area's pixels (in that order), scaled to 0..1 (8-bit values / 255, 16-bit ones / 65535,
// float as they are; grey counts as three equal channels). Nothing for an area holding no pixel
// or an image type other than those.
std::vector<std::optional<cv::Vec3d>> readPatchRgb(const cv::Mat &image,
                                                   const std::vector<PatchArea> &areas);
