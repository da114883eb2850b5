// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "measure.h"

#include <opencv2/core/mat.hpp>
#include <opencv2/imgproc.hpp>

// OpenCV's float conversion of the whole of an 8-bit `picture` to L*a*b* with `code`: the work
// most figures are measured against. Its buffers are freed before every round.
Timed floatLabConversion(const cv::Mat &picture, cv::ColorConversionCodes code);
