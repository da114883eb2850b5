// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labmeasurement.h"

#include <QString>
#include <opencv2/core/mat.hpp>

// The words and figures the read-outs show. Numbers use ASCII digits, point and minus; a value
// that rounds to zero is written without a sign.

// "L* 52.3 a* -4.1 b* 20.0".
QString labText(const cv::Vec3d &lab);

// One decimal.
QString oneDecimal(double value);

// The stored values of one pixel in the image's own depth, named by channel: "R 200 G 12 B 7"
// (stored blue-green-red), "Grey 128", "R .. G .. B .. A ..", float values with three decimals.
// Empty for a point outside the image.
QString pixelValuesText(const cv::Mat &image, const cv::Point &point);

// "6000 × 4000, 8-bit BGR": size, depth and channels. Empty for an empty image.
QString imageFormatText(const cv::Mat &image);

// Mean L*, a*, b*, their standard deviations (one decimal each) and the pixel count, separated
// by tabs.
QString measurementLine(const LabStats &stats);
