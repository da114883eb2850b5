// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"

#include <QColor>
#include <opencv2/core/matx.hpp>

// The colour a patch of L*a*b* `lab` has on the canvas: back through the pictures' encoding to
// the values the canvas shows as they are, clamped to the displayable range.
QColor patchColour(const cv::Vec3d &lab, LabEncoding encoding);
