// SPDX-License-Identifier: GPL-3.0-or-later
#include "patchcolour.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

QColor patchColour(const cv::Vec3d &lab, LabEncoding encoding) {
    const cv::Mat labPixel(1, 1, CV_32FC3, cv::Scalar(lab[0], lab[1], lab[2]));
    cv::Mat bgr;
    cv::cvtColor(labPixel, bgr, labToBgrConversion(encoding));
    const cv::Vec3f value = bgr.at<cv::Vec3f>(0, 0);
    const auto channel = [](float v) { return std::clamp(double(v), 0.0, 1.0); };
    return QColor::fromRgbF(float(channel(value[2])), float(channel(value[1])),
                            float(channel(value[0])));
}
