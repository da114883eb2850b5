// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <vector>

// Packs 8-bit BGR colours (CV_8UC3, read in order; padding past `count` is ignored) as
// B | G << 8 | R << 16 into `packed`, which keeps its storage between calls.
void packBgr(const cv::Mat &colours, int count, std::vector<std::uint32_t> &packed);
// The same into `count` places from `packed` on.
void packBgr(const cv::Mat &colours, int count, std::uint32_t *packed);

// Sets each pixel of `rect` in `picture` (CV_8UC3) to the packed colour at its place in the
// palette: `index` is rect-sized (CV_32S), every entry a valid position in `colours`.
void fillFromPalette(cv::Mat &picture, const cv::Rect &rect, const cv::Mat &index,
                     const std::vector<std::uint32_t> &colours);
