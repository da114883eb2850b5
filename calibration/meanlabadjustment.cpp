// SPDX-License-Identifier: GPL-3.0-or-later
#include "meanlabadjustment.h"

#include "distinctcodes.h"
#include "matconversion.h"
#include "palettefill.h"
#include "quad.h"
#include "rgbgamut.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

namespace {

constexpr std::size_t labCodeCount = std::size_t{256} * 256 * 256;

// The conversion of every 8-bit Lab code back to BGR in one encoding, three bytes at
// (L << 16 | a << 8 | b) x 3 (48 MB). OpenCV converts each pixel on its own, so a lookup gives
// the very bytes that converting any image holding that code gives, at the cost of a memory read.
std::vector<uchar> labToBgrTable(LabEncoding encoding) {
    constexpr int planesPerChunk = 16;
    std::vector<uchar> bgr(labCodeCount * 3);
    cv::Mat codes(planesPerChunk * 256, 256, CV_8UC3);
    for (int firstL = 0; firstL < 256; firstL += planesPerChunk) {
        for (int row = 0; row < codes.rows; ++row) {
            auto *pixel = codes.ptr<cv::Vec3b>(row);
            for (int b = 0; b < 256; ++b)
                pixel[b] = cv::Vec3b(static_cast<uchar>(firstL + row / 256),
                                     static_cast<uchar>(row % 256), static_cast<uchar>(b));
        }
        uchar *chunk = bgr.data() + static_cast<std::size_t>(firstL) * 256 * 256 * 3;
        cv::cvtColor(codes, cv::Mat(codes.size(), CV_8UC3, chunk), labToBgrConversion(encoding));
    }
    return bgr;
}

// Each encoding's table is built once per process, on its first use.
const uchar *labToBgr(LabEncoding encoding) {
    if (encoding == LabEncoding::Srgb) {
        static const std::vector<uchar> srgb = labToBgrTable(LabEncoding::Srgb);
        return srgb.data();
    }
    static const std::vector<uchar> linear = labToBgrTable(LabEncoding::Linear);
    return linear.data();
}

// f = target / mean; cut toward zero it is kept as a float, as the described arithmetic does. A
// mean of 0 means every code is 0, which stays 0 (target / 0 would be infinite).
double scaleFactor(double mean, double target, CodeRounding rounding) {
    if (mean <= 0)
        return 0;
    return rounding == CodeRounding::Truncate ? static_cast<float>(target / mean) : target / mean;
}

// f x code cut toward zero or rounded, before saturation.
double scaledCode(double factor, int code, CodeRounding rounding) {
    const double product = factor * code;
    return rounding == CodeRounding::Truncate ? std::trunc(product) : std::round(product);
}

// f x code for every code, saturated to 0..255.
std::array<uchar, 256> scaleTable(double mean, double target, CodeRounding rounding) {
    const double factor = scaleFactor(mean, target, rounding);
    std::array<uchar, 256> table;
    for (int code = 0; code < 256; ++code)
        table[code] =
            static_cast<uchar>(std::clamp(scaledCode(factor, code, rounding), 0.0, 255.0));
    return table;
}

// The lowest code whose scaled code is above 255; 256 when there is none.
int firstSaturatedCode(double mean, double target, CodeRounding rounding) {
    const double factor = scaleFactor(mean, target, rounding);
    int code = 0;
    while (code < 256 && scaledCode(factor, code, rounding) <= 255)
        ++code;
    return code;
}

// A palette pays off when codes repeat: at most one distinct code per four pixels, and an index
// (4 bytes a pixel) of at most 32 MB.
constexpr std::size_t maxIndexBytes = std::size_t{32} << 20;
constexpr int pixelsPerCode = 4;
// The palette is converted in rows of this many codes, so that cvtColor shares them out.
constexpr int paletteRowLength = 1024;

} // namespace

LabCodes labCodes(const LabValue &value) {
    return {value.l * 255 / 100, value.a + 128, value.b + 128};
}

cv::Vec3d exactLabCodes(const cv::Vec3d &value) {
    return {value[0] * 2.55, value[1] + 128, value[2] + 128};
}

void MeanLabAdjustment::prepareTables(LabEncoding encoding) {
    if (encoding == LabEncoding::Icc)
        return;
    labToBgr(encoding);
    RgbGamut::of(encoding);
}

bool MeanLabAdjustment::bind(const cv::Mat &image, const LabSpace &space) {
    if (space.isIcc()) {
        auto bound = std::make_unique<IccMeanLabAdjustment>();
        if (!bound->bind(image, space))
            return false;
        icc = std::move(bound);
        boundSpace = space;
        bgrSource = lab = roundTrip = work = cv::Mat();
        lastRect = measuredRect = cv::Rect();
        return true;
    }
    const LabEncoding encoding = space.encoding();
    try {
        cv::Mat bgr = toBgr8(image);
        if (bgr.empty())
            return false;
        cv::Mat newLab;
        cv::Mat newRoundTrip;
        cv::cvtColor(bgr, newLab, bgrToLabConversion(encoding));
        cv::cvtColor(newLab, newRoundTrip, labToBgrConversion(encoding));
        cv::Mat newWork = newRoundTrip.clone();

        icc.reset();
        boundSpace = space;
        boundEncoding = encoding;
        bgrSource = bgr;
        lab = newLab;
        roundTrip = newRoundTrip;
        work = newWork;
        lastRect = cv::Rect();
        measuredRect = cv::Rect();
        return true;
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return false;
    }
}

std::optional<cv::Rect> MeanLabAdjustment::adjust(const cv::Rect &rect, const LabCodes &target) {
    return adjust(rect, cv::Vec3d(target.l, target.a, target.b), CodeRounding::Truncate);
}

std::optional<cv::Rect> MeanLabAdjustment::adjust(const cv::Rect &rect, const cv::Vec3d &target,
                                                  CodeRounding rounding) {
    if (icc)
        return icc->adjust(rect, target);
    if (!isBound() || !rectInside(rect, work.size()))
        return std::nullopt;
    const uchar *toBgr = nullptr;
    try {
        // Everything that can fail happens before the work image is touched.
        if (!rect.empty()) {
            if (rect != measuredRect)
                measure(rect);
            for (int c = 0; c < 3; ++c)
                scale[c] = scaleTable(mean[c], target[c], rounding);
            if (paletteUsable)
                convertPalette();
            else
                toBgr = labToBgr(boundEncoding);
        }
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return std::nullopt;
    }

    const cv::Rect previous = lastRect;
    if (!previous.empty() && (previous & rect) != previous)
        roundTrip(previous).copyTo(work(previous));
    if (!rect.empty()) {
        if (toBgr)
            fillThroughTable(rect, toBgr);
        else
            fillFromPalette(work, rect, paletteIndex, paletteBgr);
    }
    lastRect = rect;
    for (int c = 0; c < 3; ++c)
        saturatedFrom[c] = firstSaturatedCode(mean[c], target[c], rounding);
    return previous | rect;
}

std::int64_t MeanLabAdjustment::clippedPixels(const cv::Rect &part) const {
    if (icc)
        return icc->clippedPixels(part);
    if (lastRect.empty() || (part & lastRect) != part || part.empty())
        return 0;
    const std::array<int, 3> &first = saturatedFrom;
    const RgbGamut &gamut = RgbGamut::of(boundEncoding);
    std::int64_t count = 0;
    for (int row = part.y; row < part.br().y; ++row) {
        const uchar *code = lab.ptr(row) + 3 * part.x;
        for (int col = 0; col < part.width; ++col, code += 3)
            count += code[0] >= first[0] || code[1] >= first[1] || code[2] >= first[2] ||
                     gamut.outside(scale[0][code[0]], scale[1][code[1]], scale[2][code[2]]);
    }
    return count;
}

void MeanLabAdjustment::measure(const cv::Rect &rect) {
    measuredRect = cv::Rect();
    mean = cv::mean(lab(rect));

    const std::size_t pixels = static_cast<std::size_t>(rect.area());
    paletteUsable = pixels * sizeof(std::int32_t) <= maxIndexBytes;
    if (paletteUsable) {
        paletteIndex.create(rect.size(), CV_32S);
        paletteUsable =
            palette.find(lab(rect), cv::Mat(), std::max<std::size_t>(1, pixels / pixelsPerCode));
    }
    if (paletteUsable) {
        cv::parallel_for_(cv::Range(0, rect.height), [&](const cv::Range &rows) {
            for (int row = rows.start; row < rows.end; ++row) {
                const uchar *code = lab.ptr(rect.y + row) + 3 * rect.x;
                auto *index = paletteIndex.ptr<std::int32_t>(row);
                for (int col = 0; col < rect.width; ++col, code += 3)
                    index[col] =
                        static_cast<std::int32_t>(palette.indexOf(DistinctCodes::packed(code)));
            }
        });
    }
    measuredRect = rect;
}

void MeanLabAdjustment::convertPalette() {
    const std::vector<std::uint32_t> &paletteCodes = palette.codes();
    const int count = static_cast<int>(paletteCodes.size());
    const int cols = std::min(count, paletteRowLength);
    const int rows = (count + cols - 1) / cols;
    scaledCodes.create(rows, cols, CV_8UC3);
    uchar *scaled = scaledCodes.ptr();
    for (const std::uint32_t code : paletteCodes) {
        *scaled++ = scale[0][code >> 16];
        *scaled++ = scale[1][code >> 8 & 0xff];
        *scaled++ = scale[2][code & 0xff];
    }
    // The end of the last row is padding; it is converted too, so it holds a defined code.
    std::fill(scaled, scaledCodes.ptr() + scaledCodes.total() * 3, uchar{0});
    cv::cvtColor(scaledCodes, convertedCodes, labToBgrConversion(boundEncoding));
    packBgr(convertedCodes, count, paletteBgr);
}

void MeanLabAdjustment::fillThroughTable(const cv::Rect &rect, const uchar *toBgr) {
    cv::parallel_for_(cv::Range(rect.y, rect.y + rect.height), [&](const cv::Range &rows) {
        for (int row = rows.start; row < rows.end; ++row) {
            const uchar *code = lab.ptr(row) + 3 * rect.x;
            uchar *pixel = work.ptr(row) + 3 * rect.x;
            for (int col = 0; col < rect.width; ++col, code += 3, pixel += 3) {
                const std::size_t index = std::size_t{scale[0][code[0]]} << 16 |
                                          std::size_t{scale[1][code[1]]} << 8 | scale[2][code[2]];
                const uchar *bgr = toBgr + 3 * index;
                pixel[0] = bgr[0];
                pixel[1] = bgr[1];
                pixel[2] = bgr[2];
            }
        }
    });
}
