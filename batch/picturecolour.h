// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "labspace.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <vector>

// What a command takes the pictures' numbers to be: --encoding and, in the ICC mode, the profile
// --profile assigns in place of the pictures' own.
struct PictureColour {
    LabEncoding encoding = LabEncoding::Linear;
    // Null: each picture's embedded profile, or sRGB when it has none.
    ColourProfilePtr assigned;
};

// The L*a*b* of a picture read from `path` with `pixels` and the ICC bytes its header carries
// (empty when none, or when the encoding is not the ICC one). In the ICC mode: the assigned
// profile, else the embedded one, else sRGB; an assigned profile that does not fit the picture
// is reported on standard error naming `path`, and the picture is then taken as sRGB.
LabSpace pictureLabSpace(const PictureColour &colour, const QString &path, const cv::Mat &pixels,
                         const std::vector<unsigned char> &embedded);

// The ICC bytes a file written from numbers in `space` to `path` carries: none in the OpenCV
// modes; in the ICC mode the profile, except that pictures taken as sRGB go without it into
// formats that cannot carry one.
std::vector<unsigned char> profileToEmbed(const LabSpace &space, const QString &path);
