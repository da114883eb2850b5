// SPDX-License-Identifier: GPL-3.0-or-later
#include "labtestsupport.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

int toLab(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? cv::COLOR_BGR2Lab : cv::COLOR_LBGR2Lab;
}

int fromLab(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? cv::COLOR_Lab2BGR : cv::COLOR_Lab2LBGR;
}

} // namespace

cv::Mat straightforwardAdjust(const cv::Mat &source, const cv::Rect &rect, const LabCodes &target,
                              LabEncoding encoding) {
    cv::Mat lab;
    cv::cvtColor(source, lab, toLab(encoding));
    const cv::Scalar mean = cv::mean(cv::Mat(lab, rect));
    const int targets[3] = {target.l, target.a, target.b};
    float factors[3];
    for (int c = 0; c < 3; ++c)
        factors[c] = mean[c] == 0 ? 0.0f : static_cast<float>(targets[c] / mean[c]);
    for (int row = rect.y; row < rect.y + rect.height; ++row) {
        uchar *pixel = lab.ptr(row) + 3 * rect.x;
        for (int col = 0; col < rect.width; ++col, pixel += 3) {
            for (int c = 0; c < 3; ++c) {
                const double product = std::trunc(static_cast<double>(factors[c]) * pixel[c]);
                pixel[c] = static_cast<uchar>(std::clamp(product, 0.0, 255.0));
            }
        }
    }
    cv::Mat bgr;
    cv::cvtColor(lab, bgr, fromLab(encoding));
    return bgr;
}

cv::Mat labRoundTrip(const cv::Mat &source, LabEncoding encoding) {
    cv::Mat lab;
    cv::Mat bgr;
    cv::cvtColor(source, lab, toLab(encoding));
    cv::cvtColor(lab, bgr, fromLab(encoding));
    return bgr;
}

bool identical(const cv::Mat &a, const cv::Mat &b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

cv::Mat noisyImage(int rows, int cols, uint64 seed) {
    cv::Mat image(rows, cols, CV_8UC3);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

cv::Mat imageOfColours(int rows, int cols, int count, uint64 seed) {
    const cv::Mat colours = noisyImage(1, count, seed);
    cv::Mat image(rows, cols, CV_8UC3);
    cv::RNG rng(seed + 1);
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col)
            image.at<cv::Vec3b>(row, col) = colours.at<cv::Vec3b>(0, rng.uniform(0, count));
    return image;
}
