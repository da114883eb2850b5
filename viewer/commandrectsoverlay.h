// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "quad.h"

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <array>
#include <optional>

class QCVImage;

// The rectangles two commands act on, drawn dashed over the canvas beside the quadrilateral:
// "Set Mean Lab Value" re-colours the one from corner 0 to the x of corner 3 and the y of
// corner 1; Save and the series write the one from corner 0 to corner 2. Each corner's number
// stands beside its mark.
inline const QColor recolouredRectColour{255, 140, 0};
inline const QColor savedRectColour{0, 190, 255};

// Widget pixels, at `scale` widget pixels per image pixel.
struct CommandRectsGeometry {
    // Nothing for a rectangle with no area (crossed corners included): it acts on nothing.
    std::optional<QRect> recoloured;
    std::optional<QRect> saved;
    // Where each corner number's text box lies: outside the quadrilateral, beside the mark.
    std::array<QRect, 4> numberBoxes;
};
CommandRectsGeometry commandRectsGeometry(const Quad &corners, const QPointF &scale);

// What the dashed rectangles and numbers mean, in full for the canvas's tooltip.
QString commandRectsLegend();
// The same in a few words, for the status bar beside the read-out.
QString commandRectsShortLegend();

// Adds the drawing to the canvas's overlay and the legends to its tips.
void addCommandRectsOverlay(QCVImage &canvas);
