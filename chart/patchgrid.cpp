// SPDX-License-Identifier: GPL-3.0-or-later
#include "patchgrid.h"

#include <opencv2/imgproc.hpp>

#include <QCoreApplication>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("PatchGrid", text);
}

double cross(const cv::Point &a, const cv::Point &b, const cv::Point &c) {
    return double(b.x - a.x) * double(c.y - b.y) - double(b.y - a.y) * double(c.x - b.x);
}

// Empty for a strictly convex quadrilateral, in either turning direction.
QString shapeProblem(const Quad &corners) {
    int positive = 0;
    int negative = 0;
    for (size_t i = 0; i < 4; ++i) {
        const double turn = cross(corners[i], corners[(i + 1) % 4], corners[(i + 2) % 4]);
        if (turn == 0)
            return tr("The quadrilateral is degenerate: two corners coincide or three lie on a "
                      "line.");
        (turn > 0 ? positive : negative) += 1;
    }
    if (positive != 4 && negative != 4) {
        return positive == 2 ? tr("The quadrilateral is crossed: corners 0 to 3 must go round "
                                  "the chart in order.")
                             : tr("The quadrilateral is not convex.");
    }
    return {};
}

} // namespace

PatchGrid patchGrid(const Quad &corners, const GridLayout &layout) {
    PatchGrid grid;
    if (layout.rows < GridLayout::minCount || layout.rows > GridLayout::maxCount ||
        layout.columns < GridLayout::minCount || layout.columns > GridLayout::maxCount ||
        !(layout.insetPercent >= 0 && layout.insetPercent <= GridLayout::maxInsetPercent)) {
        grid.problem = tr("The grid needs 1 to 30 rows and columns and an inset of 0 to 45 %.");
        return grid;
    }
    grid.problem = shapeProblem(corners);
    if (!grid.problem.isEmpty())
        return grid;

    // The unit square (u along the columns, v along the rows) onto the quadrilateral.
    const cv::Point2f square[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    cv::Point2f quad[4];
    for (size_t i = 0; i < 4; ++i)
        quad[i] = cv::Point2f(corners[i]);
    const cv::Matx33d toQuad = cv::getPerspectiveTransform(square, quad);
    const auto map = [&toQuad](double u, double v) {
        const cv::Vec3d point = toQuad * cv::Vec3d(u, v, 1);
        return cv::Point2d(point[0] / point[2], point[1] / point[2]);
    };

    const double inset = layout.insetPercent / 100;
    grid.areas.reserve(size_t(layout.patchCount()));
    for (int row = 0; row < layout.rows; ++row) {
        const double top = (row + inset) / layout.rows;
        const double bottom = (row + 1 - inset) / layout.rows;
        for (int column = 0; column < layout.columns; ++column) {
            const double left = (column + inset) / layout.columns;
            const double right = (column + 1 - inset) / layout.columns;
            grid.areas.push_back(
                {map(left, top), map(left, bottom), map(right, bottom), map(right, top)});
        }
    }
    return grid;
}
