// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labspace.h"
#include "picturecolour.h"
#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <optional>

// An input image as the viewer holds it after opening, with its corners and what its numbers are.
struct InputImage {
    cv::Mat image;
    Quad corners;
    LabSpace space;
};

// Reads `path` as the viewer's Open does and places the corners: `corners` when given, which must
// lie on pixels of the image, otherwise the inner quarter. In the ICC mode the profile is read
// from the header too (see pictureLabSpace); one that cannot be used is reported on standard
// error and left out. Nothing, after printing the cause on one line naming the file, when the
// file cannot be read or the corners are refused.
std::optional<InputImage> readInputImage(const QString &path, const std::optional<Quad> &corners,
                                         const PictureColour &colour = {});
