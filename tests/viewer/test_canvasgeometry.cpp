// SPDX-License-Identifier: GPL-3.0-or-later
#include "canvasgeometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// The corners after loading a 640 x 480 image.
const Quad vgaQuarter = {cv::Point(160, 120), cv::Point(160, 360), cv::Point(480, 360),
                         cv::Point(480, 120)};
const cv::Size vga(640, 480);

QPointF uniform(double scale) {
    return {scale, scale};
}

} // namespace

TEST(CanvasGeometry, WidgetToImageTruncatesPerAxis) {
    EXPECT_EQ(widgetToImage(QPoint(164, 124), uniform(1.0)), cv::Point(164, 124));
    EXPECT_EQ(widgetToImage(QPoint(203, 198), uniform(2.0)), cv::Point(101, 99));
    EXPECT_EQ(widgetToImage(QPoint(807, 800), uniform(8.0)), cv::Point(100, 100));
    EXPECT_EQ(widgetToImage(QPoint(-1, -15), uniform(8.0)), cv::Point(0, -1));
    EXPECT_EQ(widgetToImage(QPoint(99, 99), QPointF(2.0, 1.5)), cv::Point(49, 66));
    EXPECT_EQ(widgetToImage(QPoint(7, -7), uniform(0.0)), cv::Point(INT_MAX, INT_MIN));
    EXPECT_EQ(widgetToImage(QPoint(0, 0), uniform(0.0)), cv::Point(0, 0));
}

TEST(CanvasGeometry, ToleranceIsAtLeastOneImagePixel) {
    EXPECT_EQ(hoverTolerance(uniform(1.0)), cv::Size(5, 5));
    EXPECT_EQ(hoverTolerance(uniform(2.0)), cv::Size(2, 2));
    EXPECT_EQ(hoverTolerance(uniform(0.5)), cv::Size(10, 10));
    EXPECT_EQ(hoverTolerance(uniform(5.0)), cv::Size(1, 1));
    EXPECT_EQ(hoverTolerance(uniform(8.0)), cv::Size(1, 1));
    EXPECT_EQ(hoverTolerance(QPointF(1.0, 2.5)), cv::Size(5, 2));
}

TEST(CanvasGeometry, HitTestAtScaleOne) {
    const cv::Size tolerance = hoverTolerance(uniform(1.0));
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(164, 124), tolerance), 0);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(156, 116), tolerance), 0);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(165, 120), tolerance), noHandle);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(155, 120), tolerance), noHandle);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(160, 364), tolerance), 1);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(476, 356), tolerance), 2);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(484, 124), tolerance), 3);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(300, 200), tolerance), wholeQuadHandle);
    // The box of corners 0 and 2 is open: its edges belong to nothing.
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(300, 120), tolerance), noHandle);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(480, 200), tolerance), noHandle);
    EXPECT_EQ(hitTest(vgaQuarter, cv::Point(600, 200), tolerance), noHandle);
}

TEST(CanvasGeometry, HitTestAtScalesTwoAndEight) {
    const Quad quad = {cv::Point(100, 100), cv::Point(100, 200), cv::Point(200, 200),
                       cv::Point(200, 100)};
    const QPointF two = uniform(2.0);
    for (int w = 190; w <= 210; ++w) {
        const int expected = (w >= 198 && w <= 203) ? 0 : (w > 203 ? wholeQuadHandle : noHandle);
        EXPECT_EQ(hitTest(quad, widgetToImage(QPoint(w, w), two), hoverTolerance(two)), expected)
            << "widget " << w;
    }
    // At 8 the corner is taken over its own image pixel, 8 widget pixels wide.
    const QPointF eight = uniform(8.0);
    for (int w = 790; w <= 815; ++w) {
        const int expected = (w >= 800 && w < 808) ? 0 : (w >= 808 ? wholeQuadHandle : noHandle);
        EXPECT_EQ(hitTest(quad, widgetToImage(QPoint(w, w), eight), hoverTolerance(eight)),
                  expected)
            << "widget " << w;
    }
}

TEST(CanvasGeometry, OverlappingCornersGoToTheLowestNumber) {
    const Quad collapsed = {cv::Point(10, 10), cv::Point(10, 12), cv::Point(12, 12),
                            cv::Point(12, 10)};
    const cv::Size tolerance(5, 5);
    EXPECT_EQ(hitTest(collapsed, cv::Point(11, 11), tolerance), 0);
    EXPECT_EQ(hitTest(collapsed, cv::Point(16, 16), tolerance), 2);
    EXPECT_EQ(hitTest(collapsed, cv::Point(8, 16), tolerance), 1);
}

TEST(CanvasGeometry, DraggedCornerIsClampedIntoTheImage) {
    Quad expected = vgaQuarter;
    expected[2] = cv::Point(639, 479);
    EXPECT_EQ(dragCorner(vgaQuarter, 2, cv::Point(5000, 900), vga), expected);
    expected[2] = cv::Point(0, 0);
    EXPECT_EQ(dragCorner(vgaQuarter, 2, cv::Point(-3, -70), vga), expected);
    expected = vgaQuarter;
    expected[1] = cv::Point(300, 479);
    EXPECT_EQ(dragCorner(vgaQuarter, 1, cv::Point(300, 480), vga), expected);
    EXPECT_EQ(dragCorner(vgaQuarter, noHandle, cv::Point(1, 1), vga), vgaQuarter);
}

TEST(CanvasGeometry, WholeQuadMovesAndDeformsAgainstTheBorder) {
    EXPECT_EQ(
        moveQuad(vgaQuarter, cv::Point(300, 200), cv::Point(310, 205), vga),
        (Quad{cv::Point(170, 125), cv::Point(170, 365), cv::Point(490, 365), cv::Point(490, 125)}));
    const Quad right = {cv::Point(600, 100), cv::Point(600, 200), cv::Point(635, 200),
                        cv::Point(635, 100)};
    EXPECT_EQ(
        moveQuad(right, cv::Point(0, 0), cv::Point(10, 5), vga),
        (Quad{cv::Point(610, 105), cv::Point(610, 205), cv::Point(639, 205), cv::Point(639, 105)}));
    EXPECT_EQ(moveQuad(vgaQuarter, cv::Point(INT_MAX, 0), cv::Point(INT_MIN, 0), vga),
              (Quad{cv::Point(0, 120), cv::Point(0, 360), cv::Point(0, 360), cv::Point(0, 120)}));
}

TEST(CanvasGeometry, OverlaySquaresAndSides) {
    const Overlay one = overlayGeometry(vgaQuarter, uniform(1.0));
    EXPECT_EQ(one.marks[0], QRect(155, 115, 10, 10));
    EXPECT_EQ(one.marks[2], QRect(475, 355, 10, 10));
    EXPECT_EQ(one.sides[0], QLine(160, 120, 160, 360));
    EXPECT_EQ(one.sides[1], QLine(160, 360, 480, 360));
    EXPECT_EQ(one.sides[2], QLine(480, 360, 480, 120));
    EXPECT_EQ(one.sides[3], QLine(480, 120, 160, 120));

    const Overlay stretched = overlayGeometry(vgaQuarter, QPointF(2.0, 1.5));
    EXPECT_EQ(stretched.marks[0], QRect(315, 175, 10, 10));
    EXPECT_EQ(stretched.sides[3], QLine(960, 180, 320, 180));

    // Truncation goes toward zero: 3 x 1.5 - 5 = -0.5 gives 0, not -1.
    const Quad small = {cv::Point(3, 0), cv::Point(3, 3), cv::Point(7, 3), cv::Point(7, 0)};
    const Overlay zoomed = overlayGeometry(small, uniform(1.5));
    EXPECT_EQ(zoomed.marks[0], QRect(0, -5, 10, 10));
    EXPECT_EQ(zoomed.sides[1], QLine(4, 4, 10, 4));

    const Overlay origin = overlayGeometry(Quad{}, uniform(8.0));
    for (const QRect &mark : origin.marks)
        EXPECT_EQ(mark, QRect(-5, -5, 10, 10));
}
