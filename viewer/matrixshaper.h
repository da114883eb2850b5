// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lcms2.h>

#include <array>
#include <memory>

// The 8-bit conversion between two RGB matrix-shaper profiles that Little CMS makes (relative
// colorimetric, no black point compensation), in float tables: a curve per channel into linear
// light, one 3x3 matrix, a curve per channel out. Several times faster than Little CMS's own
// 8-bit path, which is what makes converting every paint affordable.
class MatrixShaper {
public:
    // Null unless both are RGB profiles built from colorants and curves only.
    static std::unique_ptr<const MatrixShaper> between(cmsHPROFILE source, cmsHPROFILE screen);

    // Converts `count` BGRA pixels in place; the fourth byte is left as it is.
    void convert(unsigned char *bgra, int count) const;

private:
    MatrixShaper() = default;

    // Per source channel and 8-bit code: its linear light times the matrix's column, in steps
    // of `encoded`, so that a pixel's screen linear RGB is the sum of three of them.
    struct alignas(16) Column {
        float rgb[4];
    };
    std::array<std::array<Column, 256>, 3> columns{};
    // Screen code per step of linear light; fine enough for sRGB's steep start.
    static constexpr int steps = 16384;
    std::array<std::array<unsigned char, steps>, 3> encoded{};
    // The table each screen channel reads: the first of equal ones, so that a screen whose
    // channels share a curve, as most do, reads one table and keeps it in the first-level cache.
    std::array<int, 3> encodedBy{0, 1, 2};
};
