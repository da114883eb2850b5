// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lcms2.h>

// A profile's colour space as the 32-bit signature in its header. A damaged header can hold any
// value, most of them outside the enumeration Little CMS returns, so it is kept as a number.
inline cmsUInt32Number profileColourSpace(cmsHPROFILE profile) {
    return static_cast<cmsUInt32Number>(cmsGetColorSpace(profile));
}
