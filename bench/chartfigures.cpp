// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "cameraprofile.h"
#include "cameraprofilereadings.h"
#include "chartfinder.h"
#include "demophoto.h"
#include "demoreference.h"
#include "floatlab.h"
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
        for (const auto &patch : readings)
            if (!patch)
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

namespace {

// The demo photograph brought to 24 megapixels, as a camera of that size would take it.
cv::Mat demoPhotograph24Mp() {
    cv::Mat photo;
    cv::resize(renderDemoPhoto().image, photo, cv::Size(5656, 4242), 0, 0, cv::INTER_CUBIC);
    return photo;
}

} // namespace

double findChart24MpVsCvtColor() {
    const cv::Mat photo = demoPhotograph24Mp();
    const Timed finding{[&] {
        if (!findChart(photo, {}).chart)
            throw BenchFailure("no chart found in the demo photograph");
    }};
    const Timed converting = floatLabConversion(photo, cv::COLOR_LBGR2Lab);
    return medianRatio(finding, converting, 5);
}

double profileFitVsReadingChart() {
    const cv::Mat photo = demoPhotograph24Mp();
    const ChartSearch search = findChart(photo, {});
    if (!search.chart)
        throw BenchFailure("no chart found in the demo photograph");
    const PatchGrid grid = patchGrid(search.chart->quad(), search.chart->layout(25));
    const ChartReference reference = demoChartReference();

    CameraProfileInput input;
    input.readings = readPatchRgb(photo, grid.areas);
    input.reference = reference;
    const Timed fitting{[&] {
        if (!fitCameraProfile(input).fit)
            throw BenchFailure("the demo chart gave no profile");
    }};
    const Timed readingChart{[&] {
        for (const auto &patch : measurePatches(photo, grid.areas, LabEncoding::Srgb))
            if (!patch)
                throw BenchFailure("a patch was not measured");
    }};
    return medianRatio(fitting, readingChart, 9);
}
