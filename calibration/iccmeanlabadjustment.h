// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "distinctcodes.h"
#include "labspace.h"

#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>
#include <vector>

// Set Mean Lab in the ICC mode: the rectangle's ICC L*a*b* (through the picture's profile, in
// float) is scaled per channel so that the means of L* x 2.55, a* + 128 and b* + 128 take the
// target, as the codes are scaled in the OpenCV modes, and goes back through the profile to the
// picture's own depth. 8-bit stays 8-bit, 16-bit stays 16-bit, float stays float; pixels
// outside the rectangle stay the source's. An 8-bit rectangle whose colours repeat is converted
// once per distinct colour, as in the OpenCV modes.
class IccMeanLabAdjustment {
public:
    // Binds to `image` (8- or 16-bit unsigned or 32- or 64-bit float, 1, 3 or 4 channels) in
    // `space`, which must be the ICC mode. Alpha is dropped; grey stays grey in a grey profile
    // and becomes three equal channels in an RGB one; 64-bit float becomes 32-bit. False for
    // another type or channels the profile does not fit.
    bool bind(const cv::Mat &image, const LabSpace &space);

    const LabSpace &labSpace() const { return space; }
    const cv::Mat &source() const { return bgrSource; }
    const cv::Mat &workImage() const { return work; }
    const cv::Rect &lastAdjustedRect() const { return lastRect; }

    // Makes the rectangle's means of L* x 2.55, a* + 128, b* + 128 `target` (channels whose
    // mean is 0 become 0). Returns the changed part (previous rectangle and this one); nothing,
    // with the work image untouched, when the rectangle is not inside or a conversion fails.
    std::optional<cv::Rect> adjust(const cv::Rect &rect, const cv::Vec3d &target);

    // Pixels of `part` (inside the rectangle last adjusted) whose scaled L*a*b* fell outside
    // the profile's gamut, so that a channel was clipped on the way back.
    std::int64_t clippedPixels(const cv::Rect &part) const;

private:
    // The L*a*b* to scale and its means; may throw before anything is kept.
    void measure(const cv::Rect &rect);
    // measuredLab scaled by `factor` and back through the profile: into paletteBgr for a
    // palette, else into `values`; clipScratch marked. False when the profile has no way back.
    bool convertBack(const cv::Vec3d &factor);

    LabSpace space;
    cv::Mat bgrSource;
    cv::Mat work;
    cv::Rect lastRect;
    // The ICC L*a*b* of measuredRect (of its distinct colours when paletteUsable) and its means
    // in codes; kept while the rectangle stays.
    cv::Rect measuredRect;
    cv::Mat measuredLab;
    bool paletteUsable = false;
    DistinctCodes palette;
    // Per pixel of measuredRect, the position of its colour in the palette (CV_32S).
    cv::Mat paletteIndex;
    cv::Vec3d meanCodes;
    // Set where the last adjustment clipped (CV_8U): over lastRect, or per palette colour.
    cv::Mat clipped;
    bool clippedPerColour = false;
    // Scratch kept between calls, so that adjusting faults in no fresh pages: a rectangle's
    // values in the profile, where they clip (swapped with `clipped` when kept), and the
    // palette's colours back in 8 bits, packed B | G << 8 | R << 16.
    cv::Mat values;
    cv::Mat clipScratch;
    std::vector<std::uint32_t> paletteBgr;
};
