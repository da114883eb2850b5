// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>

class QScrollBar;

// Scrolls the view for a navigation key: the arrows by a line, Page Up and Page Down by a page,
// Home to the top-left and End to the bottom-right. False, with nothing moved, for other keys.
bool scrollForKey(int key, QScrollBar &horizontal, QScrollBar &vertical);

// Moves the view so that the picture follows a mouse that moved by `movement`.
void panBy(const QPoint &movement, QScrollBar &horizontal, QScrollBar &vertical);
