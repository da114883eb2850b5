// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <optional>
#include <vector>

// A picture read from a file together with the ICC profile its header carries.
struct PictureFile {
    // As readImageFile reads them; empty when the file could not be read.
    cv::Mat pixels;
    // The embedded profile, checked to open in Little CMS and to fit the pixels' channels; empty
    // when the file carries none or it was left out.
    std::vector<unsigned char> icc;
    // Why a profile the file carries was left out, in words for the status bar; empty otherwise.
    // The pixels are read all the same.
    QString profileProblem;
};

// readImageFile, then the profile from the file's header (the pixels are decoded once). error
// is set, when given, only when the pixels could not be read.
PictureFile readPictureFile(const QString &name, QString *error = nullptr);

// encodeImageRect with `icc` embedded. With an empty `icc` the bytes are exactly those of
// encodeImageRect. A profile is embedded only in PNG, JPEG and TIFF files; for other formats
// it is refused with the cause in error, since a file without it would show other colours.
std::optional<std::vector<uchar>>
encodeImageRectWithProfile(const cv::Mat &image, const cv::Rect &rect, const QString &path,
                           const std::vector<unsigned char> &icc, QString *error = nullptr);

// writeImageRect with `icc` embedded as encodeImageRectWithProfile does, through the same
// replace-on-success write. With an empty `icc` it is writeImageRect.
bool writeImageRectWithProfile(const cv::Mat &image, const cv::Rect &rect, const QString &name,
                               const std::vector<unsigned char> &icc, QString *error = nullptr);
