// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Takes a file through what the program does with a picture the user opens: the reader, the
// conversion for display, and on whatever decodes the warp, the shading correction and a mean Lab
// adjustment of the inner quarter, each guarded as the program guards it. Returns whether the
// file decoded. A fault shows as a crash or a sanitizer report, never as a return value.
bool exerciseImageFile(const QString &path);
