// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cvprocessing.h"
#include "quad.h"

#include <array>
#include <cstddef>
#include <map>

// What the canvas's store holds at one moment: its list of images (headers only, so a state
// costs no pixels of its own while the store still holds them) and both quadrilaterals.
struct CanvasState {
    std::array<cv::Mat, CVProcessing::slotCount> images;
    int count = 0;
    Quad corners;
    Quad targetCorners;
};

CanvasState captureState(const CVProcessing &store);
void restoreState(CVProcessing &store, const CanvasState &state);

// Same images (the very buffers) and the same corners.
bool sameState(const CanvasState &a, const CanvasState &b);

// Pixel buffers by their start, with their size in bytes: shared buffers count once.
using BufferBytes = std::map<const void *, std::size_t>;
void addBuffer(BufferBytes &buffers, const cv::Mat &image);
void addBuffers(BufferBytes &buffers, const CanvasState &state);
std::size_t totalBytes(const BufferBytes &buffers);
