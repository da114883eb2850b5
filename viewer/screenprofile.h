// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"

#include <QByteArray>

// The monitor profile a colour manager puts on the X11 root window (_ICC_PROFILE, 8-bit
// CARDINAL); empty on other platforms, without one, or without a QGuiApplication.
QByteArray x11ScreenProfileBytes();

// The profile pictures are shown in: the one in `icc` when it is an RGB profile Little CMS can
// read, otherwise sRGB.
ColourProfilePtr screenProfileFrom(const QByteArray &icc);
