// SPDX-License-Identifier: GPL-3.0-or-later
#include "matrixshaperinverse.h"

#include <lcms2_plugin.h>

#include <algorithm>
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
constexpr float lowestTabled = 1.0f / static_cast<float>(std::uint64_t{1} << octaves);
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

// cmsLab2XYZ's inverse of the L*a*b* function. Both sides are computed, so that choosing one
// is a select the compiler can vectorise.
inline double labInverse(double t) {
    const double line = 108.0 / 841.0 * (t - 16.0 / 116.0);
    const double cube = t * t * t;
    return t <= 24.0 / 116.0 ? line : cube;
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
    // Colours go in blocks: first to linear values, in a loop without branches that the
    // compiler vectorises, then through the curves one by one.
    constexpr int block = 256;
    alignas(16) float channel[3][block];
    alignas(16) float linear[3][block];
    const double(&m)[3][3] = inverse;
    for (int start = 0; start < count; start += block) {
        const int n = std::min(block, count - start);
        for (int x = 0; x < n; ++x)
            for (int c = 0; c < 3; ++c)
                channel[c][x] = lab[start + x][c];
        for (int x = 0; x < n; ++x) {
            // Rounded to float where Little CMS keeps float: its L*a*b* encoding (a* + 128 and
            // b* + 128 summed in float) and its XYZ; then XYZ as cmsLab2XYZ makes it, under D50.
            // Little CMS divides where this multiplies by the reciprocal: the two differ at most
            // in the last bit of a double, which moves the float only when the quotient lies
            // that close to a float's rounding boundary.
            const double lightness = static_cast<float>(channel[0][x] * (1 / 100.0)) * 100.0;
            const double a =
                static_cast<float>((channel[1][x] + 128.0f) * (1 / 255.0)) * 255.0 - 128.0;
            const double b =
                static_cast<float>((channel[2][x] + 128.0f) * (1 / 255.0)) * 255.0 - 128.0;
            const double fy = (lightness + 16.0) * (1 / 116.0);
            const double encodedX =
                static_cast<float>(labInverse(fy + 0.002 * a) * (cmsD50X / maxEncodableXyz));
            const double encodedY =
                static_cast<float>(labInverse(fy) * (cmsD50Y / maxEncodableXyz));
            const double encodedZ =
                static_cast<float>(labInverse(fy - 0.005 * b) * (cmsD50Z / maxEncodableXyz));
            linear[0][x] =
                static_cast<float>(encodedX * m[0][0] + encodedY * m[0][1] + encodedZ * m[0][2]);
            linear[1][x] =
                static_cast<float>(encodedX * m[1][0] + encodedY * m[1][1] + encodedZ * m[1][2]);
            linear[2][x] =
                static_cast<float>(encodedX * m[2][0] + encodedY * m[2][1] + encodedZ * m[2][2]);
        }
        for (int x = 0; x < n; ++x) {
            const float r = linear[0][x];
            const float g = linear[1][x];
            const float b = linear[2][x];
            if ((r >= 0.0f) & (r <= 1.0f) & (g >= 0.0f) & (g <= 1.0f) & (b >= 0.0f) & (b <= 1.0f))
                bgr[start + x] = cv::Vec3f(device(2, b), device(1, g), device(0, r));
            else
                cmsDoTransform(fallback, &lab[start + x], &bgr[start + x], 1);
        }
    }
}
