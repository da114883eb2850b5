// SPDX-License-Identifier: GPL-3.0-or-later
#include "iccmeanlabadjustment.h"

#include "colourprofile.h"
#include "palettefill.h"
#include "profilelabtransforms.h"
#include "quad.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>

namespace {

// The picture as the adjustment keeps it: its own depth (64-bit float as 32-bit), BGR or, for
// a grey profile, grey. Empty when it cannot be.
cv::Mat keptPicture(const cv::Mat &image, const LabSpace &space) {
    const int depth = image.depth();
    if (image.empty() || (depth != CV_8U && depth != CV_16U && depth != CV_32F && depth != CV_64F))
        return {};
    if (!space.converts(image.channels()))
        return {};
    cv::Mat picture = image;
    if (depth == CV_64F)
        image.convertTo(picture, CV_32F);
    const int channels = space.profile()->channels();
    if (picture.channels() == 4)
        cv::cvtColor(picture, picture, cv::COLOR_BGRA2BGR);
    else if (picture.channels() == 1 && channels == 3)
        cv::cvtColor(picture, picture, cv::COLOR_GRAY2BGR);
    return picture.channels() == channels ? picture : cv::Mat();
}

// A palette pays off when colours repeat: at most one distinct colour per four pixels, and an
// index (4 bytes a pixel) of at most 32 MB.
constexpr std::size_t maxIndexBytes = std::size_t{32} << 20;
constexpr int pixelsPerColour = 4;
constexpr int paletteRowLength = 1024;
constexpr int pixelsPerBand = 4096;

// Sets `clipped` (CV_8U) where a channel of `values` is outside 0..1, or where `lab` is beyond
// what the profile connection space holds (Little CMS brings it to the nearest end).
void markClipped(const cv::Mat &lab, const cv::Mat &values, cv::Mat &clipped) {
    cv::Mat valuesInside;
    cv::inRange(values, cv::Scalar::all(0.0), cv::Scalar::all(1.0), valuesInside);
    cv::inRange(lab, cv::Scalar(0.0, -128.0, -128.0), cv::Scalar(100.0, 127.0, 127.0), clipped);
    cv::bitwise_and(clipped, valuesInside, clipped);
    cv::bitwise_not(clipped, clipped);
}

// L*' = f L*, a*' = f (a* + 128) - 128, b*' likewise: each code times its channel's factor.
void scaleLab(const cv::Mat &lab, const cv::Vec3d &factor, cv::Mat &scaled) {
    const cv::Vec3f gain(factor);
    const cv::Vec3f offset(0.0f, static_cast<float>(128 * (factor[1] - 1)),
                           static_cast<float>(128 * (factor[2] - 1)));
    scaled.create(lab.size(), CV_32FC3);
    for (int y = 0; y < lab.rows; ++y) {
        const auto *in = lab.ptr<cv::Vec3f>(y);
        auto *out = scaled.ptr<cv::Vec3f>(y);
        for (int x = 0; x < lab.cols; ++x)
            out[x] = in[x].mul(gain) + offset;
    }
}

} // namespace

bool IccMeanLabAdjustment::bind(const cv::Mat &image, const LabSpace &labSpace) {
    if (!labSpace.isIcc())
        return false;
    try {
        const cv::Mat picture = keptPicture(image, labSpace);
        if (picture.empty())
            return false;
        cv::Mat newWork = picture.clone();
        space = labSpace;
        bgrSource = picture;
        work = newWork;
        lastRect = cv::Rect();
        measuredRect = cv::Rect();
        clipped.release();
        return true;
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return false;
    }
}

std::optional<cv::Rect> IccMeanLabAdjustment::adjust(const cv::Rect &rect,
                                                     const cv::Vec3d &target) {
    if (work.empty() || !rectInside(rect, work.size()))
        return std::nullopt;
    try {
        if (!rect.empty()) {
            if (rect != measuredRect)
                measure(rect);
            if (measuredRect.empty())
                return std::nullopt;
            // code' = f x code per channel, in L*a*b*: L*' = f L*, a*' = f (a* + 128) - 128.
            cv::Vec3d factor;
            for (int c = 0; c < 3; ++c)
                factor[c] = meanCodes[c] > 0 ? target[c] / meanCodes[c] : 0.0;
            if (!convertBack(factor))
                return std::nullopt;
        }
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return std::nullopt;
    }

    const cv::Rect previous = lastRect;
    if (!previous.empty() && (previous & rect) != previous)
        bgrSource(previous).copyTo(work(previous));
    if (!rect.empty()) {
        if (paletteUsable) {
            fillFromPalette(work, rect, paletteIndex, paletteBgr);
        } else {
            cv::Mat into = work(rect);
            values.convertTo(into, work.depth(), fullIntensity(work.depth()));
        }
    }
    lastRect = rect;
    if (rect.empty())
        clipped.release();
    else
        cv::swap(clipped, clipScratch);
    clippedPerColour = paletteUsable;
    return previous | rect;
}

bool IccMeanLabAdjustment::convertBack(const cv::Vec3d &factor) {
    const int channels = space.profile()->channels();
    // A palette's colours end as packed 8-bit colours; only a rectangle's values are kept.
    if (paletteUsable)
        paletteBgr.resize(palette.codes().size());
    else
        values.create(measuredLab.size(), CV_MAKETYPE(CV_32F, channels));
    clipScratch.create(measuredLab.size(), CV_8U);
    const ProfileLabTransforms &transforms = space.profile()->labTransforms();
    // Bands small enough that each step reads what the step before left in the cache.
    const int rowsPerBand = std::max(1, pixelsPerBand / std::max(1, measuredLab.cols));
    const int bands = (measuredLab.rows + rowsPerBand - 1) / rowsPerBand;
    std::atomic<bool> converted{true};
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range &range) {
        const cv::Range rows(range.start * rowsPerBand,
                             std::min(measuredLab.rows, range.end * rowsPerBand));
        cv::Mat lab;
        scaleLab(measuredLab.rowRange(rows), factor, lab);
        cv::Mat bandValues = paletteUsable ? cv::Mat() : values.rowRange(rows);
        if (!transforms.fromLab(lab, bandValues)) {
            converted = false;
            return;
        }
        cv::Mat bandClipped = clipScratch.rowRange(rows);
        markClipped(lab, bandValues, bandClipped);
        // Integer depths saturate as they are stored; float is clipped here.
        if (work.depth() == CV_32F) {
            cv::min(bandValues, 1.0, bandValues);
            cv::max(bandValues, 0.0, bandValues);
        }
        if (paletteUsable) {
            // The end of the last row is padding, not packed.
            const int first = rows.start * measuredLab.cols;
            const int count = std::min(static_cast<int>(paletteBgr.size()) - first,
                                       rows.size() * measuredLab.cols);
            cv::Mat colours;
            bandValues.convertTo(colours, CV_8U, 255.0);
            packBgr(colours, count, paletteBgr.data() + first);
        }
    });
    return converted;
}

void IccMeanLabAdjustment::measure(const cv::Rect &rect) {
    measuredRect = cv::Rect();
    const cv::Mat part = bgrSource(rect);
    const std::size_t pixels = static_cast<std::size_t>(rect.area());
    paletteUsable =
        part.type() == CV_8UC3 && pixels * sizeof(std::int32_t) <= maxIndexBytes &&
        palette.find(part, cv::Mat(), std::max<std::size_t>(1, pixels / pixelsPerColour));
    cv::Scalar mean;
    if (paletteUsable) {
        const std::vector<std::uint32_t> &codes = palette.codes();
        // Rows of the palette are converted in parallel; the end of the last row is padding.
        const int count = static_cast<int>(codes.size());
        const int cols = std::min(count, paletteRowLength);
        cv::Mat colours((count + cols - 1) / cols, cols, CV_8UC3, cv::Scalar::all(0));
        auto *colour = colours.ptr<cv::Vec3b>();
        for (const std::uint32_t code : codes)
            *colour++ = cv::Vec3b(static_cast<uchar>(code >> 16), static_cast<uchar>(code >> 8),
                                  static_cast<uchar>(code));
        measuredLab = space.toLab(colours);
        const std::vector<std::uint32_t> counts = palette.pixelCounts(part, cv::Mat());
        const auto *lab = measuredLab.ptr<cv::Vec3f>();
        for (std::size_t i = 0; i < counts.size(); ++i)
            for (int c = 0; c < 3; ++c)
                mean[c] += static_cast<double>(counts[i]) * lab[i][c];
        mean /= static_cast<double>(pixels);
        paletteIndex.create(rect.size(), CV_32S);
        cv::parallel_for_(cv::Range(0, rect.height), [&](const cv::Range &rows) {
            for (int row = rows.start; row < rows.end; ++row) {
                const uchar *pixel = part.ptr(row);
                auto *index = paletteIndex.ptr<std::int32_t>(row);
                for (int col = 0; col < rect.width; ++col, pixel += 3)
                    index[col] =
                        static_cast<std::int32_t>(palette.indexOf(DistinctCodes::packed(pixel)));
            }
        });
    } else {
        measuredLab = space.toLab(part);
        mean = cv::mean(measuredLab);
    }
    if (measuredLab.empty())
        return;
    meanCodes = cv::Vec3d(mean[0] * 2.55, mean[1] + 128, mean[2] + 128);
    measuredRect = rect;
}

std::int64_t IccMeanLabAdjustment::clippedPixels(const cv::Rect &part) const {
    if (lastRect.empty() || part.empty() || (part & lastRect) != part || clipped.empty())
        return 0;
    // The palette's index describes the rectangle measured last, which is the one adjusted
    // unless a measurement failed since.
    if (clippedPerColour && measuredRect != lastRect)
        return 0;
    if (!clippedPerColour)
        return cv::countNonZero(clipped(part - lastRect.tl()));
    const uchar *colourClipped = clipped.ptr();
    const cv::Rect inIndex = part - lastRect.tl();
    std::int64_t count = 0;
    for (int row = inIndex.y; row < inIndex.br().y; ++row) {
        const auto *index = paletteIndex.ptr<std::int32_t>(row) + inIndex.x;
        for (int col = 0; col < inIndex.width; ++col)
            count += colourClipped[index[col]] != 0;
    }
    return count;
}
