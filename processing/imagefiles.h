// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

// Reads an image file unchanged (depth and channels as stored; colour in blue-green-red order).
// Names beginning with "C:/" are resolved against the drive root. Returns an empty matrix when
// the file is missing, not an image, declares a picture larger than currentPictureSizeLimit(),
// is in a format whose size readDeclaredPicture cannot tell before decoding, or the reader gives
// up (error tells why when given).
cv::Mat readImageFile(const QString &name, QString *error = nullptr);

// Writes the part `rect` of `image` to the file as encodeImageRect encodes it, through a temporary
// file renamed over the target, so a failed write leaves an existing file as it was. Returns false
// with the cause in error when given.
bool writeImageRect(const cv::Mat &image, const cv::Rect &rect, const QString &name,
                    QString *error = nullptr);

// The corners on the inner quarter of an image of the given size.
Quad innerQuarterCorners(const cv::Size &size);
