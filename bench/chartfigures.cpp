// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "measure.h"
#include "patchmeasurement.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

double chartVsConvertPatches(const cv::Mat &photo) {
    // A chart filling most of the frame, seen at an angle.
    const Quad corners = {cv::Point(700, 450), cv::Point(500, 3600), cv::Point(5500, 3500),
                          cv::Point(5200, 600)};
    const PatchGrid grid = patchGrid(corners, {4, 6, 25});
    if (grid.areas.size() != 24)
        throw BenchFailure("the 4 x 6 grid was refused");

    const Timed reading{[&] {
        const auto readings = measurePatches(photo, grid.areas, LabEncoding::Linear);
        for (const auto &reading : readings)
            if (!reading)
                throw BenchFailure("a patch was not measured");
    }};
    cv::Mat scaled;
    cv::Mat lab;
    const Timed converting{[&] {
        for (const PatchArea &area : grid.areas) {
            photo(patchBounds(area, photo.size())).convertTo(scaled, CV_32F, 1.0 / 255.0);
            cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
        }
    }};
    return medianRatio(reading, converting, 15);
}
