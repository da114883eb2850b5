// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

// Writes the part `rect` of `image` to `path` as the viewer's Save does, through a temporary file
// in the same folder that is renamed over `path` once complete: a failed write leaves no partial
// file in its place, and `path` may be the file the image was read from. False, with the cause in
// `error`, when it could not be written.
bool writeOutputRect(const cv::Mat &image, const cv::Rect &rect, const QString &path,
                     QString *error);
