// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cvtransform.h"
#include "quad.h"

#include <opencv2/core/mat.hpp>

// The square the warp maps the corners onto: centred in an image of the given size, its side the
// shorter dimension truncated to an even number. Along an even shorter dimension it reaches one
// past the last pixel.
Quad warpTargetCorners(const cv::Size &imageSize);

// True when no two corners coincide and no three lie on one line, the condition for four point
// pairs to define a perspective transform.
bool isPerspectiveQuad(const Quad &quad);

// Computes into `transform` the perspective transform taking corner i of `from` onto corner i of
// `to`. False, with `transform` untouched, when either quadrilateral is degenerate or the
// library's matrix is not finite and invertible.
bool computePerspective(const Quad &from, const Quad &to, CVTransform &transform);

// Warps `source` so that `from` lands on `to`, into `destination`, which must already have the
// size wanted and the type of `source` (see CVTransform::apply). False, with `destination`
// untouched, when computePerspective refuses the quadrilaterals.
bool warpQuadOnto(const cv::Mat &source, const Quad &from, const Quad &to, cv::Mat &destination);
