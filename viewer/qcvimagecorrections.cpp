// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcvimage.h"

#include "labencoding.h"
#include "matconversion.h"
#include "quad.h"
#include "shadingcorrection.h"
#include "squarewarp.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <exception>

void QCVImage::warpCurrentImage() {
    if (isCurrentImageEmpty()) {
        emit commandRefused(tr("Warp: there is no image"));
        return;
    }
    const cv::Mat source = image(true, -1, false);
    const Quad target = warpTargetCorners(source.size());
    try {
        // Filled before it is pushed, so that a library failure leaves the store as it was.
        cv::Mat warped(source.size(), source.type());
        if (!warpQuadOnto(source, quadFromPoints(corners), target, warped)) {
            emit commandRefused(tr("Warp: the corners do not form a quadrilateral (two of them "
                                   "coincide or three lie on one line)"));
            return;
        }
        pushImage(warped, true);
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        emit commandRefused(tr("Warp: %1").arg(QString::fromLocal8Bit(error.what())));
        return;
    }
    std::copy(target.begin(), target.end(), targetCorners);
    std::copy(target.begin(), target.end(), corners);
    showCurrentImage();
    emit cornersChanged();
}

void QCVImage::correctShading(int cellSize) {
    if (isCurrentImageEmpty()) {
        emit commandRefused(tr("Shading correction: there is no image"));
        return;
    }
    cv::Mat &current = image(true, -1, false);
    const Quad quad = quadFromPoints(corners);
    if (shadingGrid(quad, cellSize).isEmpty()) {
        emit commandRefused(
            tr("Shading correction: the region holds no whole %1-pixel cell").arg(cellSize));
        return;
    }
    if (!rectInside(rectFromCorners013(quad), current.size())) {
        emit commandRefused(tr("Shading correction: the region does not lie inside the image"));
        return;
    }
    try {
        const bool takenAsIs =
            current.depth() == CV_8U && (current.channels() == 3 || current.channels() == 4);
        const cv::Mat bgr = takenAsIs ? current : toBgr8(current);
        if (bgr.empty()) {
            emit commandRefused(tr("Shading correction: the image is of a type that cannot be "
                                   "corrected"));
            return;
        }
        const cv::Mat corrected = shadingCorrected(bgr, quad, cellSize, currentLabEncoding());
        if (corrected.empty())
            return;
        // A new buffer in the same slot: other holders of the old one keep the uncorrected
        // picture.
        current = corrected;
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        emit commandRefused(tr("Shading correction: %1").arg(QString::fromLocal8Bit(error.what())));
        return;
    }
    showCurrentImage();
}
