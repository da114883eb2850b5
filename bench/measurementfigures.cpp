// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "labmeasurement.h"
#include "measure.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

double measureRectVsCvtColor(const cv::Mat &photo) {
    const cv::Rect rect((photo.cols - 1000) / 2, (photo.rows - 1000) / 2, 1000, 1000);
    const Timed measure{[&] {
        const auto stats = measureLab(photo, rect, LabEncoding::Linear);
        if (!stats || stats->count != rect.area())
            throw BenchFailure("measureLab did not measure the rectangle");
    }};
    cv::Mat scaled;
    cv::Mat lab;
    const Timed convert{[&] {
                            photo(rect).convertTo(scaled, CV_32F, 1.0 / 255.0);
                            cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
                        },
                        [&] {
                            scaled.release();
                            lab.release();
                        }};
    return medianRatio(measure, convert, 15);
}
