// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"
#include "cvprocessing.h"
#include "quad.h"

#include <array>
#include <cstddef>
#include <map>

// What the canvas's store holds at one moment: its list of images (headers only, so a state
// costs no pixels of its own while the store still holds them), both quadrilaterals and the
// current picture's profile.
struct CanvasState {
    std::array<cv::Mat, CVProcessing::slotCount> images;
    int count = 0;
    Quad corners;
    Quad targetCorners;
    ColourProfilePtr profile;
};

CanvasState captureState(const CVProcessing &store);
void restoreState(CVProcessing &store, const CanvasState &state);

// Same images (the very buffers), the same corners and the same profile object.
bool sameState(const CanvasState &a, const CanvasState &b);

// Pixel buffers by their start, with their size in bytes: shared buffers count once.
using BufferBytes = std::map<const void *, std::size_t>;
void addBuffer(BufferBytes &buffers, const cv::Mat &image);
void addBuffers(BufferBytes &buffers, const CanvasState &state);
std::size_t totalBytes(const BufferBytes &buffers);
