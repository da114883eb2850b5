// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "colourprofile.h"
#include "floatlab.h"
#include "labmeasurement.h"
#include "measure.h"

#include <opencv2/core.hpp>

double measureRectVsCvtColor(const cv::Mat &photo) {
    const cv::Rect rect((photo.cols - 1000) / 2, (photo.rows - 1000) / 2, 1000, 1000);
    const Timed measure{[&] {
        const auto stats = measureLab(photo, rect, LabEncoding::Linear);
        if (!stats || stats->count != rect.area())
            throw BenchFailure("measureLab did not measure the rectangle");
    }};
    const Timed convert = floatLabConversion(photo(rect), cv::COLOR_LBGR2Lab);
    return medianRatio(measure, convert, 15);
}

namespace {

// measureLab of the whole of `picture` in `space` / converting the whole 8-bit `photo` to float
// sRGB Lab with OpenCV.
double measureWholeVsCvtColor(const cv::Mat &picture, const LabSpace &space, const cv::Mat &photo) {
    const cv::Rect rect(0, 0, picture.cols, picture.rows);
    const Timed measure{[&] {
        const auto stats = measureLab(picture, rect, space);
        if (!stats || stats->count != rect.area())
            throw BenchFailure("measureLab did not measure the picture");
    }};
    const Timed convert = floatLabConversion(photo, cv::COLOR_BGR2Lab);
    return medianRatio(measure, convert, 7);
}

} // namespace

double measureRectIccVsCvtColor(const cv::Mat &photo) {
    return measureWholeVsCvtColor(photo, LabSpace::icc(ColourProfile::srgb()), photo);
}

double measureRectIcc16VsCvtColor(const cv::Mat &photo, const QString &profilePath) {
    QString error;
    const ColourProfilePtr prophoto = ColourProfile::fromFile(profilePath, &error);
    if (!prophoto)
        throw BenchFailure(error.toStdString());
    cv::Mat picture;
    photo.convertTo(picture, CV_16U, 257.0);
    return measureWholeVsCvtColor(picture, LabSpace::icc(prophoto), photo);
}
