// SPDX-License-Identifier: GPL-3.0-or-later
#include "readouttext.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

TEST(ReadoutText, LabWithOneDecimalAndAsciiMinus) {
    EXPECT_EQ(labText({52.34, -4.06, 20.0}), QString("L* 52.3 a* -4.1 b* 20.0"));
    // Values that round to zero carry no sign; halves round away from zero.
    EXPECT_EQ(labText({0.04, -0.04, -0.05}), QString("L* 0.0 a* 0.0 b* -0.1"));
    EXPECT_EQ(labText({100.0, 127.96, -128.0}), QString("L* 100.0 a* 128.0 b* -128.0"));
    EXPECT_FALSE(labText({1, -2, -3}).contains(QChar(0x2212)));
}

TEST(ReadoutText, StoredValuesInTheImagesOwnDepthAndChannels) {
    cv::Mat bgr(2, 3, CV_8UC3, cv::Scalar(7, 12, 200));
    EXPECT_EQ(pixelValuesText(bgr, {2, 1}), QString("R 200 G 12 B 7"));
    cv::Mat grey(2, 3, CV_8UC1, cv::Scalar(128));
    EXPECT_EQ(pixelValuesText(grey, {0, 0}), QString("Grey 128"));
    cv::Mat deep(2, 3, CV_16UC4, cv::Scalar(1, 2, 65535, 300));
    EXPECT_EQ(pixelValuesText(deep, {1, 1}), QString("R 65535 G 2 B 1 A 300"));
    cv::Mat real(2, 2, CV_32FC3, cv::Scalar(0.25, -0.5, 1.0));
    EXPECT_EQ(pixelValuesText(real, {1, 0}), QString("R 1.000 G -0.500 B 0.250"));
    cv::Mat signedShort(1, 1, CV_16SC2, cv::Scalar(-3, 4));
    EXPECT_EQ(pixelValuesText(signedShort, {0, 0}), QString("C0 -3 C1 4"));

    // Only the asked pixel: its neighbours differ.
    bgr.at<cv::Vec3b>(0, 0) = cv::Vec3b(1, 2, 3);
    EXPECT_EQ(pixelValuesText(bgr, {0, 0}), QString("R 3 G 2 B 1"));
    EXPECT_EQ(pixelValuesText(bgr(cv::Rect(1, 1, 2, 1)), {0, 0}), QString("R 200 G 12 B 7"));

    EXPECT_TRUE(pixelValuesText(bgr, {3, 0}).isEmpty());
    EXPECT_TRUE(pixelValuesText(bgr, {0, -1}).isEmpty());
    EXPECT_TRUE(pixelValuesText(cv::Mat(), {0, 0}).isEmpty());
}

TEST(ReadoutText, ImageFormatAndMeasurementLine) {
    EXPECT_EQ(imageFormatText(cv::Mat(4000, 6000, CV_8UC3)), QString("6000 × 4000, 8-bit RGB"));
    EXPECT_EQ(imageFormatText(cv::Mat(3, 5, CV_16UC1)), QString("5 × 3, 16-bit grey"));
    EXPECT_EQ(imageFormatText(cv::Mat(3, 5, CV_32FC4)), QString("5 × 3, 32-bit float RGBA"));
    EXPECT_EQ(imageFormatText(cv::Mat(3, 5, CV_8SC2)), QString("5 × 3, 8-bit signed 2 channels"));
    EXPECT_TRUE(imageFormatText(cv::Mat()).isEmpty());

    LabStats stats;
    stats.mean = {52.34, -4.06, 0.01};
    stats.stdDev = {1.25, 0.04, 3.0};
    stats.count = 3200;
    EXPECT_EQ(measurementLine(stats), QString("52.3\t-4.1\t0.0\t1.3\t0.0\t3.0\t3200"));
}
