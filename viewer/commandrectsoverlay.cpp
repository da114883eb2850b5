// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandrectsoverlay.h"

#include "canvasgeometry.h"
#include "qcvimage.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPen>

namespace {

constexpr int numberBoxSide = 14;
// From the corner to the near side of its number's box: beyond the 10 x 10 mark.
constexpr int numberGap = 6;

std::optional<QRect> widgetRect(const cv::Rect &rect, const QPointF &scale) {
    if (rect.width <= 0 || rect.height <= 0)
        return std::nullopt;
    const QPoint topLeft = imageToOverlay(rect.tl(), scale);
    const QPoint bottomRight = imageToOverlay(rect.br(), scale);
    // Its outline runs through both points, as the quadrilateral's sides run through corners.
    return QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
}

// The numbers stand outward: 0 up-left, 1 down-left, 2 down-right, 3 up-right.
QRect numberBox(const QPoint &corner, int index) {
    const bool left = index == 0 || index == 1;
    const bool up = index == 0 || index == 3;
    const int x = left ? corner.x() - numberGap - numberBoxSide : corner.x() + numberGap;
    const int y = up ? corner.y() - numberGap - numberBoxSide : corner.y() + numberGap;
    return {x, y, numberBoxSide, numberBoxSide};
}

void drawDashed(QPainter &painter, const QRect &rect, const QColor &colour, qreal offset) {
    QPen pen(colour, 1.0, Qt::CustomDashLine);
    pen.setDashPattern({4.0, 4.0});
    // Shifted by one dash against the other rectangle, so both show where their sides meet.
    pen.setDashOffset(offset);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // One pixel inside its outline, so that along the quadrilateral's sides, which are drawn
    // over it, both stay visible.
    painter.drawRect(rect.width() > 2 && rect.height() > 2 ? rect.adjusted(1, 1, -1, -1) : rect);
}

} // namespace

CommandRectsGeometry commandRectsGeometry(const Quad &corners, const QPointF &scale) {
    CommandRectsGeometry geometry;
    geometry.recoloured = widgetRect(rectFromCorners013(corners), scale);
    geometry.saved = widgetRect(rectFromCorners02(corners), scale);
    for (int i = 0; i < 4; ++i)
        geometry.numberBoxes[i] = numberBox(imageToOverlay(corners[i], scale), i);
    return geometry;
}

QString commandRectsLegend() {
    return QCoreApplication::translate(
        "CommandRects", "Dashed orange: the rectangle Set Mean Lab Value re-colours (corner 0 to "
                        "the x of corner 3 and the y of corner 1). Dashed blue: the rectangle "
                        "Save and the series write (corner 0 to corner 2).");
}

QString commandRectsShortLegend() {
    return QCoreApplication::translate("CommandRects",
                                       "Orange: Set Mean Lab's rectangle; blue: Save's");
}

void addCommandRectsOverlay(QCVImage &canvas) {
    canvas.setStatusTip(commandRectsShortLegend());
    canvas.setToolTip(commandRectsLegend());
    canvas.addOverlayPainter([&canvas](QPainter &painter, const QPointF &scale) {
        if (canvas.isCurrentImageEmpty())
            return;
        const CommandRectsGeometry geometry =
            commandRectsGeometry(quadFromPoints(canvas.cornerPoints(false)), scale);
        if (geometry.recoloured)
            drawDashed(painter, *geometry.recoloured, recolouredRectColour, 0.0);
        if (geometry.saved)
            drawDashed(painter, *geometry.saved, savedRectColour, 4.0);

        QFont font = painter.font();
        font.setBold(true);
        painter.setFont(font);
        for (int i = 0; i < 4; ++i) {
            const QRect &box = geometry.numberBoxes[i];
            painter.setPen(Qt::white);
            painter.drawText(box.translated(1, 1), Qt::AlignCenter, QString::number(i));
            painter.setPen(QColor(169, 1, 219));
            painter.drawText(box, Qt::AlignCenter, QString::number(i));
        }
    });
}
