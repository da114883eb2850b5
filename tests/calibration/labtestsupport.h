// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"
#include "meanlabadjustment.h"

#include <opencv2/core/mat.hpp>

// The mean Lab adjustment done the plain way, to hold the fast one against: the whole source to
// Lab, the rectangle scaled code by code (saturating; a channel of mean 0 stays 0), the whole
// image back, through OpenCV's linear or sRGB pair.
cv::Mat straightforwardAdjust(const cv::Mat &source, const cv::Rect &rect, const LabCodes &target,
                              LabEncoding encoding = LabEncoding::Linear);

// The source through the 8-bit Lab codes and back, as pixels outside the rectangle come out.
cv::Mat labRoundTrip(const cv::Mat &source, LabEncoding encoding = LabEncoding::Linear);

// Same size, type and bytes.
bool identical(const cv::Mat &a, const cv::Mat &b);

// 8-bit BGR noise, the same for the same seed.
cv::Mat noisyImage(int rows, int cols, uint64 seed);

// Every pixel one of `count` random colours, so that Lab codes repeat; the same for the same seed.
cv::Mat imageOfColours(int rows, int cols, int count, uint64 seed);
