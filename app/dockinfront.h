// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QDockWidget;

// Keeps the dock's content shown only while the dock is in front: open and not behind another
// dock's tab (the main window moves such a dock out of its own area instead of hiding it).
// `changed` runs after each change, e.g. to repaint what the content draws elsewhere.
void showContentOnlyInFront(QDockWidget &dock, std::function<void()> changed);
