// SPDX-License-Identifier: GPL-3.0-or-later
#include "squarewarp.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace {

// Twice the signed area of the triangle a, b, c; zero when the three lie on one line (which
// includes two of them coinciding). Exact for any int coordinates.
std::int64_t doubleArea(const cv::Point &a, const cv::Point &b, const cv::Point &c) {
    return (std::int64_t(b.x) - a.x) * (std::int64_t(c.y) - a.y) -
           (std::int64_t(b.y) - a.y) * (std::int64_t(c.x) - a.x);
}

std::array<cv::Point_<float>, 4> floatPoints(const Quad &quad) {
    std::array<cv::Point_<float>, 4> points;
    std::transform(quad.begin(), quad.end(), points.begin(),
                   [](const cv::Point &p) { return cv::Point_<float>(p); });
    return points;
}

} // namespace

Quad warpTargetCorners(const cv::Size &imageSize) {
    const int half = std::min(imageSize.width, imageSize.height) / 2;
    const int cx = imageSize.width / 2;
    const int cy = imageSize.height / 2;
    return {cv::Point(cx - half, cy - half), cv::Point(cx - half, cy + half),
            cv::Point(cx + half, cy + half), cv::Point(cx + half, cy - half)};
}

bool isPerspectiveQuad(const Quad &quad) {
    for (int skipped = 0; skipped < 4; ++skipped) {
        const cv::Point &a = quad[(skipped + 1) % 4];
        const cv::Point &b = quad[(skipped + 2) % 4];
        const cv::Point &c = quad[(skipped + 3) % 4];
        if (doubleArea(a, b, c) == 0)
            return false;
    }
    return true;
}

bool computePerspective(const Quad &from, const Quad &to, CVTransform &transform) {
    if (!isPerspectiveQuad(from) || !isPerspectiveQuad(to))
        return false;
    const std::array<cv::Point_<float>, 4> source = floatPoints(from);
    const std::array<cv::Point_<float>, 4> destination = floatPoints(to);
    CVTransform computed;
    computed.compute(source.data(), destination.data(), 4);
    // The library fixes the last matrix element at 1, so a transform that needs it 0 makes its
    // solver give up with a zero matrix; neither that nor a non-finite one can be warped with.
    if (!cv::checkRange(computed.matrix))
        return false;
    const double det = cv::determinant(computed.matrix);
    if (!std::isfinite(det) || det == 0.0)
        return false;
    transform.matrix = computed.matrix;
    return true;
}

bool warpQuadOnto(const cv::Mat &source, const Quad &from, const Quad &to, cv::Mat &destination) {
    CVTransform transform;
    if (!computePerspective(from, to, transform))
        return false;
    transform.apply(source, destination);
    return true;
}
