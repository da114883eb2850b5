// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "declaredpicturesize.h"

#include <QFile>

#include <optional>

// One reader per header layout, each given the file at its first byte. Nothing when the header
// is cut short or declares no picture.

// Portable any-map: P1 to P6 (PBM, PGM, PPM) and P7 (PAM).
std::optional<DeclaredPicture> readPortableMapHeader(QFile &file);
// Portable float map: "PF" (colour) or "Pf" (grey).
std::optional<DeclaredPicture> readPortableFloatMapHeader(QFile &file);
// Radiance RGBE: text lines up to an empty one, then the resolution line.
std::optional<DeclaredPicture> readRadianceHeader(QFile &file);

std::optional<DeclaredPicture> readBitmapHeader(QFile &file);
std::optional<DeclaredPicture> readTiffHeader(QFile &file);
// The VP8X, VP8 or VP8L chunk of a RIFF WebP file.
std::optional<DeclaredPicture> readWebpHeader(QFile &file);
// The "ihdr" box of a JP2 file.
std::optional<DeclaredPicture> readJp2Header(QFile &file);
// The SIZ marker segment of a bare JPEG 2000 code stream.
std::optional<DeclaredPicture> readJ2kHeader(QFile &file);
std::optional<DeclaredPicture> readSunRasterHeader(QFile &file);
// The "dataWindow" and "channels" attributes of a single-part OpenEXR file.
std::optional<DeclaredPicture> readExrHeader(QFile &file);
