// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QWidget;

// Before a command drops a picture changed since it was opened or saved: asks "Save",
// "Discard" or "Cancel". True when the command may go on: discarded, or saved by `save` (which
// returns false when its own dialog was cancelled or the write failed).
bool mayDropChangedPicture(QWidget *parent, const std::function<bool()> &save);
