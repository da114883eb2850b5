// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartcolours.h"
#include "quad.h"

#include <opencv2/core/mat.hpp>

#include <array>
#include <string>

// A synthetic photograph of a colour chart on a table: the board seen in perspective, lit from
// one side so its lightness drifts across the frame, with mild sensor noise. The same picture
// every time (the noise comes from a fixed seed).
struct DemoPhoto {
    // 8-bit BGR, demoPhotoSize.
    cv::Mat image;
    // Where things lie in the photo: the board's outline, the centre of each patch (row by row,
    // as chartColours) and the outline of the large neutral grey card below the patches.
    Quad board;
    std::array<cv::Point, chartColumns * chartRows> patchCentres;
    Quad greyCard;
    // The corners whose chartRows x chartColumns grid has a cell centred on each patch: the
    // patches' outline pushed out by half the gap between them.
    Quad patchGrid;
};

inline const cv::Size demoPhotoSize(1600, 1200);

DemoPhoto renderDemoPhoto();

// Renders the photograph and writes it to path (TIFF for a ".tif" name), creating missing parent
// folders. Returns false with the cause in error when the folder or the file cannot be written.
bool writeDemoPhoto(const std::string &path, std::string &error);
