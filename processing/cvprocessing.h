// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

// The image store carried by the canvas and by the calibration panel: two lists of ten matrix
// slots and two corner quadrilaterals. Slots hold matrix headers, so pushing and reading never
// copy pixels; a write through any header of a buffer shows through all of them.
class CVProcessing {
public:
    static constexpr int slotCount = 10;

    CVProcessing() = default;

    // Appends a non-empty matrix to the source or the result list. When the list is full the
    // oldest entry is dropped, so the matrix pushed last is always the list's last entry.
    bool pushImage(const cv::Mat &image, bool toSource);

    // The slot chosen by index: with index -1 and relative false the last entry; a relative
    // index counts back from it. Indices are kept to the used slots. On a list with no entry an
    // empty matrix is returned, which callers may overwrite without effect.
    cv::Mat &image(bool fromSource, int index, bool relative);

    // The first of the four points of `corners` (target false) or `targetCorners` (true).
    cv::Point *cornerPoints(bool target);

    bool isCurrentImageEmpty() const;

    cv::Mat sourceImages[slotCount];
    cv::Mat resultImages[slotCount];
    int sourceCount = 0;
    int resultCount = 0;
    cv::Point corners[4];
    cv::Point targetCorners[4];

private:
    cv::Mat noImage;
};
