// SPDX-License-Identifier: GPL-3.0-or-later
#include "gridoverlay.h"

#include <QPainter>
#include <QPolygonF>

void paintPatchGrid(QPainter &painter, const QPointF &scale, const PatchGrid &grid,
                    int highlighted) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    const QPen normal(QColor(0, 230, 255), 0);
    const QPen worst(QColor(255, 40, 40), 2);
    for (size_t patch = 0; patch < grid.areas.size(); ++patch) {
        QPolygonF outline;
        for (const cv::Point2d &point : grid.areas[patch])
            outline << QPointF(point.x * scale.x(), point.y * scale.y());
        painter.setPen(int(patch) == highlighted ? worst : normal);
        painter.drawPolygon(outline);
    }
    // Patch 1 is marked, so the grid's orientation on the chart can be checked at a glance.
    if (!grid.areas.empty()) {
        const cv::Point2d &first = grid.areas.front()[0];
        painter.setPen(normal);
        painter.drawText(QPointF(first.x * scale.x() + 3, first.y * scale.y() + 13),
                         QStringLiteral("1"));
    }
}
