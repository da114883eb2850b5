// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

// The file bytes of the part `rect` of `image` in the format that the extension of `path` (a
// resolved path, no drive prefix) selects, with the writer's default settings. 16-bit data goes to
// formats that hold only 8 bits divided by 257 (rounded); float data only to TIFF (uncompressed,
// so exact), PFM, Radiance HDR and OpenEXR, as 32-bit floats; signed data only to TIFF, as it is.
// Refuses up front, with the cause in error when given: an empty image, a rectangle that is empty
// or not inside the image, an extension no writer takes, a folder that cannot take the file,
// signed data for other formats than TIFF, float data for formats that would flatten it,
// the rules of imageencodingfloat.h, JPEG 2000 pictures under 32 x 32 and channel counts the
// portable formats do not hold.
std::optional<std::vector<uchar>> encodeImageRect(const cv::Mat &image, const cv::Rect &rect,
                                                  const QString &path, QString *error = nullptr);

// "signed 16-bit" and the like, for the depth of `type`.
QString sampleTypeName(int type);
