// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One reader and one embedder per format, shared by embeddedprofile.cpp only.

#include "embeddedprofile.h"

#include <QIODevice>

// Each reader starts at the beginning of `device` and reads no further than the header.
EmbeddedProfile readPngProfile(QIODevice &device);
EmbeddedProfile readJpegProfile(QIODevice &device);
EmbeddedProfile readTiffProfile(QIODevice &device);

std::optional<std::vector<unsigned char>> embedPngProfile(const std::vector<unsigned char> &png,
                                                          const std::vector<unsigned char> &icc,
                                                          QString *error);
std::optional<std::vector<unsigned char>> embedJpegProfile(const std::vector<unsigned char> &jpeg,
                                                           const std::vector<unsigned char> &icc,
                                                           QString *error);
std::optional<std::vector<unsigned char>> embedTiffProfile(const std::vector<unsigned char> &tiff,
                                                           const std::vector<unsigned char> &icc,
                                                           QString *error);
