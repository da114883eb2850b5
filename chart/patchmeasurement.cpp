// SPDX-License-Identifier: GPL-3.0-or-later
#include "patchmeasurement.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

constexpr int fractionBits = 4;
constexpr double fractionScale = 1 << fractionBits;

std::array<cv::Point, 4> fixedPoint(const PatchArea &area, const cv::Point &origin) {
    std::array<cv::Point, 4> points;
    for (size_t i = 0; i < 4; ++i)
        points[i] = cv::Point(cvRound((area[i].x - origin.x) * fractionScale),
                              cvRound((area[i].y - origin.y) * fractionScale));
    return points;
}

} // namespace

cv::Rect patchBounds(const PatchArea &area, const cv::Size &imageSize) {
    double left = area[0].x;
    double right = area[0].x;
    double top = area[0].y;
    double bottom = area[0].y;
    for (const cv::Point2d &point : area) {
        left = std::min(left, point.x);
        right = std::max(right, point.x);
        top = std::min(top, point.y);
        bottom = std::max(bottom, point.y);
    }
    // Every pixel centre the area can hold; far-off areas come to nothing before the casts.
    const cv::Rect2d box(std::floor(left), std::floor(top), std::ceil(right) - std::floor(left) + 1,
                         std::ceil(bottom) - std::floor(top) + 1);
    const cv::Rect2d clipped = box & cv::Rect2d(0, 0, imageSize.width, imageSize.height);
    if (clipped.width <= 0 || clipped.height <= 0)
        return {};
    return cv::Rect(clipped);
}

cv::Mat patchMask(const PatchArea &area, const cv::Rect &bounds) {
    cv::Mat mask = cv::Mat::zeros(bounds.size(), CV_8UC1);
    const std::array<cv::Point, 4> points = fixedPoint(area, bounds.tl());
    cv::fillConvexPoly(mask, points.data(), 4, cv::Scalar(255), cv::LINE_8, fractionBits);
    return mask;
}

std::vector<std::optional<LabStats>>
measurePatches(const cv::Mat &image, const std::vector<PatchArea> &areas, const LabSpace &space) {
    std::vector<std::optional<LabStats>> readings;
    readings.reserve(areas.size());
    for (const PatchArea &area : areas) {
        const cv::Rect bounds = patchBounds(area, image.size());
        if (bounds.empty()) {
            readings.emplace_back();
            continue;
        }
        readings.push_back(measureLab(image, bounds, space, patchMask(area, bounds)));
    }
    return readings;
}
