// SPDX-License-Identifier: GPL-3.0-or-later
#include "canvasgeometry.h"
#include "commandrectsoverlay.h"

#include <gtest/gtest.h>

TEST(CommandRects, EachCommandsRectangleAtTheZoom) {
    // A skewed quadrilateral: the two rectangles differ from each other and from the outline.
    const Quad corners{{{10, 20}, {12, 80}, {100, 90}, {90, 15}}};
    const CommandRectsGeometry atTwo = commandRectsGeometry(corners, {2.0, 2.0});
    ASSERT_TRUE(atTwo.recoloured && atTwo.saved);
    EXPECT_EQ(*atTwo.recoloured, QRect(20, 40, 160, 120));
    EXPECT_EQ(*atTwo.saved, QRect(20, 40, 180, 140));

    // A stretched fit: each axis its own scale, truncated like the quadrilateral's corners.
    const CommandRectsGeometry stretched = commandRectsGeometry(corners, {0.5, 1.5});
    ASSERT_TRUE(stretched.recoloured && stretched.saved);
    EXPECT_EQ(stretched.recoloured->topLeft(), QPoint(5, 30));
    EXPECT_EQ(stretched.recoloured->bottomRight(), QPoint(44, 119));
    EXPECT_EQ(stretched.saved->topLeft(), QPoint(5, 30));
    EXPECT_EQ(stretched.saved->bottomRight(), QPoint(49, 134));
}

TEST(CommandRects, RectanglesThatActOnNothingAreNotDrawn) {
    // Corner 3 left of corner 0: nothing is re-coloured, but Save still has its rectangle.
    const Quad crossed{{{50, 20}, {52, 80}, {100, 90}, {40, 15}}};
    const CommandRectsGeometry geometry = commandRectsGeometry(crossed, {1.0, 1.0});
    EXPECT_FALSE(geometry.recoloured);
    ASSERT_TRUE(geometry.saved);
    EXPECT_EQ(*geometry.saved, QRect(50, 20, 50, 70));

    const Quad flat{{{5, 5}, {5, 5}, {30, 5}, {30, 5}}};
    const CommandRectsGeometry none = commandRectsGeometry(flat, {1.0, 1.0});
    EXPECT_FALSE(none.recoloured);
    EXPECT_FALSE(none.saved);
}

TEST(CommandRects, NumbersStandOutsideBesideTheirMarks) {
    const Quad corners{{{40, 40}, {40, 140}, {160, 140}, {160, 40}}};
    for (const QPointF scale : {QPointF(1.0, 1.0), QPointF(3.0, 0.5)}) {
        SCOPED_TRACE(testing::Message() << scale.x() << " x " << scale.y());
        const CommandRectsGeometry geometry = commandRectsGeometry(corners, scale);
        const Overlay overlay = overlayGeometry(corners, scale);
        for (int i = 0; i < 4; ++i) {
            const QRect &box = geometry.numberBoxes[i];
            const QRect &mark = overlay.marks[i];
            EXPECT_FALSE(box.intersects(mark)) << i;
            // Beside the mark: within a box's width of it.
            EXPECT_LE((box.center() - mark.center()).manhattanLength(), 2 * (box.width() + 10));
            const bool left = i < 2;
            const bool up = i == 0 || i == 3;
            EXPECT_EQ(box.center().x() < mark.center().x(), left) << i;
            EXPECT_EQ(box.center().y() < mark.center().y(), up) << i;
        }
    }
}
