// SPDX-License-Identifier: GPL-3.0-or-later
#include "meanlabadjustment.h"

#include "matconversion.h"
#include "quad.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Channel `channel` of a three-channel table: f x code for every code, cut toward zero and
// saturated; f = target / mean in double, kept as a float. A mean of 0 means every code is 0,
// which stays 0 (target / 0 would be infinite).
void fillScaleTable(cv::Mat &table, int channel, double mean, int target) {
    const float factor = mean > 0 ? static_cast<float>(target / mean) : 0.0f;
    for (int code = 0; code < 256; ++code) {
        const double product = static_cast<double>(factor) * code;
        table.at<cv::Vec3b>(code)[channel] = product <= 0     ? 0
                                             : product >= 255 ? 255
                                                              : static_cast<uchar>(product);
    }
}

} // namespace

LabCodes labCodes(const LabValue &value) {
    return {value.l * 255 / 100, value.a + 128, value.b + 128};
}

bool MeanLabAdjustment::bind(const cv::Mat &image) {
    try {
        cv::Mat bgr = toBgr8(image);
        if (bgr.empty())
            return false;
        cv::Mat newLab;
        cv::Mat newRoundTrip;
        cv::cvtColor(bgr, newLab, cv::COLOR_LBGR2Lab);
        cv::cvtColor(newLab, newRoundTrip, cv::COLOR_Lab2LBGR);
        cv::Mat newWork = newRoundTrip.clone();

        bgrSource = bgr;
        lab = newLab;
        roundTrip = newRoundTrip;
        work = newWork;
        lastRect = cv::Rect();
        meanRect = cv::Rect();
        return true;
    } catch (const cv::Exception &) {
        return false;
    }
}

std::optional<cv::Rect> MeanLabAdjustment::adjust(const cv::Rect &rect, const LabCodes &target) {
    if (!isBound() || !rectInside(rect, work.size()))
        return std::nullopt;
    try {
        // Everything that can fail (allocation) happens before the work image is touched.
        if (!rect.empty()) {
            const cv::Mat labRect = lab(rect);
            if (rect != meanRect) {
                mean = cv::mean(labRect);
                meanRect = rect;
            }
            cv::Mat table(1, 256, CV_8UC3);
            fillScaleTable(table, 0, mean[0], target.l);
            fillScaleTable(table, 1, mean[1], target.a);
            fillScaleTable(table, 2, mean[2], target.b);
            cv::LUT(labRect, table, scaledLab);
        }

        const cv::Rect previous = lastRect;
        if (!previous.empty() && (previous & rect) != previous)
            roundTrip(previous).copyTo(work(previous));
        if (!rect.empty()) {
            // A view has a fixed size and type, so the conversion writes into the shared buffer.
            cv::cvtColor(scaledLab, work(rect), cv::COLOR_Lab2LBGR);
        }
        lastRect = rect;
        return previous | rect;
    } catch (const cv::Exception &) {
        return std::nullopt;
    }
}
