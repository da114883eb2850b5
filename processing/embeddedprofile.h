// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

// The ICC profile a picture file's header carries. PNG (iCCP), JPEG (APP2 ICC_PROFILE) and TIFF
// (tag 34675) are read; the format is told by the content, not the name. Other formats carry none.
struct EmbeddedProfile {
    // The profile's bytes exactly as stored; empty when there is none or it could not be read.
    std::vector<unsigned char> icc;
    // Why the header or the profile in it could not be read, in words for the user; empty when
    // it could, whether or not it holds a profile.
    QString error;

    bool found() const { return !icc.empty(); }
};

// Reads only the header of the file `name` ("C:/" names are resolved against the drive root),
// never the pixels. Damaged and hostile files give an error, never a crash.
EmbeddedProfile readEmbeddedProfile(const QString &name);
// The same for a file's bytes held in memory.
EmbeddedProfile readEmbeddedProfile(const unsigned char *bytes, std::size_t size);

// The encoded PNG, JPEG or TIFF file `encoded` with `icc` embedded, replacing any profile it
// carried; pixels and other metadata are kept as they are. PNG gets a compressed iCCP chunk
// after IHDR, JPEG APP2 ICC_PROFILE markers after SOI (and the JFIF APP0 markers), TIFF the tag in
// its first directory. Nothing, with the reason in error when given, for other formats, for damaged
// input and for a profile too large for the format.
std::optional<std::vector<unsigned char>> embedProfile(const std::vector<unsigned char> &encoded,
                                                       const std::vector<unsigned char> &icc,
                                                       QString *error = nullptr);

// Whether embedProfile takes files of the format the extension of `path` selects.
bool formatCarriesProfile(const QString &path);
