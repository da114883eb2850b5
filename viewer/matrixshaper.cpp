// SPDX-License-Identifier: GPL-3.0-or-later
#include "matrixshaper.h"

#include "profilesignature.h"

#include <opencv2/core.hpp>
#include <opencv2/core/hal/intrin.hpp>

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
        for (int earlier = 0; earlier < c; ++earlier)
            if (made->encoded[earlier] == made->encoded[c]) {
                made->encodedBy[c] = earlier;
                break;
            }
    }
    return made;
}

void MatrixShaper::convert(unsigned char *bgra, int count) const {
    static_assert(steps <= 32768, "steps are clamped as 16-bit integers");
    // Read once: the stores to pixels could alias the members.
    const unsigned char *red = encoded[static_cast<std::size_t>(encodedBy[0])].data();
    const unsigned char *green = encoded[static_cast<std::size_t>(encodedBy[1])].data();
    const unsigned char *blue = encoded[static_cast<std::size_t>(encodedBy[2])].data();
    const cv::v_float32x4 half = cv::v_setall_f32(0.5f);
    const cv::v_int16x8 low = cv::v_setzero_s16();
    const cv::v_int16x8 high = cv::v_setall_s16(steps - 1);
    // A pixel's three columns are summed as one vector.
    for (unsigned char *pixel = bgra; pixel != bgra + 4 * count; pixel += 4) {
        const cv::v_float32x4 sum = cv::v_load_aligned(columns[0][pixel[2]].rgb) +
                                    cv::v_load_aligned(columns[1][pixel[1]].rgb) +
                                    cv::v_load_aligned(columns[2][pixel[0]].rgb) + half;
        // Clamped without branches, as out-of-gamut colours come in runs no branch predictor
        // follows, and as 16-bit integers, which SSE2 clamps in one instruction each.
        const cv::v_int32x4 whole = cv::v_trunc(sum);
        short at[8];
        cv::v_store(at, cv::v_min(cv::v_max(cv::v_pack(whole, whole), low), high));
        pixel[2] = red[at[0]];
        pixel[1] = green[at[1]];
        pixel[0] = blue[at[2]];
    }
}
