// SPDX-License-Identifier: GPL-3.0-or-later
#include "iccmeanlabadjustment.h"

#include "quad.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

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

// Full-range value of one code of each depth.
double fullRange(int depth) {
    switch (depth) {
    case CV_8U:
        return 255.0;
    case CV_16U:
        return 65535.0;
    default:
        return 1.0;
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
    cv::Mat values;
    cv::Mat newClipped;
    try {
        if (!rect.empty()) {
            if (rect != measuredRect) {
                measuredRect = cv::Rect();
                measuredLab = space.toLab(bgrSource(rect));
                if (measuredLab.empty())
                    return std::nullopt;
                const cv::Scalar mean = cv::mean(measuredLab);
                meanCodes = cv::Vec3d(mean[0] * 2.55, mean[1] + 128, mean[2] + 128);
                measuredRect = rect;
            }
            // code' = f x code per channel, in L*a*b*: L*' = f L*, a*' = f (a* + 128) - 128.
            cv::Vec3d factor;
            for (int c = 0; c < 3; ++c)
                factor[c] = meanCodes[c] > 0 ? target[c] / meanCodes[c] : 0.0;
            const cv::Scalar gain(factor[0], factor[1], factor[2]);
            const cv::Scalar offset(0, 128 * (factor[1] - 1), 128 * (factor[2] - 1));
            cv::multiply(measuredLab, gain, scaledLab);
            cv::add(scaledLab, offset, scaledLab);
            values = space.fromLab(scaledLab, false);
            if (values.empty())
                return std::nullopt;
            // Clipped: a channel outside the picture's range, or an L*a*b* beyond what the
            // profile connection space holds (Little CMS brings it to the nearest end).
            cv::Mat inside;
            cv::Mat encodable;
            cv::inRange(values, cv::Scalar::all(0.0), cv::Scalar::all(1.0), inside);
            cv::inRange(scaledLab, cv::Scalar(0, -128, -128), cv::Scalar(100, 127, 127), encodable);
            cv::bitwise_and(inside, encodable, inside);
            cv::bitwise_not(inside, newClipped);
            // Integer depths saturate as they are stored; float is clipped here.
            if (work.depth() == CV_32F) {
                cv::min(values, 1.0, values);
                cv::max(values, 0.0, values);
            }
        }
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return std::nullopt;
    }

    const cv::Rect previous = lastRect;
    if (!previous.empty() && (previous & rect) != previous)
        bgrSource(previous).copyTo(work(previous));
    if (!rect.empty()) {
        cv::Mat into = work(rect);
        values.convertTo(into, work.depth(), fullRange(work.depth()));
    }
    lastRect = rect;
    clipped = newClipped;
    return previous | rect;
}

std::int64_t IccMeanLabAdjustment::clippedPixels(const cv::Rect &part) const {
    if (lastRect.empty() || part.empty() || (part & lastRect) != part || clipped.empty())
        return 0;
    return cv::countNonZero(clipped(part - lastRect.tl()));
}
