// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagepipeline.h"

#include "imagefiles.h"
#include "matconversion.h"
#include "meanlabadjustment.h"
#include "quad.h"
#include "shadingcorrection.h"
#include "squarewarp.h"

#include <QImage>
#include <opencv2/core.hpp>

#include <exception>

namespace {

// The canvas's default cell size for the shading correction.
constexpr int shadingCellSize = 16;

void warp(const cv::Mat &image, const Quad &corners) {
    try {
        cv::Mat warped(image.size(), image.type());
        warpQuadOnto(image, corners, warpTargetCorners(image.size()), warped);
    } catch (const std::exception &) { // refused by the library, as the canvas allows
    }
}

void correctShading(const cv::Mat &image, const Quad &corners) {
    try {
        const bool takenAsIs =
            image.depth() == CV_8U && (image.channels() == 3 || image.channels() == 4);
        const cv::Mat bgr = takenAsIs ? image : toBgr8(image);
        if (!bgr.empty())
            shadingCorrected(bgr, corners, shadingCellSize);
    } catch (const std::exception &) {
    }
}

void adjustMeanLab(const cv::Mat &image, const Quad &corners) {
    MeanLabAdjustment adjustment;
    if (adjustment.bind(image))
        adjustment.adjust(rectFromCorners013(corners), labCodes({50, 20, -20}));
}

} // namespace

bool exerciseImageFile(const QString &path) {
    const cv::Mat image = readImageFile(path);
    if (image.empty())
        return false;
    // What the canvas shows.
    qImageFromMat(image);
    const Quad corners = innerQuarterCorners(image.size());
    warp(image, corners);
    correctShading(image, corners);
    adjustMeanLab(image, corners);
    return true;
}
