// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labspace.h"

#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <optional>

// An input image as the viewer holds it after opening, with its corners.
struct InputImage {
    cv::Mat image;
    Quad corners;
};

// Reads `path` as the viewer's Open does and places the corners: `corners` when given, which must
// lie on pixels of the image, otherwise the inner quarter. Nothing, after printing the cause on
// one line naming the file, when the file cannot be read or the corners are refused.
std::optional<InputImage> readInputImage(const QString &path, const std::optional<Quad> &corners);

// The L*a*b* space of a picture read from `path` in `encoding`: in the ICC mode the profile its
// header carries, sRGB when it carries none or one that does not fit `channels`.
LabSpace inputLabSpace(const QString &path, LabEncoding encoding, int channels);
