// SPDX-License-Identifier: GPL-3.0-or-later
#include "distinctcodes.h"
#include "labmeasurement.h"

#include "../support/referencelab.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <stdexcept>

namespace {

// A picture of the given type with every channel varying, so that means and deviations differ
// per channel and per encoding.
cv::Mat texturedPicture(int type, const cv::Size &size) {
    cv::Mat values(size, CV_MAKETYPE(CV_64F, CV_MAT_CN(type)));
    cv::RNG rng(7);
    rng.fill(values, cv::RNG::UNIFORM, 0.05, 0.95);
    const int depth = CV_MAT_DEPTH(type);
    const double scale = depth == CV_8U ? 255.0 : depth == CV_16U ? 65535.0 : 1.0;
    cv::Mat picture;
    values.convertTo(picture, type, scale);
    return picture;
}

const char *encodingName(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? "sRGB" : "linear";
}

} // namespace

TEST(LabMeasurement, MatchesOpenCvsFloatConversionForEveryDepthChannelsAndEncoding) {
    const int types[] = {CV_8UC3, CV_8UC1, CV_8UC4, CV_16UC3, CV_16UC1, CV_32FC3, CV_64FC4};
    const cv::Rect rect(3, 5, 37, 41);
    for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
        for (const int type : types) {
            SCOPED_TRACE(testing::Message() << encodingName(encoding) << " type " << type);
            const cv::Mat picture = texturedPicture(type, {50, 60});
            const cv::Mat expectedLab = referenceLab(picture(rect), encoding);
            cv::Scalar mean;
            cv::Scalar stdDev;
            cv::meanStdDev(expectedLab, mean, stdDev);

            const auto stats = measureLab(picture, rect, encoding);
            ASSERT_TRUE(stats);
            EXPECT_EQ(stats->count, rect.area());
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(stats->mean[c], mean[c], 1e-3);
                EXPECT_NEAR(stats->stdDev[c], stdDev[c], 1e-3);
            }

            const cv::Point point(17, 23);
            const auto lab = pixelLab(picture, point, encoding);
            ASSERT_TRUE(lab);
            const cv::Vec3f expected = expectedLab.at<cv::Vec3f>(point - rect.tl());
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR((*lab)[c], expected[c], 1e-4);
        }
    }
}

TEST(LabMeasurement, EncodingsGiveTheirOwnLightnessForMidGrey) {
    const cv::Mat grey(4, 4, CV_8UC3, cv::Scalar::all(128));
    const auto linear = measureLab(grey, {0, 0, 4, 4}, LabEncoding::Linear);
    const auto srgb = measureLab(grey, {0, 0, 4, 4}, LabEncoding::Srgb);
    ASSERT_TRUE(linear && srgb);
    // Code 128 is 50.2 % of linear light, and about 21.6 % once the sRGB curve is undone.
    EXPECT_NEAR(linear->mean[0], 116.0 * std::cbrt(128.0 / 255.0) - 16.0, 0.05);
    EXPECT_NEAR(srgb->mean[0], 116.0 * std::cbrt(std::pow((128 / 255.0 + 0.055) / 1.055, 2.4)) - 16,
                0.05);
    EXPECT_NEAR(srgb->stdDev[0], 0.0, 1e-6);
}

TEST(LabMeasurement, MaskSelectsThePixelsCounted) {
    const cv::Mat picture = texturedPicture(CV_8UC3, {64, 48});
    const cv::Rect rect(8, 4, 40, 36);
    cv::Mat mask = cv::Mat::zeros(rect.size(), CV_8UC1);
    const cv::Point triangle[] = {{0, 0}, {39, 5}, {10, 35}};
    cv::fillConvexPoly(mask, triangle, 3, cv::Scalar(255));

    cv::Scalar mean;
    cv::Scalar stdDev;
    cv::meanStdDev(referenceLab(picture(rect), LabEncoding::Srgb), mean, stdDev, mask);
    const auto stats = measureLab(picture, rect, LabEncoding::Srgb, mask);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->count, cv::countNonZero(mask));
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(stats->mean[c], mean[c], 1e-3);
        EXPECT_NEAR(stats->stdDev[c], stdDev[c], 1e-3);
    }
}

// Large 8-bit parts are measured through their distinct colours when the colours repeat, and
// pixel by pixel when they do not; both must give what converting every pixel gives.
TEST(LabMeasurement, LargePartsMatchWhetherTheirColoursRepeatOrNot) {
    const cv::Size size(300, 200);
    cv::Mat repeating(size, CV_8UC3);
    cv::RNG rng(11);
    // A decoded series file's texture: a few hundred colours around a mean.
    rng.fill(repeating, cv::RNG::NORMAL, cv::Scalar(90, 140, 60), cv::Scalar(2, 1.5, 2.5));
    cv::Mat noise(size, CV_8UC3);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat mask = cv::Mat::zeros(cv::Size(260, 180), CV_8UC1);
    const cv::Point quad[] = {{5, 3}, {250, 20}, {240, 170}, {12, 150}};
    cv::fillConvexPoly(mask, quad, 4, cv::Scalar(1));
    const cv::Rect rect(20, 10, 260, 180);
    // The premise: one picture repeats its colours as decoded patches do, the other hardly.
    DistinctCodes distinct;
    ASSERT_TRUE(distinct.find(repeating(rect), cv::Mat(), rect.area() / 20));
    ASSERT_FALSE(distinct.find(noise(rect), cv::Mat(), rect.area() / 2));

    for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb}) {
        for (const cv::Mat &picture : {repeating, noise}) {
            for (const cv::Mat &selection : {cv::Mat(), mask}) {
                SCOPED_TRACE(testing::Message() << encodingName(encoding)
                                                << (picture.data == noise.data ? " noise" : "")
                                                << (selection.empty() ? "" : " masked"));
                cv::Scalar mean;
                cv::Scalar stdDev;
                cv::meanStdDev(referenceLab(picture(rect), encoding), mean, stdDev, selection);
                const auto stats = measureLab(picture, rect, encoding, selection);
                ASSERT_TRUE(stats);
                EXPECT_EQ(stats->count,
                          selection.empty() ? rect.area() : cv::countNonZero(selection));
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(stats->mean[c], mean[c], 1e-4);
                    EXPECT_NEAR(stats->stdDev[c], stdDev[c], 1e-3);
                }
            }
        }
    }
}

TEST(DistinctCodes, FindsEachValueOnceCountsItsPixelsAndGivesUpPastTheLimit) {
    // Pixel values as integer triples: 3 distinct among 6 pixels, one of them masked out.
    const cv::Mat part =
        (cv::Mat_<cv::Vec3b>(2, 3) << cv::Vec3b(0, 0, 2), cv::Vec3b(255, 1, 0), cv::Vec3b(0, 0, 2),
         cv::Vec3b(7, 7, 7), cv::Vec3b(0, 0, 2), cv::Vec3b(255, 1, 0));
    const cv::Mat mask = (cv::Mat_<uchar>(2, 3) << 1, 1, 1, 0, 1, 1);
    DistinctCodes distinct;
    ASSERT_TRUE(distinct.find(part, cv::Mat(), 3));
    const std::vector<std::uint32_t> all{2, 7 << 16 | 7 << 8 | 7, 255 << 16 | 1 << 8};
    EXPECT_EQ(distinct.codes(), all);
    EXPECT_EQ(distinct.pixelCounts(part, cv::Mat()), (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_EQ(distinct.indexOf(255 << 16 | 1 << 8), 2u);

    // A later find forgets the earlier values.
    ASSERT_TRUE(distinct.find(part, mask, 3));
    EXPECT_EQ(distinct.codes(), (std::vector<std::uint32_t>{2, 255 << 16 | 1 << 8}));
    EXPECT_EQ(distinct.pixelCounts(part, mask), (std::vector<std::uint32_t>{3, 2}));

    EXPECT_FALSE(distinct.find(part, cv::Mat(), 2));
    EXPECT_TRUE(distinct.codes().empty());
    // The refused find left none of its values behind.
    ASSERT_TRUE(distinct.find(part.row(0), cv::Mat(), 2));
    EXPECT_EQ(distinct.codes(), (std::vector<std::uint32_t>{2, 255 << 16 | 1 << 8}));
    EXPECT_EQ(distinct.pixelCounts(part.row(0), cv::Mat()), (std::vector<std::uint32_t>{2, 1}));
}

TEST(LabMeasurement, RefusesWhatItCannotMeasure) {
    const cv::Mat picture = texturedPicture(CV_8UC3, {20, 10});
    const LabEncoding linear = LabEncoding::Linear;
    EXPECT_FALSE(measureLab(cv::Mat(), {0, 0, 1, 1}, linear));
    EXPECT_FALSE(measureLab(picture, {0, 0, 0, 5}, linear));
    EXPECT_FALSE(measureLab(picture, {5, 5, -3, 2}, linear));
    EXPECT_FALSE(measureLab(picture, {15, 0, 6, 5}, linear));
    EXPECT_FALSE(measureLab(picture, {-1, 0, 5, 5}, linear));
    EXPECT_FALSE(measureLab(picture, {0, 0, 5, 5}, linear, cv::Mat::zeros(5, 5, CV_8UC1)));
    EXPECT_FALSE(measureLab(picture, {0, 0, 5, 5}, linear, cv::Mat::ones(4, 5, CV_8UC1)));
    EXPECT_FALSE(measureLab(cv::Mat(4, 4, CV_8SC3, cv::Scalar::all(1)), {0, 0, 4, 4}, linear));
    EXPECT_FALSE(measureLab(cv::Mat(4, 4, CV_8UC2, cv::Scalar::all(1)), {0, 0, 4, 4}, linear));
    EXPECT_FALSE(pixelLab(picture, {20, 0}, linear));
    EXPECT_FALSE(pixelLab(picture, {0, -1}, linear));
    EXPECT_FALSE(pixelLab(cv::Mat(), {0, 0}, linear));
}

TEST(LabEncoding, KeysAndConversionsRoundTrip) {
    for (const LabEncoding encoding : {LabEncoding::Linear, LabEncoding::Srgb, LabEncoding::Icc})
        EXPECT_EQ(labEncodingFromKey(labEncodingKey(encoding)), encoding);
    EXPECT_FALSE(labEncodingFromKey("sRGB"));
    EXPECT_EQ(labEncodingKey(LabEncoding::Icc), "icc");
    // The colour-managed mode has no OpenCV conversion to fall back on.
    EXPECT_THROW(bgrToLabConversion(LabEncoding::Icc), std::invalid_argument);
    EXPECT_THROW(labToBgrConversion(LabEncoding::Icc), std::invalid_argument);
    EXPECT_EQ(bgrToLabConversion(LabEncoding::Linear), cv::COLOR_LBGR2Lab);
    EXPECT_EQ(labToBgrConversion(LabEncoding::Srgb), cv::COLOR_Lab2BGR);

    LabEncodingChoice &choice = LabEncodingChoice::instance();
    int notified = 0;
    const auto connection =
        QObject::connect(&choice, &LabEncodingChoice::changed, [&](LabEncoding) { ++notified; });
    choice.set(LabEncoding::Srgb);
    choice.set(LabEncoding::Srgb);
    EXPECT_EQ(currentLabEncoding(), LabEncoding::Srgb);
    choice.set(LabEncoding::Linear);
    EXPECT_EQ(notified, 2);
    QObject::disconnect(connection);
}
