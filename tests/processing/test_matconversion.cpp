// SPDX-License-Identifier: GPL-3.0-or-later
#include "matconversion.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <limits>

namespace {

// A view with padded rows: the middle of a larger matrix filled with a guard value.
cv::Mat paddedView(const cv::Mat &content, int guard) {
    cv::Mat frame(content.rows + 2, content.cols + 3, content.type(), cv::Scalar::all(guard));
    cv::Mat view = frame(cv::Rect(1, 1, content.cols, content.rows));
    content.copyTo(view);
    return view;
}

void expectGreyPixels(const QImage &picture, const cv::Mat &expected) {
    ASSERT_EQ(picture.width(), expected.cols);
    ASSERT_EQ(picture.height(), expected.rows);
    for (int y = 0; y < expected.rows; ++y)
        for (int x = 0; x < expected.cols; ++x) {
            const int g = expected.at<uchar>(y, x);
            EXPECT_EQ(picture.pixel(x, y), qRgba(g, g, g, 255)) << "at " << x << "," << y;
        }
}

void expectBgrPixels(const QImage &picture, const cv::Mat &expected) {
    ASSERT_EQ(picture.width(), expected.cols);
    ASSERT_EQ(picture.height(), expected.rows);
    for (int y = 0; y < expected.rows; ++y)
        for (int x = 0; x < expected.cols; ++x) {
            const cv::Vec3b p = expected.at<cv::Vec3b>(y, x);
            EXPECT_EQ(picture.pixel(x, y), qRgba(p[2], p[1], p[0], 255)) << "at " << x << "," << y;
        }
}

cv::Mat randomBgr(int rows, int cols) {
    cv::Mat mat(rows, cols, CV_8UC3);
    cv::RNG rng(20130304);
    rng.fill(mat, cv::RNG::UNIFORM, 0, 256);
    return mat;
}

} // namespace

TEST(Bgr8, BytesBecomeOpaqueArgb) {
    const uchar bytes[] = {10, 20, 30, 0, 0, 0, 255, 128, 1, 200, 100, 50};
    const cv::Mat mat(2, 2, CV_8UC3, const_cast<uchar *>(bytes));
    const QImage picture = qImageFromBgr8(mat);
    EXPECT_EQ(picture.format(), QImage::Format_ARGB32);
    EXPECT_EQ(picture.pixel(0, 0), qRgba(30, 20, 10, 255));
    EXPECT_EQ(picture.pixel(1, 0), qRgba(0, 0, 0, 255));
    EXPECT_EQ(picture.pixel(0, 1), qRgba(1, 128, 255, 255));
    EXPECT_EQ(picture.pixel(1, 1), qRgba(50, 100, 200, 255));
    EXPECT_TRUE(qImageFromBgr8(cv::Mat()).isNull());
}

TEST(Bgr8, PaddedRowsAndViewsDoNotShear) {
    for (int cols : {1, 5, 7, 64}) {
        SCOPED_TRACE(cols);
        const cv::Mat content = randomBgr(9, cols);
        expectBgrPixels(qImageFromBgr8(content), content);
        expectBgrPixels(qImageFromBgr8(paddedView(content, 77)), content);
    }
}

TEST(Gray64F, ScaledTruncatedAndSaturated) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {1.0, 0.5, 0.0, 1.5, -0.2, 0.999, 1e300, nan};
    const uchar expected[] = {255, 127, 0, 255, 0, 254, 255, 0};
    const cv::Mat mat(2, 4, CV_64FC1, const_cast<double *>(values));
    const QImage picture = qImageFromGray64F(mat);
    EXPECT_EQ(picture.format(), QImage::Format_ARGB32);
    expectGreyPixels(picture, cv::Mat(2, 4, CV_8UC1, const_cast<uchar *>(expected)));
    expectGreyPixels(qImageFromGray64F(paddedView(mat, 9)),
                     cv::Mat(2, 4, CV_8UC1, const_cast<uchar *>(expected)));
}

TEST(Gray8, SharesTheBufferWithAGreyTable) {
    const cv::Mat mat(3, 8, CV_8UC1, cv::Scalar(200));
    const QImage picture = qImageFromGray8(mat);
    EXPECT_EQ(picture.format(), QImage::Format_Indexed8);
    ASSERT_EQ(picture.colorCount(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(picture.color(i), qRgba(i, i, i, 255)) << i;
    EXPECT_EQ(picture.constBits(), mat.data);
    expectGreyPixels(picture, mat);
}

TEST(Gray8, AnyWidthAndViewsReadAtTheirOwnStep) {
    for (int cols : {1, 3, 5, 8, 13}) {
        SCOPED_TRACE(cols);
        cv::Mat content(4, cols, CV_8UC1);
        for (int y = 0; y < content.rows; ++y)
            for (int x = 0; x < cols; ++x)
                content.at<uchar>(y, x) = static_cast<uchar>(y * 40 + x);
        expectGreyPixels(qImageFromGray8(content), content);
        expectGreyPixels(qImageFromGray8(paddedView(content, 250)), content);
    }
}

TEST(Gray8, PictureKeepsTheBufferAlive) {
    cv::Mat mat(2, 5, CV_8UC1, cv::Scalar(33));
    const QImage picture = qImageFromGray8(mat);
    const cv::Mat expected = mat.clone();
    mat.release();
    expectGreyPixels(picture, expected);
}

TEST(View, ReadsTheMatrixPixelsInPlace) {
    for (int cols : {1, 5, 7, 64}) {
        SCOPED_TRACE(cols);
        const cv::Mat content = randomBgr(9, cols);
        cv::Mat grey;
        cv::extractChannel(content, grey, 1);
        for (const cv::Mat &mat : {content, paddedView(content, 77)}) {
            const QImage colour = qImageViewOfMat(mat);
            EXPECT_EQ(colour.format(), QImage::Format_BGR888);
            EXPECT_EQ(colour.constBits(), mat.data);
            EXPECT_TRUE(colour.convertToFormat(QImage::Format_ARGB32) == qImageFromBgr8(mat));
            expectBgrPixels(colour, content);
        }
        for (const cv::Mat &mat : {grey, paddedView(grey, 250)}) {
            const QImage picture = qImageViewOfMat(mat);
            EXPECT_EQ(picture.format(), QImage::Format_Grayscale8);
            EXPECT_EQ(picture.constBits(), mat.data);
            expectGreyPixels(picture, grey);
        }
    }
}

TEST(View, FollowsLaterWritesKeepsTheBufferAliveAndNeverWritesIt) {
    cv::Mat mat = randomBgr(3, 5);
    const QImage picture = qImageViewOfMat(mat);
    mat.at<cv::Vec3b>(2, 4) = cv::Vec3b(1, 2, 3);
    EXPECT_EQ(picture.pixel(4, 2), qRgba(3, 2, 1, 255));

    const cv::Mat expected = mat.clone();
    mat.release();
    expectBgrPixels(picture, expected);

    cv::Mat kept = expected.clone();
    QImage copy = qImageViewOfMat(kept);
    copy.setPixel(0, 0, qRgb(9, 9, 9));
    EXPECT_NE(copy.constBits(), kept.data);
    EXPECT_EQ(cv::norm(kept, expected, cv::NORM_INF), 0.0);
}

TEST(View, OnlyTypesWhoseBytesAPictureTakes) {
    for (int type : {CV_8UC2, CV_8UC4, CV_16UC1, CV_16UC3, CV_32FC1, CV_64FC1, CV_8SC3}) {
        SCOPED_TRACE(cv::typeToString(type));
        EXPECT_TRUE(qImageViewOfMat(cv::Mat(2, 2, type, cv::Scalar::all(1))).isNull());
    }
    EXPECT_TRUE(qImageViewOfMat(cv::Mat()).isNull());
    EXPECT_TRUE(qImageViewOfMat(cv::Mat(0, 4, CV_8UC3)).isNull());
    const int sizes[] = {2, 2, 2};
    EXPECT_TRUE(qImageViewOfMat(cv::Mat(3, sizes, CV_8UC1, cv::Scalar(1))).isNull());
}

namespace {

struct TypeCase {
    int type;
    std::vector<double> values; // one pixel's channels, in matrix order
    cv::Vec3b shownBgr;
};

void PrintTo(const TypeCase &c, std::ostream *os) {
    *os << cv::typeToString(c.type);
}

class EveryReadableType : public ::testing::TestWithParam<TypeCase> {};

} // namespace

TEST_P(EveryReadableType, ShowsAsDescribed) {
    const TypeCase &c = GetParam();
    cv::Mat content(3, 5, c.type);
    content.setTo(cv::Scalar(c.values[0], c.values[1 % c.values.size()],
                             c.values[2 % c.values.size()], c.values[3 % c.values.size()]));
    const cv::Mat expected(3, 5, CV_8UC3, cv::Scalar(c.shownBgr[0], c.shownBgr[1], c.shownBgr[2]));
    for (const cv::Mat &mat : {content, paddedView(content, 3)}) {
        expectBgrPixels(qImageFromMat(mat), expected);
        const cv::Mat bgr = toBgr8(mat);
        ASSERT_EQ(bgr.type(), CV_8UC3);
        EXPECT_EQ(cv::norm(bgr, expected, cv::NORM_INF), 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conversion, EveryReadableType,
    ::testing::Values(TypeCase{CV_8UC1, {77}, {77, 77, 77}},
                      TypeCase{CV_8UC3, {10, 20, 30}, {10, 20, 30}},
                      TypeCase{CV_8UC4, {10, 20, 30, 0}, {10, 20, 30}},
                      TypeCase{CV_16UC1, {385}, {1, 1, 1}},
                      TypeCase{CV_16UC3, {128, 129, 65535}, {0, 1, 255}},
                      TypeCase{CV_16UC4, {25700, 386, 65406, 0}, {100, 2, 254}},
                      TypeCase{CV_32FC1, {0.5}, {127, 127, 127}},
                      TypeCase{CV_32FC3, {-1.0, 1.5, 0.2}, {0, 255, 51}},
                      TypeCase{CV_32FC4, {0.0, 1.0, 0.999, 0.0}, {0, 255, 254}},
                      TypeCase{CV_64FC1, {1.5}, {255, 255, 255}},
                      TypeCase{CV_64FC3, {0.25, 2.0, -3.0}, {63, 255, 0}}));

TEST(Conversion, SixteenBitsRoundToTheNearestEightBitCode) {
    cv::Mat all(256, 256, CV_16UC1);
    for (int v = 0; v < 65536; ++v)
        all.at<ushort>(v / 256, v % 256) = static_cast<ushort>(v);
    const cv::Mat eight = depthTo8Bit(all);
    ASSERT_EQ(eight.type(), CV_8UC1);
    int wrong = 0;
    for (int v = 0; v < 65536; ++v)
        wrong += eight.at<uchar>(v / 256, v % 256) != (v + 128) / 257;
    EXPECT_EQ(wrong, 0);
}

TEST(Conversion, OtherTypesAreNotShown) {
    for (int type : {CV_8SC1, CV_16SC3, CV_32SC1, CV_8UC2, CV_16UC2, CV_64FC2}) {
        SCOPED_TRACE(cv::typeToString(type));
        const cv::Mat mat(2, 2, type, cv::Scalar::all(1));
        EXPECT_TRUE(qImageFromMat(mat).isNull());
        EXPECT_TRUE(toBgr8(mat).empty());
    }
    EXPECT_TRUE(qImageFromMat(cv::Mat()).isNull());
    EXPECT_TRUE(toBgr8(cv::Mat()).empty());
}

TEST(Conversion, EightBitColourIsSharedNotCopied) {
    const cv::Mat bgr = randomBgr(4, 4);
    EXPECT_EQ(toBgr8(bgr).data, bgr.data);
    const cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(5));
    EXPECT_EQ(depthTo8Bit(grey).data, grey.data);
}
