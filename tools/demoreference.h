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
