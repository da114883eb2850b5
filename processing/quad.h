// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/types.hpp>

#include <array>

// The corner quadrilateral in pixels of an image: 0 top-left, 1 bottom-left, 2 bottom-right,
// 3 top-right.
using Quad = std::array<cv::Point, 4>;

inline Quad quadFromPoints(const cv::Point *points) {
    return {points[0], points[1], points[2], points[3]};
}

// The rectangle from corner 0 to corner 2; corner 2's own column and row lie just outside it.
inline cv::Rect rectFromCorners02(const Quad &quad) {
    return {quad[0].x, quad[0].y, quad[2].x - quad[0].x, quad[2].y - quad[0].y};
}

// The rectangle from corner 0 to the x of corner 3 and the y of corner 1.
inline cv::Rect rectFromCorners013(const Quad &quad) {
    return {quad[0].x, quad[0].y, quad[3].x - quad[0].x, quad[1].y - quad[0].y};
}

// True when the rectangle has no negative side and lies inside an image of the given size.
inline bool rectInside(const cv::Rect &rect, const cv::Size &size) {
    return rect.width >= 0 && rect.height >= 0 && rect.x >= 0 && rect.y >= 0 &&
           rect.x + rect.width <= size.width && rect.y + rect.height <= size.height;
}
