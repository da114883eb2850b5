// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/matx.hpp>

// Colour differences between two L*a*b* values (L*, a*, b*).

// The Euclidean distance (CIE 1976).
double deltaE76(const cv::Vec3d &lab1, const cv::Vec3d &lab2);
// CIEDE2000 with kL = kC = kH = 1, through Little CMS.
double deltaE2000(const cv::Vec3d &lab1, const cv::Vec3d &lab2);
