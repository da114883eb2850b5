// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

// Takes bytes through what the program does with ICC profiles: as a picture file whose header may
// carry one (read, checked against the picture's channels and, when usable, used for a transform),
// as a profile itself (opened with Little CMS and used for floating-point transforms to L*a*b* and
// back), and as a profile embedded into small PNG, JPEG and TIFF files and read back. Aborts when
// JPEG or TIFF give back other bytes than were embedded; any other fault shows as a crash or a
// sanitizer report.
void exerciseProfileBytes(const unsigned char *data, std::size_t size);
