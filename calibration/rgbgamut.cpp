// SPDX-License-Identifier: GPL-3.0-or-later
#include "rgbgamut.h"

#include <opencv2/core.hpp>

#include <array>

namespace {

// OpenCV's D65 white and its XYZ to linear sRGB matrix, rows R, G, B.
constexpr std::array<double, 3> white{0.950456, 1.0, 1.088754};
constexpr std::array<double, 9> xyzToRgb{3.240479, -1.53715, -0.498535, -0.969256, 1.875991,
                                         0.041556, 0.055648, -0.204043, 1.057311};

// The inverse of CIE f(t), as OpenCV computes it.
double inverseF(double f) {
    constexpr double fThreshold = 7.787 * 0.008856 + 16.0 / 116.0;
    return f <= fThreshold ? (f - 16.0 / 116.0) / 7.787 : f * f * f;
}

// Linear values a channel may take: 0 to 1, with room for the rounding of the arithmetic only.
// (Half a code is too much room: near black it is several ΔE76.)
struct LinearRange {
    double low;
    double high;
};

constexpr LinearRange inCube{-1e-5, 1.0 + 1e-5};

bool outsideRange(const LinearRange &range, int lCode, int aCode, int bCode) {
    const double l = lCode * 100.0 / 255.0;
    double y = 0;
    double fy = 0;
    if (l <= 0.008856 * 903.3) {
        y = l / 903.3;
        fy = 7.787 * y + 16.0 / 116.0;
    } else {
        fy = (l + 16.0) / 116.0;
        y = fy * fy * fy;
    }
    const double x = inverseF(fy + (aCode - 128) / 500.0) * white[0];
    const double z = inverseF(fy - (bCode - 128) / 200.0) * white[2];
    for (int row = 0; row < 3; ++row) {
        const double v =
            xyzToRgb[3 * row] * x + xyzToRgb[3 * row + 1] * y + xyzToRgb[3 * row + 2] * z;
        if (v < range.low || v > range.high)
            return true;
    }
    return false;
}

} // namespace

const RgbGamut &RgbGamut::of(LabEncoding) {
    // Both encodings share the sRGB primaries and white; their curves map 0..1 onto 0..1.
    static const RgbGamut gamut;
    return gamut;
}

RgbGamut::RgbGamut() : bits(std::size_t{1} << 21) {
    const LinearRange range = inCube;
    // Each L* code fills its own 8 KB of bits.
    cv::parallel_for_(cv::Range(0, 256), [&](const cv::Range &planes) {
        for (int l = planes.start; l < planes.end; ++l)
            for (int a = 0; a < 256; ++a)
                for (int b = 0; b < 256; b += 8) {
                    uchar byte = 0;
                    for (int bit = 0; bit < 8; ++bit)
                        byte |= static_cast<uchar>(outsideRange(range, l, a, b + bit) << bit);
                    bits[(std::size_t{static_cast<std::size_t>(l)} << 13) |
                         (std::size_t{static_cast<std::size_t>(a)} << 5) |
                         static_cast<std::size_t>(b >> 3)] = byte;
                }
    });
}
