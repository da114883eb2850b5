// SPDX-License-Identifier: GPL-3.0-or-later
#include "matrixshaperinverse.h"

#include <lcms2_plugin.h>

#include <cstdint>
#include <cstring>

namespace {

// Little CMS's float XYZ, 1.0 at the top of its 1.15 fixed-point encoding.
constexpr double maxEncodableXyz = 1.0 + 32767.0 / 32768.0;
// A reversed formula curve is read from a table indexed by the bits of the linear value: each
// octave from 2^-octaves to 1 splits into 2^segmentBits even intervals, so that no square root
// is taken per pixel. Interpolating a power 1/1.8 to 1/2.4 over an interval of 1/128 octave
// errs by at most 2e-6 of the value; below 2^-40 such a curve is under 3e-7.
constexpr int segmentBits = 7;
constexpr int octaves = 40;
constexpr int mantissaBits = 23;
constexpr int fractionBits = mantissaBits - segmentBits;
constexpr float lowestTabled = 0x1p-40f;
static_assert(octaves == 40, "lowestTabled is 2^-octaves");
constexpr int tabledIntervals = octaves << segmentBits;

inline std::uint32_t floatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float bitsFloat(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

struct CurveFreer {
    void operator()(cmsToneCurve *curve) const { cmsFreeToneCurve(curve); }
};

// The 16-bit code Little CMS reads a float at: v x 65535 + 0.5 rounded to 1/65536 (adding
// 1.5 x 2^36 leaves 16 bits of fraction), then truncated, in the range 0..65535.
inline int littleCmsCode(float value) {
    constexpr double fractionRounder = 0x1.8p36;
    const double scaled = (value * 65535.0 + 0.5 + fractionRounder) - fractionRounder;
    return scaled >= 65535.0 ? 65535 : static_cast<int>(scaled);
}

// cmsLab2XYZ's inverse of the L*a*b* function.
inline double labInverse(double t) {
    return t <= 24.0 / 116.0 ? 108.0 / 841.0 * (t - 16.0 / 116.0) : t * t * t;
}

} // namespace

std::unique_ptr<const MatrixShaperInverse>
MatrixShaperInverse::make(const cmsToneCurve *const (&curves)[3], const double (&colorants)[3][3]) {
    cmsMAT3 forward;
    for (int row = 0; row < 3; ++row)
        _cmsVEC3init(&forward.v[row], colorants[row][0], colorants[row][1], colorants[row][2]);
    cmsMAT3 backward;
    if (!_cmsMAT3inverse(&forward, &backward))
        return nullptr;
    std::unique_ptr<MatrixShaperInverse> model(new MatrixShaperInverse);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            model->inverse[row][col] = backward.v[row].n[col] * maxEncodableXyz;
    for (int c = 0; c < 3; ++c) {
        const std::unique_ptr<cmsToneCurve, CurveFreer> reversed(cmsReverseToneCurve(curves[c]));
        if (!reversed)
            return nullptr;
        std::vector<float> &values = model->table[c];
        model->byCode[c] = cmsGetToneCurveParametricType(reversed.get()) == 0;
        if (model->byCode[c]) {
            values.resize(65536);
            for (int code = 0; code < 65536; ++code)
                values[static_cast<std::size_t>(code)] = static_cast<float>(
                    cmsEvalToneCurve16(reversed.get(), static_cast<cmsUInt16Number>(code)) /
                    65535.0);
        } else {
            values.resize(tabledIntervals + 2);
            const std::uint32_t lowestBits = floatBits(lowestTabled);
            for (int node = 0; node <= tabledIntervals; ++node)
                values[static_cast<std::size_t>(node)] = cmsEvalToneCurveFloat(
                    reversed.get(),
                    bitsFloat(lowestBits + (static_cast<std::uint32_t>(node) << fractionBits)));
            // Read, times zero, by the interpolation at exactly 1.
            values[tabledIntervals + 1] = values[tabledIntervals];
            model->atZero[c] = cmsEvalToneCurveFloat(reversed.get(), 0.0f);
        }
    }
    return model;
}

inline float MatrixShaperInverse::device(int c, float linear) const {
    const float *values = table[c].data();
    if (byCode[c])
        return values[littleCmsCode(linear)];
    // Also -0, whose bits would read far past the table.
    if (!(linear >= lowestTabled))
        return atZero[c] + linear * (1.0f / lowestTabled) * (values[0] - atZero[c]);
    const std::uint32_t offset = floatBits(linear) - floatBits(lowestTabled);
    const std::uint32_t node = offset >> fractionBits;
    const float fraction =
        static_cast<float>(offset & ((1U << fractionBits) - 1)) * (1.0f / (1U << fractionBits));
    return values[node] + fraction * (values[node + 1] - values[node]);
}

void MatrixShaperInverse::convert(const cv::Vec3f *lab, cv::Vec3f *bgr, int count,
                                  cmsHTRANSFORM fallback) const {
    for (int x = 0; x < count; ++x) {
        // Rounded to float where Little CMS keeps float: its L*a*b* encoding (a* + 128 and
        // b* + 128 summed in float) and its XYZ; then XYZ as cmsLab2XYZ makes it, under D50.
        // Little CMS divides where this multiplies by the reciprocal: the two differ at most in
        // the last bit of a double, which moves the float only when the quotient lies that
        // close to a float's rounding boundary.
        const double lightness = static_cast<float>(lab[x][0] * (1 / 100.0)) * 100.0;
        const double a = static_cast<float>((lab[x][1] + 128.0f) * (1 / 255.0)) * 255.0 - 128.0;
        const double b = static_cast<float>((lab[x][2] + 128.0f) * (1 / 255.0)) * 255.0 - 128.0;
        const double fy = (lightness + 16.0) * (1 / 116.0);
        const double encoded[3] = {
            static_cast<float>(labInverse(fy + 0.002 * a) * (cmsD50X / maxEncodableXyz)),
            static_cast<float>(labInverse(fy) * (cmsD50Y / maxEncodableXyz)),
            static_cast<float>(labInverse(fy - 0.005 * b) * (cmsD50Z / maxEncodableXyz))};
        float linear[3];
        bool inside = true;
        for (int c = 0; c < 3; ++c) {
            linear[c] = static_cast<float>(encoded[0] * inverse[c][0] + encoded[1] * inverse[c][1] +
                                           encoded[2] * inverse[c][2]);
            inside = inside && linear[c] >= 0.0f && linear[c] <= 1.0f;
        }
        if (inside)
            bgr[x] = cv::Vec3f(device(2, linear[2]), device(1, linear[1]), device(0, linear[0]));
        else
            cmsDoTransform(fallback, &lab[x], &bgr[x], 1);
    }
}
