// SPDX-License-Identifier: GPL-3.0-or-later
#include "canvasstate.h"

#include <algorithm>
#include <numeric>

namespace {

bool sameBuffer(const cv::Mat &a, const cv::Mat &b) {
    return a.data == b.data && a.size == b.size && a.type() == b.type() &&
           (a.empty() || a.step[0] == b.step[0]);
}

} // namespace

CanvasState captureState(const CVProcessing &store) {
    CanvasState state;
    std::copy(std::begin(store.sourceImages), std::end(store.sourceImages), state.images.begin());
    state.count = store.sourceCount;
    state.corners = quadFromPoints(store.corners);
    state.targetCorners = quadFromPoints(store.targetCorners);
    return state;
}

void restoreState(CVProcessing &store, const CanvasState &state) {
    std::copy(state.images.begin(), state.images.end(), std::begin(store.sourceImages));
    store.sourceCount = state.count;
    std::copy(state.corners.begin(), state.corners.end(), store.corners);
    std::copy(state.targetCorners.begin(), state.targetCorners.end(), store.targetCorners);
}

bool sameState(const CanvasState &a, const CanvasState &b) {
    return a.count == b.count && a.corners == b.corners && a.targetCorners == b.targetCorners &&
           a.profile == b.profile &&
           std::equal(a.images.begin(), a.images.end(), b.images.begin(), sameBuffer);
}

void addBuffer(BufferBytes &buffers, const cv::Mat &image) {
    if (image.empty())
        return;
    // The whole allocation, also when the header shows only part of it.
    const uchar *start = image.datastart;
    const std::size_t bytes = static_cast<std::size_t>(image.dataend - image.datastart);
    std::size_t &known = buffers[start];
    known = std::max(known, bytes);
}

void addBuffers(BufferBytes &buffers, const CanvasState &state) {
    for (const cv::Mat &image : state.images)
        addBuffer(buffers, image);
}

std::size_t totalBytes(const BufferBytes &buffers) {
    return std::accumulate(buffers.begin(), buffers.end(), std::size_t{0},
                           [](std::size_t sum, const auto &entry) { return sum + entry.second; });
}
