// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The size a picture file declares in its header, read without decoding any pixel.
struct DeclaredPicture {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // Bytes one decoded pixel takes, all channels together.
    int bytesPerPixel = 0;

    std::int64_t pixels() const { return width * height; }
};

// The declared size of a PNG, JPEG, BMP or TIFF file, told by its content rather than its name;
// nothing for other formats and for headers that cannot be read.
std::optional<DeclaredPicture> readDeclaredPicture(const QString &path);
