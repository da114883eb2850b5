// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labspace.h"

#include <QString>

// Which L*a*b* numbers in `space` are, in words for exported files: "ICC D50, relative
// colorimetric, profile "ProPhoto RGB"", "OpenCV, D65, linear light" or "OpenCV, D65, sRGB".
// A profile without a description is named as unnamed.
QString labSpaceLabel(const LabSpace &space);
