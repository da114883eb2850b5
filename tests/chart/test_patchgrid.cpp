// SPDX-License-Identifier: GPL-3.0-or-later
#include "patchgrid.h"

#include "qstringprinting.h"

#include <gtest/gtest.h>

namespace {

void expectPoint(const cv::Point2d &actual, const cv::Point2d &expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6);
    EXPECT_NEAR(actual.y, expected.y, 1e-6);
}

// The point where the lines a-b and c-d cross.
cv::Point2d intersection(cv::Point2d a, cv::Point2d b, cv::Point2d c, cv::Point2d d) {
    const cv::Point2d r = b - a;
    const cv::Point2d s = d - c;
    const double t = (c - a).cross(s) / r.cross(s);
    return a + t * r;
}

} // namespace

TEST(PatchGrid, FollowsCornerOrderAndInsetOnARectangle) {
    const Quad rectangle = {cv::Point(100, 50), cv::Point(100, 450), cv::Point(700, 450),
                            cv::Point(700, 50)};
    const PatchGrid full = patchGrid(rectangle, {4, 6, 0});
    ASSERT_TRUE(full.problem.isEmpty());
    ASSERT_EQ(full.areas.size(), 24u);
    // Patch (0, 0) at corner 0; the next index is the next column, towards corner 3.
    const PatchArea &first = full.areas[0];
    expectPoint(first[0], {100, 50});
    expectPoint(first[1], {100, 150});
    expectPoint(first[2], {200, 150});
    expectPoint(first[3], {200, 50});
    expectPoint(full.areas[1][0], {200, 50});
    // Row 1 lies towards corner 1; the last patch ends at corner 2.
    expectPoint(full.areas[6][0], {100, 150});
    expectPoint(full.areas[23][2], {700, 450});

    const PatchGrid inset = patchGrid(rectangle, {4, 6, 25});
    ASSERT_EQ(inset.areas.size(), 24u);
    expectPoint(inset.areas[0][0], {125, 75});
    expectPoint(inset.areas[0][2], {175, 125});
    expectPoint(inset.areas[23][0], {625, 375});
    expectPoint(inset.areas[23][2], {675, 425});
}

TEST(PatchGrid, FollowsThePerspectiveOfTheQuadrilateral) {
    // Far side (corners 2 and 3) shorter, as a chart leaning away.
    const Quad leaning = {cv::Point(100, 100), cv::Point(40, 500), cv::Point(660, 460),
                          cv::Point(520, 160)};
    const PatchGrid grid = patchGrid(leaning, {2, 2, 0});
    ASSERT_EQ(grid.areas.size(), 4u);
    // The image of the square's centre is where the quadrilateral's diagonals cross.
    const cv::Point2d centre = intersection(leaning[0], leaning[2], leaning[1], leaning[3]);
    // Each of the four patches touches it with its inner corner.
    expectPoint(grid.areas[0][2], centre);
    expectPoint(grid.areas[1][1], centre);
    expectPoint(grid.areas[2][3], centre);
    expectPoint(grid.areas[3][0], centre);
}

TEST(PatchGrid, KeepsLinesStraightAndCellsShrinkingWithDistance) {
    const Quad leaning = {cv::Point(100, 100), cv::Point(40, 500), cv::Point(660, 460),
                          cv::Point(520, 160)};
    const PatchGrid grid = patchGrid(leaning, {3, 5, 0});
    ASSERT_EQ(grid.areas.size(), 15u);
    // Corner 0 of every patch in a row lies on one straight line through corners 0 and 3's edge.
    for (int row = 0; row < 3; ++row) {
        const cv::Point2d start = grid.areas[size_t(row * 5)][0];
        const cv::Point2d end = grid.areas[size_t(row * 5 + 4)][3];
        for (int column = 1; column < 5; ++column) {
            const cv::Point2d point = grid.areas[size_t(row * 5 + column)][0];
            EXPECT_NEAR((end - start).cross(point - start) / cv::norm(end - start), 0, 1e-6);
        }
    }
    // Columns towards corners 2 and 3 lie further away: narrower along the top edge.
    const double firstWidth = cv::norm(grid.areas[0][3] - grid.areas[0][0]);
    const double lastWidth = cv::norm(grid.areas[4][3] - grid.areas[4][0]);
    EXPECT_LT(lastWidth, firstWidth);
}

TEST(PatchGrid, RefusesDegenerateCrossedAndConcaveQuadrilateralsAndBadLayouts) {
    const Quad collinear = {cv::Point(0, 0), cv::Point(0, 100), cv::Point(0, 200),
                            cv::Point(100, 0)};
    const Quad coinciding = {cv::Point(0, 0), cv::Point(0, 0), cv::Point(100, 100),
                             cv::Point(100, 0)};
    const Quad crossed = {cv::Point(0, 0), cv::Point(100, 100), cv::Point(0, 100),
                          cv::Point(100, 0)};
    const Quad concave = {cv::Point(0, 0), cv::Point(0, 100), cv::Point(20, 20), cv::Point(100, 0)};
    const QString degenerate = QStringLiteral(
        "The quadrilateral is degenerate: two corners coincide or three lie on a line.");
    for (const Quad &quad : {collinear, coinciding}) {
        const PatchGrid grid = patchGrid(quad, {});
        EXPECT_TRUE(grid.areas.empty());
        EXPECT_EQ(grid.problem, degenerate);
    }
    EXPECT_EQ(patchGrid(crossed, {}).problem,
              QStringLiteral("The quadrilateral is crossed: corners 0 to 3 must go round the "
                             "chart in order."));
    EXPECT_EQ(patchGrid(concave, {}).problem, QStringLiteral("The quadrilateral is not convex."));

    // Mirrored (clockwise) corner order is a valid chart seen from the other side.
    const Quad mirrored = {cv::Point(0, 0), cv::Point(100, 0), cv::Point(100, 100),
                           cv::Point(0, 100)};
    EXPECT_EQ(patchGrid(mirrored, {}).areas.size(), 24u);

    const QString badLayout =
        QStringLiteral("The grid needs 1 to 30 rows and columns and an inset of 0 to 45 %.");
    for (const GridLayout &layout :
         {GridLayout{0, 6, 25}, GridLayout{4, 31, 25}, GridLayout{4, 6, 46}, GridLayout{4, 6, -1}})
        EXPECT_EQ(patchGrid(mirrored, layout).problem, badLayout);
    EXPECT_EQ(patchGrid(mirrored, {30, 30, 45}).areas.size(), 900u);
}
