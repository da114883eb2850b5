// SPDX-License-Identifier: GPL-3.0-or-later
#include "patchmeasurement.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

cv::Mat texturedPhoto(int type, const cv::Size &size) {
    cv::Mat values(size, CV_32FC3);
    cv::RNG rng(12);
    rng.fill(values, cv::RNG::UNIFORM, 0.02, 0.98);
    cv::Mat photo;
    values.convertTo(photo, type, CV_MAT_DEPTH(type) == CV_16U ? 65535.0 : 255.0);
    return photo;
}

// The area's pixels as a mask over the whole image, drawn with OpenCV at 1/16 pixel.
cv::Mat wholeImageMask(const PatchArea &area, const cv::Size &size) {
    cv::Point points[4];
    for (int i = 0; i < 4; ++i)
        points[i] = cv::Point(cvRound(area[size_t(i)].x * 16), cvRound(area[size_t(i)].y * 16));
    cv::Mat mask = cv::Mat::zeros(size, CV_8UC1);
    cv::fillConvexPoly(mask, points, 4, cv::Scalar(255), cv::LINE_8, 4);
    return mask;
}

cv::Mat wholeImageLab(const cv::Mat &photo, LabEncoding encoding) {
    cv::Mat scaled;
    photo.convertTo(scaled, CV_32F, photo.depth() == CV_16U ? 1 / 65535.0 : 1 / 255.0);
    cv::Mat lab;
    cv::cvtColor(scaled, lab,
                 encoding == LabEncoding::Srgb ? cv::COLOR_BGR2Lab : cv::COLOR_LBGR2Lab);
    return lab;
}

} // namespace

TEST(PatchMeasurement, MatchesMaskedMeansOfTheWholeFloatLabImage) {
    const Quad leaning = {cv::Point(30, 20), cv::Point(12, 170), cv::Point(230, 150),
                          cv::Point(205, 40)};
    const PatchGrid grid = patchGrid(leaning, {3, 4, 20});
    ASSERT_EQ(grid.areas.size(), 12u);
    for (const int type : {CV_8UC3, CV_16UC3}) {
        const cv::Mat photo = texturedPhoto(type, {240, 180});
        for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
            const cv::Mat lab = wholeImageLab(photo, encoding);
            const auto readings = measurePatches(photo, grid.areas, encoding);
            ASSERT_EQ(readings.size(), grid.areas.size());
            for (size_t patch = 0; patch < readings.size(); ++patch) {
                SCOPED_TRACE(testing::Message() << "type " << type << " encoding " << int(encoding)
                                                << " patch " << patch);
                const cv::Mat mask = wholeImageMask(grid.areas[patch], photo.size());
                cv::Scalar mean;
                cv::Scalar stdDev;
                cv::meanStdDev(lab, mean, stdDev, mask);
                ASSERT_TRUE(readings[patch]);
                EXPECT_EQ(readings[patch]->count, cv::countNonZero(mask));
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(readings[patch]->mean[c], mean[c], 1e-3);
                    EXPECT_NEAR(readings[patch]->stdDev[c], stdDev[c], 1e-3);
                }
            }
        }
    }
}

TEST(PatchMeasurement, SamplesTheQuadrilateralNotItsBoundingBox) {
    // A diamond-shaped patch of red on blue: its bounding box holds blue corners, the area not.
    cv::Mat photo(100, 100, CV_8UC3, cv::Scalar(255, 0, 0));
    const std::vector<cv::Point> diamond = {{50, 10}, {10, 50}, {50, 90}, {90, 50}};
    cv::fillConvexPoly(photo, diamond, cv::Scalar(0, 0, 255));
    const PatchArea inner = {cv::Point2d(50, 20), cv::Point2d(20, 50), cv::Point2d(50, 80),
                             cv::Point2d(80, 50)};
    const auto readings = measurePatches(photo, {inner}, LabEncoding::Srgb);
    ASSERT_TRUE(readings[0]);
    const cv::Mat redPixel(1, 1, CV_32FC3, cv::Scalar(0, 0, 1));
    cv::Mat redLab;
    cv::cvtColor(redPixel, redLab, cv::COLOR_BGR2Lab);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(readings[0]->mean[c], redLab.at<cv::Vec3f>(0, 0)[c], 1e-3);
        EXPECT_NEAR(readings[0]->stdDev[c], 0, 1e-3);
    }
    // About half the bounding box, never all of it.
    EXPECT_LT(readings[0]->count, 61 * 61 * 6 / 10);
    EXPECT_GT(readings[0]->count, 61 * 61 * 4 / 10);
}

TEST(PatchMeasurement, GivesNothingForAreasOutsideTheImageAndClipsTheRest) {
    const cv::Mat photo = texturedPhoto(CV_8UC3, {64, 48});
    const PatchArea outside = {cv::Point2d(100, 100), cv::Point2d(100, 120), cv::Point2d(130, 120),
                               cv::Point2d(130, 100)};
    const PatchArea straddling = {cv::Point2d(-20, -10), cv::Point2d(-20, 10), cv::Point2d(10, 10),
                                  cv::Point2d(10, -10)};
    const auto readings = measurePatches(photo, {outside, straddling}, LabEncoding::Linear);
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_FALSE(readings[0]);
    ASSERT_TRUE(readings[1]);
    // Pixels 0 to 10 in each direction.
    EXPECT_EQ(readings[1]->count, 11 * 11);
    EXPECT_TRUE(patchBounds(outside, photo.size()).empty());
    EXPECT_EQ(patchBounds(straddling, photo.size()), cv::Rect(0, 0, 11, 11));
}
