// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"
#include "quad.h"

#include <opencv2/core/mat.hpp>

// The cells the shading correction measures, over the region from corner 0 to the x of corner 3
// and the y of corner 1. The grid starts at the region's origin; the region's last columns and
// rows that make no whole cell are left out.
struct ShadingGrid {
    cv::Point origin;
    int columns = 0;
    int rows = 0;
    int cellWidth = 0;
    int cellHeight = 0;

    bool isEmpty() const { return columns <= 0 || rows <= 0; }
    cv::Rect covered() const {
        return {origin.x, origin.y, columns * cellWidth, rows * cellHeight};
    }
};

// Cells of about `cellSize` pixels: columns = region width / cellSize and cell width = region
// width / columns (at least cellSize, under twice it); rows likewise from the height. An empty
// grid when `cellSize` is not positive or the region holds no whole cell either way (which
// includes crossed corners).
ShadingGrid shadingGrid(const Quad &corners, int cellSize);

// Evens out channel 0 of an 8-bit three-channel Lab picture in place over the grid: each pixel's
// lightness L becomes L x G / ref, saturated to 255, where G is the mean of the 8-bit cell means
// and ref the pixel's local reference from the means of the cells around it; where ref is 0 the
// pixel keeps its lightness. False, with nothing changed, for another type, an empty grid or a
// grid not inside the picture.
bool correctLabLightness(cv::Mat &lab, const ShadingGrid &grid);

// The shading correction of an 8-bit blue-green-red image (three or four channels) over the
// region of `corners`: BGR to Lab in `encoding`, correctLabLightness, back to BGR in the same
// encoding. Returns the corrected 8-bit three-channel picture in a new buffer, `bgr` untouched;
// empty when refused (another type, a region with no whole cell, or a region not inside the
// image).
cv::Mat shadingCorrected(const cv::Mat &bgr, const Quad &corners, int cellSize,
                         LabEncoding encoding = LabEncoding::Linear);
