// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "distinctcodes.h"
#include "iccmeanlabadjustment.h"
#include "labencoding.h"
#include "labspace.h"

#include <opencv2/core/mat.hpp>
#include <opencv2/core/matx.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// An L*a*b* value in whole units: L* 0 to 100, a* and b* -127 to 127.
struct LabValue {
    int l = 0;
    int a = 0;
    int b = 0;
};

// The 8-bit Lab encoding of OpenCV's colour conversion, channel 0 to 2.
struct LabCodes {
    int l = 0;
    int a = 0;
    int b = 0;

    friend bool operator==(const LabCodes &x, const LabCodes &y) {
        return x.l == y.l && x.a == y.a && x.b == y.b;
    }
    friend bool operator!=(const LabCodes &x, const LabCodes &y) { return !(x == y); }
};

// L* x 255 / 100 (truncating), a* + 128, b* + 128.
LabCodes labCodes(const LabValue &value);
// L* x 2.55, a* + 128, b* + 128, without truncation: the codes the value really has.
cv::Vec3d exactLabCodes(const cv::Vec3d &value);

// How a scaled code is stored: cut toward zero (the described arithmetic) or rounded to the
// nearest code.
enum class CodeRounding { Truncate, Nearest };

// Re-colours a rectangle of an 8-bit BGR image so that the mean of each of its Lab codes takes a
// target, scaling each channel by one factor so that the texture survives. Conversions are the
// pair of the binding's encoding (COLOR_LBGR2Lab and back for linear light, COLOR_BGR2Lab and
// back for sRGB), so pixels outside the rectangle show the round trip of the source through the
// 8-bit Lab codes.
//
// The Lab picture of the source and its round trip are computed once per binding; an adjustment
// then costs what its rectangle costs: it restores the previous rectangle from the round trip and
// converts only the new one. A rectangle is measured once while it stays put: its mean, and a
// palette of its distinct Lab codes with each pixel's place in it, so that an adjustment converts
// every distinct code once and fills the rectangle from that short list. A rectangle whose codes
// hardly repeat, or that is too large for the palette's index, is converted pixel by pixel
// through a table of the conversion of every Lab code (48 MB, built once per process on first
// need, one per encoding). Conversion is per pixel, so the work image is byte for byte what
// converting the whole scaled Lab picture back would give.
//
// Bound in the ICC mode, it scales float ICC L*a*b* instead and keeps the picture's depth (see
// IccMeanLabAdjustment); codes and targets keep their meaning, rounding does not apply.
class MeanLabAdjustment {
public:
    // Binds to `image`, brought to 8-bit BGR first (an 8-bit BGR image is shared, not copied),
    // and starts a new work image equal to the round trip. False, with the previous binding
    // kept, for an empty image or one of a type that cannot be brought to 8-bit BGR.
    // In the ICC mode the image keeps its depth, see IccMeanLabAdjustment::bind.
    bool bind(const cv::Mat &image, const LabSpace &space = LabSpace());

    // Builds the encoding's tables that adjustments share across the process (the conversion of
    // every code, the codes outside the RGB cube), which are otherwise built on first need. The
    // ICC mode has none.
    static void prepareTables(LabEncoding encoding);

    bool isBound() const { return icc ? true : !work.empty(); }
    // The encoding and L*a*b* space of the current binding.
    LabEncoding encoding() const { return boundSpace.encoding(); }
    const LabSpace &labSpace() const { return boundSpace; }
    // Never written by the adjustment.
    const cv::Mat &source() const { return icc ? icc->source() : bgrSource; }
    // One buffer for the whole binding: every adjustment writes into it in place, so every
    // header that shares it (a store entry, the canvas) shows the new colours.
    const cv::Mat &workImage() const { return icc ? icc->workImage() : work; }

    // Makes the means of the rectangle's Lab codes `target`, starting from the untouched
    // source: per channel f = target / mean (a channel whose mean is 0 stays 0), each code
    // becomes f x code truncated and saturated to 0..255. Returns the part of the work image
    // that changed (the previous rectangle and this one), or nothing, with the work image
    // untouched, when unbound or when the rectangle has a negative side or is not inside.
    std::optional<cv::Rect> adjust(const cv::Rect &rect, const LabCodes &target);
    // The same with fractional target codes (channel 0 to 2) and a choice of rounding; with
    // whole targets and truncation it is the adjustment above.
    std::optional<cv::Rect> adjust(const cv::Rect &rect, const cv::Vec3d &target,
                                   CodeRounding rounding);

    // Pixels of `part` (inside the rectangle last adjusted) that the last adjustment clipped:
    // a scaled code saturated (f x code reached 256 or more and was stored as 255), or the
    // scaled code lies outside the RGB cube, so that its conversion back clipped a channel.
    std::int64_t clippedPixels(const cv::Rect &part) const;

    // The rectangle of the last adjustment, which the next one restores first.
    const cv::Rect &lastAdjustedRect() const { return icc ? icc->lastAdjustedRect() : lastRect; }

    // Whether the rectangle last measured is re-coloured through its palette of distinct codes
    // (false: through the table of every code, or nothing measured yet).
    bool usesPalette() const { return !measuredRect.empty() && paletteUsable; }

private:
    // The mean and the palette of `rect` in lab. May throw (allocation) before it changes
    // anything that the adjustment reads.
    void measure(const cv::Rect &rect);
    // Scales and converts the palette's codes into paletteBgr. May throw (cvtColor).
    void convertPalette();
    void fillThroughTable(const cv::Rect &rect, const uchar *toBgr);

    LabSpace boundSpace;
    LabEncoding boundEncoding = LabEncoding::Linear;
    // Set while bound in the ICC mode; the members below then stay empty.
    std::unique_ptr<IccMeanLabAdjustment> icc;
    cv::Mat bgrSource;
    cv::Mat lab;
    cv::Mat roundTrip;
    cv::Mat work;
    cv::Rect lastRect;
    // The scaled code of every code per channel, and the lowest code that the last adjustment
    // saturated per channel.
    std::array<std::array<uchar, 256>, 3> scale{};
    std::array<int, 3> saturatedFrom{};

    // What measure() found for measuredRect; the rectangle rarely moves during a series.
    cv::Rect measuredRect;
    cv::Scalar mean;
    bool paletteUsable = false;
    // The distinct codes of measuredRect, and per pixel of it the position of its code (CV_32S).
    DistinctCodes palette;
    cv::Mat paletteIndex;
    // Scratch kept between calls, so that adjusting faults in no fresh pages: the scaled codes,
    // their conversion, and that conversion packed B | G << 8 | R << 16.
    cv::Mat scaledCodes;
    cv::Mat convertedCodes;
    std::vector<std::uint32_t> paletteBgr;
};
