// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "quad.h"

#include <QLine>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <Qt>

#include <array>

// Geometry of the canvas, free of any widget. A scale is the number of widget pixels per image
// pixel, one factor per axis (x, y): the zoom, or the stretch while the picture fills the window.

// Handles: 0 to 3 the corner with that number, then the whole quadrilateral, then nothing.
constexpr int wholeQuadHandle = 4;
constexpr int noHandle = 5;

// The image pixel under a widget position; each coordinate divided and truncated toward zero.
cv::Point widgetToImage(const QPoint &widget, const QPointF &scale);

// The overlay position of an image pixel; each coordinate multiplied and truncated toward zero.
QPoint imageToOverlay(const cv::Point &image, const QPointF &scale);

// How far, in image pixels, the mouse may lie from a corner and still take it: 5 widget pixels
// (5 / scale, truncated), but at least one image pixel, so a corner can be taken at any zoom.
cv::Size hoverTolerance(const QPointF &scale);

// The handle under an image pixel: the first corner, in order 0 to 3, lying strictly within the
// tolerance; else the whole quadrilateral when the pixel lies strictly inside the box of corners
// 0 and 2; else noHandle.
int hitTest(const Quad &corners, const cv::Point &pixel, const cv::Size &tolerance);

// The cursor that shows what a handle would drag.
Qt::CursorShape cursorForHandle(int handle);

// Moves corner `corner` to `pixel`, clamped into an image of size `bounds` (not empty).
Quad dragCorner(const Quad &corners, int corner, const cv::Point &pixel, const cv::Size &bounds);

// Shifts every corner by the mouse's movement from `from` to `to`, each clamped into the image on
// its own, so the shape deforms against the image border.
Quad moveQuad(const Quad &corners, const cv::Point &from, const cv::Point &to,
              const cv::Size &bounds);

// The overlay: a 10 x 10 square around each corner and the sides 0-1, 1-2, 2-3 and 3-0.
struct Overlay {
    std::array<QRect, 4> marks;
    std::array<QLine, 4> sides;
};
Overlay overlayGeometry(const Quad &corners, const QPointF &scale);
