// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"

#include <string>

// The L*a*b* of the demo chart's patches as drawn (chartColours, row by row), under the linear
// encoding the viewer starts with: OpenCV's float conversion of the 8-bit values / 255.
ChartReference demoChartReference();

// Where the reference of the demo photograph at `photoPath` lies: beside it, named after it,
// "DSC_1245_reference.txt" for "DSC_1245.tif".
std::string demoReferencePath(const std::string &photoPath);

// Writes demoChartReference() as a CGATS file to `path`, saying its encoding. False with the
// cause in `error` when the file cannot be written.
bool writeDemoReference(const std::string &path, std::string &error);

// Where the viewer looks for the demo photograph at start, under a drive root.
inline constexpr const char *demoPhotoInDrive =
    "Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif";

// Writes the demo photograph to `photoPath` and its reference beside it. False with the cause in
// `error` when either cannot be written.
bool writeDemoPhotoWithReference(const std::string &photoPath, std::string &error);
