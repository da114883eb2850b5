// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

// The benchmarks' photograph: 6000 x 4000 pixels, 8-bit BGR, smooth colour gradients under an
// uneven light plus sensor-like noise. The same bytes on every run and every thread count.
cv::Mat syntheticPhotograph();
