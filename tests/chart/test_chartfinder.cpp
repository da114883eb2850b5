// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartfinder.h"
#include "demophoto.h"
#include "qstringprinting.h"
#include "renderedchart.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cstdio>

namespace {

std::array<cv::Point2d, 4> pointsOf(const Quad &quad) {
    std::array<cv::Point2d, 4> points;
    for (size_t i = 0; i < 4; ++i)
        points[i] = quad[i];
    return points;
}

} // namespace

TEST(ChartFinder, FindsTheChartsInRenderedPhotographsWithinOnePercent) {
    const std::vector<cv::Vec3d> checker = srgbFromLab(makerReference("ColorChecker.cie"));
    const std::vector<cv::Vec3d> sg = srgbFromLab(colorCheckerSgReference());
    const std::array<cv::Point2f, 4> squareOn = Photography().outline;
    const std::array<cv::Point2f, 4> turned = turnedHalfRound(tiltedOutline);
    const struct {
        const char *name;
        const std::vector<cv::Vec3d> &colours;
        int rows;
        int columns;
        Photography photography;
    } cases[] = {
        {"square on", checker, 4, 6, {squareOn, 0, 0}},
        {"perspective", checker, 4, 6, {tiltedOutline, 0, 0}},
        {"turned half round", checker, 4, 6, {turned, 0, 0}},
        {"blurred", checker, 4, 6, {squareOn, 2.5, 0}},
        {"noisy", checker, 4, 6, {squareOn, 0, 0.03}},
        {"JPEG", checker, 4, 6, {squareOn, 0, 0, 60}},
        {"all at once", checker, 4, 6, {turned, 1.5, 0.02, 75}},
        {"16-bit", checker, 4, 6, {tiltedOutline, 0, 0, 0, CV_16U}},
        {"ColorChecker SG", sg, 10, 14, {tiltedOutline, 0, 0.01}},
        {"ColorChecker SG turned", sg, 10, 14, {turned, 0, 0.01}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        const ChartPhoto photo =
            photographChart(test.colours, test.rows, test.columns, test.photography);
        const ChartSearch search = findChart(photo.image);
        ASSERT_TRUE(search.chart) << search.problem.toStdString();
        EXPECT_TRUE(search.problem.isEmpty());
        const bool classic = test.rows == 4;
        EXPECT_EQ(search.chart->kind,
                  classic ? ChartKind::ColorChecker24 : ChartKind::ColorCheckerSG);
        EXPECT_EQ(search.chart->rows * search.chart->columns, test.rows * test.columns);
        if (classic) {
            EXPECT_EQ(search.chart->rows, 4);
            EXPECT_TRUE(search.chart->refined);
        }
        const double error = cornerErrorFraction(search.chart->corners, photo.field);
        std::printf("find chart, %s: corners within %.2f %% of the field\n", test.name,
                    100 * error);
        EXPECT_LT(error, 0.01);
    }

    const DemoPhoto demo = renderDemoPhoto();
    const ChartSearch search = findChart(demo.image);
    ASSERT_TRUE(search.chart) << search.problem.toStdString();
    const double error = cornerErrorFraction(search.chart->corners, pointsOf(demo.patchGrid));
    std::printf("find chart, demo photograph: corners within %.2f %% of the field\n", 100 * error);
    EXPECT_LT(error, 0.01);
    EXPECT_TRUE(foundChartText(*search.chart).startsWith("ColorChecker Classic 24 (4 x 6) at ("))
        << foundChartText(*search.chart).toStdString();
}

// The detector decides which corner holds patch 1 from its own idea of the colours; a reference
// overrules it. A reference listed from the last patch to the first describes the same chart
// turned half round, so the corners must turn with it.
TEST(ChartFinder, TheReferenceChoosesTheOrientation) {
    const ChartReference reference = makerReference("ColorChecker.cie");
    const ChartReference reversed(reference.rbegin(), reference.rend());
    Photography photography;
    photography.outline = turnedHalfRound(tiltedOutline);
    const ChartPhoto photo = photographChart(srgbFromLab(reference), 4, 6, photography);
    const std::array<cv::Point2d, 4> reversedField = {photo.field[2], photo.field[3],
                                                      photo.field[0], photo.field[1]};

    const struct {
        const char *name;
        const ChartReference &reference;
        const std::array<cv::Point2d, 4> &truth;
    } cases[] = {{"maker's order", reference, photo.field}, {"reversed", reversed, reversedField}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        ChartFindOptions options;
        options.reference = &test.reference;
        options.readPatches = patchLabReader(photo.image, LabEncoding::Srgb);
        const ChartSearch search = findChart(photo.image, options);
        ASSERT_TRUE(search.chart) << search.problem.toStdString();
        EXPECT_TRUE(search.chart->orientedByReference);
        EXPECT_LT(cornerErrorFraction(search.chart->corners, test.truth), 0.01);
        // sRGB's D65 Lab against the maker's D50 values: near, where a wrong turn is not.
        EXPECT_LT(search.chart->meanDeltaE2000, 5);
    }
}

TEST(ChartFinder, SaysSoWhenThereIsNoChart) {
    cv::Mat noise(900, 1200, CV_8UC3);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
    const cv::Mat cases[] = {cv::Mat(), cv::Mat(600, 800, CV_8UC3, cv::Scalar(90, 120, 150)), noise,
                             cv::Mat(100, 100, CV_8SC3, cv::Scalar::all(1))};
    for (const cv::Mat &image : cases) {
        const ChartSearch search = findChart(image);
        EXPECT_FALSE(search.chart);
        EXPECT_EQ(search.problem, "No chart found.");
    }
}
