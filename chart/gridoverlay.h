// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patchgrid.h"

#include <QPointF>

class QPainter;

// Draws the grid's sample areas in widget pixels (image point p at p * scale); the patch
// `highlighted` (the worst, or -1 for none) stands out.
void paintPatchGrid(QPainter &painter, const QPointF &scale, const PatchGrid &grid,
                    int highlighted);
