// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lcms2.h>
#include <opencv2/core/matx.hpp>

#include <memory>
#include <vector>

// ICC L*a*b* (D50) to the float device values of a matrix/shaper RGB profile, computed as
// Little CMS's own float transform computes them: L*a*b* to XYZ, the inverse of the colorant
// matrix, then each channel's reversed tone curve, read from a table. Pixels whose linear
// values fall outside 0..1 are left to Little CMS, which decides how each curve extends there.
class MatrixShaperInverse {
public:
    // `colorants`: rows X, Y, Z, columns R, G, B. Empty when the matrix is singular or a
    // curve cannot be reversed, as Little CMS then makes no way back either.
    static std::unique_ptr<const MatrixShaperInverse> make(const cmsToneCurve *const (&curves)[3],
                                                           const double (&colorants)[3][3]);

    // `count` pixels of L*a*b* to BGR; the pixels outside go through `fallback`, Little CMS's
    // float transform from L*a*b* to the profile, made without its cache.
    void convert(const cv::Vec3f *lab, cv::Vec3f *bgr, int count, cmsHTRANSFORM fallback) const;

private:
    MatrixShaperInverse() = default;

    // Linear value to device value of channel `c` (R, G, B), for 0 <= linear <= 1.
    float device(int c, float linear) const;

    // Rows R, G, B; columns X, Y, Z as Little CMS scales them in float (over 1 + 32767/32768).
    double inverse[3][3];
    // A reversed curve that is a formula: its values at points evenly spaced within each octave,
    // so that the steep dark end is as finely read as the rest, and its value at 0. A reversed
    // table: its values at every 16-bit code, as Little CMS reads such a curve in float.
    bool byCode[3];
    std::vector<float> table[3];
    float atZero[3];
};
