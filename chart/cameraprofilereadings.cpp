// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameraprofilereadings.h"

#include "labmeasurement.h"
#include "labspace.h"
#include "patchmeasurement.h"

#include <opencv2/core.hpp>

std::vector<std::optional<cv::Vec3d>> readPatchRgb(const cv::Mat &image,
                                                   const std::vector<PatchArea> &areas) {
    std::vector<std::optional<cv::Vec3d>> readings(areas.size());
    if (image.empty() || !isLabMeasurable(image.type()))
        return readings;
    const double scale = fullIntensity(image.depth());
    for (size_t i = 0; i < areas.size(); ++i) {
        const cv::Rect bounds = patchBounds(areas[i], image.size());
        if (bounds.empty())
            continue;
        const cv::Mat mask = patchMask(areas[i], bounds);
        if (cv::countNonZero(mask) == 0)
            continue;
        const cv::Scalar mean = cv::mean(image(bounds), mask);
        if (image.channels() == 1)
            readings[i] = cv::Vec3d(mean[0], mean[0], mean[0]) / scale;
        else
            readings[i] = cv::Vec3d(mean[2], mean[1], mean[0]) / scale;
    }
    return readings;
}
