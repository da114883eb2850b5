// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcvimage.h"

#include "matconversion.h"
#include "quad.h"
#include "shadingcorrection.h"
#include "squarewarp.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <exception>

void QCVImage::warpCurrentImage() {
    if (isCurrentImageEmpty())
        return;
    const cv::Mat source = image(true, -1, false);
    const Quad target = warpTargetCorners(source.size());
    try {
        // Filled before it is pushed, so that a library failure leaves the store as it was.
        cv::Mat warped(source.size(), source.type());
        if (!warpQuadOnto(source, quadFromPoints(corners), target, warped))
            return;
        pushImage(warped, true);
    } catch (const std::exception &) { // cv::Exception from the library, or std::bad_alloc
        return;
    }
    std::copy(target.begin(), target.end(), targetCorners);
    std::copy(target.begin(), target.end(), corners);
    showCurrentImage();
    emit cornersChanged();
}

void QCVImage::correctShading(int cellSize) {
    if (isCurrentImageEmpty())
        return;
    cv::Mat &current = image(true, -1, false);
    try {
        const bool takenAsIs =
            current.depth() == CV_8U && (current.channels() == 3 || current.channels() == 4);
        const cv::Mat bgr = takenAsIs ? current : toBgr8(current);
        if (bgr.empty())
            return;
        const cv::Mat corrected = shadingCorrected(bgr, quadFromPoints(corners), cellSize);
        if (corrected.empty())
            return;
        // A new buffer in the same slot: other holders of the old one keep the uncorrected
        // picture.
        current = corrected;
    } catch (const std::exception &) { // cv::Exception from the library, or std::bad_alloc
        return;
    }
    showCurrentImage();
}
