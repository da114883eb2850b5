// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"

class QImage;
class QPainter;
class QPixmap;
class QRect;

// Draws `picture` stretched over `target`, as QPainter::drawPixmap(target, picture) does, within
// `exposed`; smoothed when `smooth`. With a `source` profile the drawn pixels are then converted
// from it to the screen's colours, so the cost follows the painted area, not the picture;
// `buffer` holds them and is kept by the caller from paint to paint, as a fresh one of a view's
// size costs its page faults each time.
void drawPicture(QPainter &painter, const QRect &exposed, const QRect &target,
                 const QPixmap &picture, bool smooth, const ColourProfilePtr &source,
                 QImage &buffer);
