// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labspace.h"
#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

// The shading correction of the colour-managed mode, in floating point through `space` (its
// toLab and fromLab), on the same grid and with the same rule as shadingCorrected: each pixel's
// L* becomes L* x G / ref, at most 100, where G is the mean of the cell means and ref the pixel's
// local reference interpolated from the cells around it; where ref is 0 the pixel keeps its L*.
// No step rounds to a code.
//
// `picture`: 8- or 16-bit unsigned or 32- or 64-bit float, one, three or four channels (BGR(A));
// the result has its depth, alpha kept, and the channels of the space's profile (a grey picture
// in an RGB profile becomes three equal channels). Only the grid's pixels change; the others are
// copied as they are. Empty, with the reason in `problem` when given, for another type, a
// picture `space` does not convert, a region with no whole cell or not inside the picture, or a
// profile with no way back from L*a*b*.
cv::Mat floatShadingCorrected(const cv::Mat &picture, const Quad &corners, int cellSize,
                              const LabSpace &space, QString *problem = nullptr);
