// SPDX-License-Identifier: GPL-3.0-or-later
#include "canvasgeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Truncation toward zero that stays defined for any double (a zoom may underflow to zero).
int truncated(double value) {
    if (std::isnan(value))
        return 0;
    constexpr double lowest = std::numeric_limits<int>::min();
    constexpr double highest = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(value, lowest, highest));
}

// Clamped first against 0, then against the last pixel.
int clampToImage(long long value, int extent) {
    return static_cast<int>(std::min<long long>(std::max<long long>(value, 0), extent - 1));
}

cv::Point clampToImage(const cv::Point &point, const cv::Size &bounds) {
    return {clampToImage(point.x, bounds.width), clampToImage(point.y, bounds.height)};
}

int tolerance(double scale) {
    return std::max(1, truncated(5.0 / scale));
}

} // namespace

cv::Point widgetToImage(const QPoint &widget, const QPointF &scale) {
    return {truncated(widget.x() / scale.x()), truncated(widget.y() / scale.y())};
}

QPoint imageToOverlay(const cv::Point &image, const QPointF &scale) {
    return {truncated(image.x * scale.x()), truncated(image.y * scale.y())};
}

cv::Size hoverTolerance(const QPointF &scale) {
    return {tolerance(scale.x()), tolerance(scale.y())};
}

int hitTest(const Quad &corners, const cv::Point &pixel, const cv::Size &tolerance) {
    for (int i = 0; i < 4; ++i) {
        const cv::Point &c = corners[i];
        if (pixel.x > c.x - tolerance.width && pixel.x < c.x + tolerance.width &&
            pixel.y > c.y - tolerance.height && pixel.y < c.y + tolerance.height)
            return i;
    }
    if (pixel.x > corners[0].x && pixel.x < corners[2].x && pixel.y > corners[0].y &&
        pixel.y < corners[2].y)
        return wholeQuadHandle;
    return noHandle;
}

Qt::CursorShape cursorForHandle(int handle) {
    switch (handle) {
    case 0:
    case 2:
        return Qt::SizeFDiagCursor;
    case 1:
    case 3:
        return Qt::SizeBDiagCursor;
    case wholeQuadHandle:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

Quad dragCorner(const Quad &corners, int corner, const cv::Point &pixel, const cv::Size &bounds) {
    Quad moved = corners;
    if (corner >= 0 && corner < 4)
        moved[corner] = clampToImage(pixel, bounds);
    return moved;
}

Quad moveQuad(const Quad &corners, const cv::Point &from, const cv::Point &to,
              const cv::Size &bounds) {
    // In 64 bits: mouse positions far outside the widget must not overflow.
    const long long dx = static_cast<long long>(to.x) - from.x;
    const long long dy = static_cast<long long>(to.y) - from.y;
    Quad moved;
    for (int i = 0; i < 4; ++i)
        moved[i] = {clampToImage(corners[i].x + dx, bounds.width),
                    clampToImage(corners[i].y + dy, bounds.height)};
    return moved;
}

Overlay overlayGeometry(const Quad &corners, const QPointF &scale) {
    Overlay overlay;
    for (int i = 0; i < 4; ++i) {
        const cv::Point &c = corners[i];
        overlay.marks[i] =
            QRect(truncated(c.x * scale.x() - 5.0), truncated(c.y * scale.y() - 5.0), 10, 10);
        overlay.sides[i] =
            QLine(imageToOverlay(c, scale), imageToOverlay(corners[(i + 1) % 4], scale));
    }
    return overlay;
}
