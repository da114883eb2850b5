// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <limits>
#include <optional>

// The size a picture file declares in its header, read without decoding any pixel.
struct DeclaredPicture {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // Bytes one decoded pixel takes, all channels together.
    int bytesPerPixel = 0;
    // The fewest bytes the file must hold for its pixels, in formats that store them without
    // compression; 0 where it cannot be told.
    std::int64_t leastFileBytes = 0;

    // These saturate rather than overflow on forged sides.
    std::int64_t pixels() const { return saturatedProduct(width, height); }
    std::int64_t decodedBytes() const { return saturatedProduct(pixels(), bytesPerPixel); }

    static std::int64_t saturatedProduct(std::int64_t a, std::int64_t b) {
        if (a <= 0 || b <= 0)
            return 0;
        return a > std::numeric_limits<std::int64_t>::max() / b
                   ? std::numeric_limits<std::int64_t>::max()
                   : a * b;
    }
};

// The declared size of a picture file in any format the image library reads here, told by its
// content rather than its name: PNG, JPEG, BMP, TIFF, WebP, JPEG 2000 (JP2 or bare code stream),
// the portable maps (PBM, PGM, PPM, PAM, PFM), Sun raster, Radiance HDR and OpenEXR. Nothing,
// with the reason in `problem` when given, for other content and for headers that cannot be read.
std::optional<DeclaredPicture> readDeclaredPicture(const QString &path, QString *problem = nullptr);
