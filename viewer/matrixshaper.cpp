// SPDX-License-Identifier: GPL-3.0-or-later
#include "matrixshaper.h"

#include "profilesignature.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr cmsTagSignature curveTags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
constexpr cmsTagSignature colorantTags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                             cmsSigBlueColorantTag};

bool plainMatrixShaper(cmsHPROFILE profile, cmsUInt32Number direction) {
    return profileColourSpace(profile) == cmsSigRgbData && cmsIsMatrixShaper(profile) &&
           !cmsIsCLUT(profile, INTENT_RELATIVE_COLORIMETRIC, direction);
}

// Columns: the XYZ of the profile's red, green and blue.
bool colorants(cmsHPROFILE profile, cv::Matx33d &matrix) {
    for (int c = 0; c < 3; ++c) {
        const auto *xyz = static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, colorantTags[c]));
        if (!xyz)
            return false;
        matrix(0, c) = xyz->X;
        matrix(1, c) = xyz->Y;
        matrix(2, c) = xyz->Z;
    }
    return true;
}

} // namespace

std::unique_ptr<const MatrixShaper> MatrixShaper::between(cmsHPROFILE source, cmsHPROFILE screen) {
    cv::Matx33d from;
    cv::Matx33d to;
    if (!plainMatrixShaper(source, LCMS_USED_AS_INPUT) ||
        !plainMatrixShaper(screen, LCMS_USED_AS_OUTPUT) || !colorants(source, from) ||
        !colorants(screen, to) || std::abs(cv::determinant(to)) < 1e-9)
        return nullptr;
    std::unique_ptr<MatrixShaper> made(new MatrixShaper);
    const cv::Matx33d toScreen = to.inv() * from;
    for (int c = 0; c < 3; ++c) {
        const auto *in = static_cast<const cmsToneCurve *>(cmsReadTag(source, curveTags[c]));
        const auto *out = static_cast<const cmsToneCurve *>(cmsReadTag(screen, curveTags[c]));
        cmsToneCurve *reversed = in && out ? cmsReverseToneCurve(out) : nullptr;
        if (!reversed)
            return nullptr;
        for (int code = 0; code < 256; ++code) {
            const double light = cmsEvalToneCurveFloat(in, static_cast<float>(code / 255.0));
            for (int k = 0; k < 3; ++k)
                made->columns[c][code].rgb[k] =
                    static_cast<float>(toScreen(k, c) * light * (steps - 1));
        }
        for (int step = 0; step < steps; ++step) {
            const float value = cmsEvalToneCurveFloat(reversed, step / float(steps - 1));
            made->encoded[c][step] =
                static_cast<unsigned char>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
        }
        cmsFreeToneCurve(reversed);
    }
    return made;
}

void MatrixShaper::convert(unsigned char *bgra, int count) const {
    // Clamped as integers, which compile to conditional moves: out-of-gamut colours come in
    // runs no branch predictor follows.
    const auto step = [](float value) {
        return std::min(std::max(static_cast<int>(value + 0.5f), 0), steps - 1);
    };
    for (unsigned char *pixel = bgra; pixel != bgra + 4 * count; pixel += 4) {
        const Column &r = columns[0][pixel[2]];
        const Column &g = columns[1][pixel[1]];
        const Column &b = columns[2][pixel[0]];
        float sum[4];
        for (int k = 0; k < 4; ++k)
            sum[k] = r.rgb[k] + g.rgb[k] + b.rgb[k];
        pixel[2] = encoded[0][step(sum[0])];
        pixel[1] = encoded[1][step(sum[1])];
        pixel[0] = encoded[2][step(sum[2])];
    }
}
