// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"

#include <opencv2/core/hal/interface.h>

#include <cstddef>
#include <vector>

// Which 8-bit Lab codes (OpenCV's encoding: L* x 255 / 100, a* + 128, b* + 128) lie outside the
// RGB cube: their exact conversion back to BGR (OpenCV's D65 white and sRGB primaries) has a
// channel below 0 or above 1, which OpenCV's conversion clips without a word. A re-coloured
// pixel there does not hold its Lab code. The cube is the same for the linear and the sRGB
// encoding, whose curves map 0..1 onto 0..1.
//
// One bit per code (2 MB), computed once per process on first need.
class RgbGamut {
public:
    static const RgbGamut &of(LabEncoding encoding);

    bool outside(uchar l, uchar a, uchar b) const {
        const std::size_t code = std::size_t{l} << 16 | std::size_t{a} << 8 | b;
        return bits[code >> 3] >> (code & 7) & 1;
    }

private:
    RgbGamut();

    std::vector<uchar> bits;
};
