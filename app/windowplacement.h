// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Where a top-level window of frame `frame` goes among screens with these available areas
// (the first is the primary): on the screen it overlaps most, shrunk to fit it and moved inside
// it; centred on the primary screen when it overlaps none.
QRect placedOnScreens(const QRect &frame, const QList<QRect> &availableAreas);

// Fixes the window's minimum size at what its layout needs now, at most its screen: a dock
// whose content later asks for more then no longer makes the window grow by itself.
void holdMinimumSize(QWidget &window);

// Moves and resizes the window so that its whole frame lies on a screen, as above.
void keepWindowOnScreen(QWidget &window);
