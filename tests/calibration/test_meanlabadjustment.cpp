// SPDX-License-Identifier: GPL-3.0-or-later
#include "labtestsupport.h"
#include "meanlabadjustment.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

cv::Vec3b labCodesOf(const cv::Vec3b &bgr) {
    cv::Mat lab;
    cv::cvtColor(cv::Mat(1, 1, CV_8UC3, cv::Scalar(bgr[0], bgr[1], bgr[2])), lab,
                 cv::COLOR_LBGR2Lab);
    return lab.at<cv::Vec3b>(0, 0);
}

cv::Vec3b bgrOf(const cv::Vec3b &lab) {
    cv::Mat bgr;
    cv::cvtColor(cv::Mat(1, 1, CV_8UC3, cv::Scalar(lab[0], lab[1], lab[2])), bgr,
                 cv::COLOR_Lab2LBGR);
    return bgr.at<cv::Vec3b>(0, 0);
}

// Adjusts and checks the result against the plain method on the untouched source, and that
// nothing changed outside the part reported.
void expectAdjustedLikeThePlainMethod(MeanLabAdjustment &adjustment, const cv::Mat &source,
                                      const cv::Rect &rect, const LabCodes &target,
                                      LabEncoding encoding = LabEncoding::Linear) {
    const cv::Mat before = adjustment.workImage().clone();
    const std::optional<cv::Rect> changed = adjustment.adjust(rect, target);
    ASSERT_TRUE(changed);
    const cv::Mat expected = straightforwardAdjust(source, rect, target, encoding);
    ASSERT_TRUE(identical(adjustment.workImage(), expected));
    cv::Mat outside = before != expected;
    outside(*changed).setTo(0);
    EXPECT_EQ(cv::countNonZero(outside.reshape(1)), 0);
}

} // namespace

TEST(LabCodes, FromLabValues) {
    EXPECT_EQ(labCodes({100, 127, -127}), (LabCodes{255, 255, 1}));
    EXPECT_EQ(labCodes({0, 0, 0}), (LabCodes{0, 128, 128}));
    EXPECT_EQ(labCodes({50, -120, 120}), (LabCodes{127, 8, 248}));
    EXPECT_EQ(labCodes({99, 1, -1}), (LabCodes{252, 129, 127}));
}

TEST(MeanLabAdjustment, FactorOneLeavesTheCodesUnchanged) {
    // Two different colours whose codes add up to even sums, so each channel's mean is a whole
    // code and the targets equal to the means give factors of exactly 1.
    const cv::Vec3b first(40, 90, 200);
    const cv::Vec3b firstCodes = labCodesOf(first);
    cv::Vec3b second;
    bool found = false;
    for (int g = 0; g < 256 && !found; ++g) {
        second = cv::Vec3b(180, static_cast<uchar>(g), 60);
        const cv::Vec3b codes = labCodesOf(second);
        found = codes != firstCodes && (codes[0] + firstCodes[0]) % 2 == 0 &&
                (codes[1] + firstCodes[1]) % 2 == 0 && (codes[2] + firstCodes[2]) % 2 == 0;
    }
    ASSERT_TRUE(found);
    const cv::Vec3b secondCodes = labCodesOf(second);

    cv::Mat source = noisyImage(4, 5, 7);
    source.at<cv::Vec3b>(1, 2) = first;
    source.at<cv::Vec3b>(1, 3) = second;
    const LabCodes means{(firstCodes[0] + secondCodes[0]) / 2, (firstCodes[1] + secondCodes[1]) / 2,
                         (firstCodes[2] + secondCodes[2]) / 2};

    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));
    ASSERT_TRUE(adjustment.adjust({2, 1, 2, 1}, means));
    EXPECT_TRUE(identical(adjustment.workImage(), labRoundTrip(source)));
}

TEST(MeanLabAdjustment, ProductsAboveTheRangeSaturate) {
    // Two greys (a and b codes 128): the L target 255 over a mean between their L codes scales
    // the lighter one past 255, which must stay 255 and not wrap to its low eight bits.
    cv::Mat source(1, 2, CV_8UC3);
    source.at<cv::Vec3b>(0, 0) = cv::Vec3b(20, 20, 20);
    source.at<cv::Vec3b>(0, 1) = cv::Vec3b(200, 200, 200);
    const cv::Vec3b dark = labCodesOf(source.at<cv::Vec3b>(0, 0));
    const cv::Vec3b light = labCodesOf(source.at<cv::Vec3b>(0, 1));
    ASSERT_EQ(dark[1], 128);
    ASSERT_EQ(light[2], 128);
    const float factor = static_cast<float>(255.0 / ((dark[0] + light[0]) / 2.0));
    const int lightProduct = static_cast<int>(static_cast<double>(factor) * light[0]);
    ASSERT_GT(lightProduct, 255);
    const int darkProduct = static_cast<int>(static_cast<double>(factor) * dark[0]);
    ASSERT_LE(darkProduct, 255);

    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));
    ASSERT_TRUE(adjustment.adjust({0, 0, 2, 1}, {255, 128, 128}));
    const cv::Mat &work = adjustment.workImage();
    EXPECT_EQ(work.at<cv::Vec3b>(0, 1), bgrOf({255, 128, 128}));
    EXPECT_NE(work.at<cv::Vec3b>(0, 1), bgrOf({static_cast<uchar>(lightProduct & 0xff), 128, 128}));
    EXPECT_EQ(work.at<cv::Vec3b>(0, 0), bgrOf({static_cast<uchar>(darkProduct), 128, 128}));
    EXPECT_TRUE(identical(work, straightforwardAdjust(source, {0, 0, 2, 1}, {255, 128, 128})));
}

TEST(MeanLabAdjustment, ChannelWithMeanZeroStaysZero) {
    // Black has L code 0: no target can give it lightness, and nothing divides by that 0.
    cv::Mat source = noisyImage(3, 4, 11);
    source(cv::Rect(1, 1, 2, 2)).setTo(cv::Scalar(0, 0, 0));
    ASSERT_EQ(labCodesOf({0, 0, 0})[0], 0);

    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));
    ASSERT_TRUE(adjustment.adjust({1, 1, 2, 2}, {200, 128, 128}));
    const cv::Vec3b black = bgrOf({0, 128, 128});
    for (int row = 1; row < 3; ++row)
        for (int col = 1; col < 3; ++col)
            EXPECT_EQ(adjustment.workImage().at<cv::Vec3b>(row, col), black);
    EXPECT_TRUE(identical(adjustment.workImage(),
                          straightforwardAdjust(source, {1, 1, 2, 2}, {200, 128, 128})));
}

TEST(MeanLabAdjustment, EmptyRectangleOnlyRestoresAndBadRectanglesAreRefused) {
    const cv::Mat source = noisyImage(6, 7, 3);
    MeanLabAdjustment adjustment;
    EXPECT_FALSE(adjustment.adjust({0, 0, 1, 1}, {100, 128, 128})) << "not bound yet";
    ASSERT_TRUE(adjustment.bind(source));
    ASSERT_TRUE(adjustment.adjust({1, 1, 3, 3}, {180, 100, 150}));
    const cv::Mat adjusted = adjustment.workImage().clone();

    EXPECT_FALSE(adjustment.adjust({3, 1, -1, 2}, {10, 10, 10}));
    EXPECT_FALSE(adjustment.adjust({1, 3, 2, -2}, {10, 10, 10}));
    EXPECT_FALSE(adjustment.adjust({5, 1, 3, 2}, {10, 10, 10}));
    EXPECT_FALSE(adjustment.adjust({-1, 0, 2, 2}, {10, 10, 10}));
    EXPECT_TRUE(identical(adjustment.workImage(), adjusted));

    const std::optional<cv::Rect> changed = adjustment.adjust({2, 2, 0, 3}, {10, 10, 10});
    ASSERT_TRUE(changed);
    EXPECT_EQ(*changed, cv::Rect(1, 1, 3, 3));
    EXPECT_TRUE(identical(adjustment.workImage(), labRoundTrip(source)));
    EXPECT_TRUE(identical(adjustment.workImage(),
                          straightforwardAdjust(source, {2, 2, 0, 3}, {10, 10, 10})));
}

TEST(MeanLabAdjustment, MovingRectangleMatchesTheWholeImageMethod) {
    // Odd sizes, overlapping, nested, disjoint, empty and full rectangles; every adjustment must
    // equal the plain method on the untouched source (so two calls equal the second alone), in
    // the one buffer bound at the start, and change nothing outside the rectangle it reports.
    constexpr int rows = 145;
    constexpr int cols = 167;
    const cv::Mat source = noisyImage(rows, cols, 2024);
    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));
    EXPECT_EQ(adjustment.source().data, source.data);
    const uchar *buffer = adjustment.workImage().data;
    EXPECT_TRUE(identical(adjustment.workImage(), labRoundTrip(source)));

    cv::RNG rng(99);
    std::vector<cv::Rect> rects = {{0, 0, cols, rows}, {3, 5, 17, 9},      {3, 5, 17, 9},
                                   {4, 6, 5, 2},       {10, 10, 0, 0},     {160, 140, 7, 5},
                                   {0, 0, 1, 1},       {1, 0, cols - 1, 1}};
    for (int i = 0; i < 60; ++i) {
        const int x = rng.uniform(0, cols);
        const int y = rng.uniform(0, rows);
        rects.emplace_back(x, y, rng.uniform(0, cols + 1 - x), rng.uniform(0, rows + 1 - y));
    }
    for (const cv::Rect &rect : rects) {
        SCOPED_TRACE(testing::Message() << rect);
        expectAdjustedLikeThePlainMethod(
            adjustment, source, rect,
            {rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)});
        EXPECT_EQ(adjustment.workImage().data, buffer);
    }
}

TEST(MeanLabAdjustment, PaletteFollowsTheRectangleAsItMoves) {
    // 1500 colours: more codes than one row of the palette's conversion holds, and at most a
    // quarter of the pixels of every rectangle below, so each is re-coloured through its palette.
    constexpr int rows = 151;
    constexpr int cols = 203;
    const cv::Mat source = imageOfColours(rows, cols, 1500, 31);
    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));

    std::vector<cv::Rect> rects = {{0, 0, cols, rows}, {5, 7, 120, 90},   {5, 7, 120, 90},
                                   {6, 7, 120, 90},    {6, 8, 119, 90},   {80, 60, 123, 91},
                                   {1, 1, 97, 71},     {0, 0, cols, rows}};
    cv::RNG rng(7);
    for (int i = 0; i < 20; ++i) {
        const int width = rng.uniform(80, cols + 1);
        const int height = rng.uniform(80, rows + 1);
        rects.emplace_back(rng.uniform(0, cols + 1 - width), rng.uniform(0, rows + 1 - height),
                           width, height);
    }
    for (const cv::Rect &rect : rects) {
        SCOPED_TRACE(testing::Message() << rect);
        expectAdjustedLikeThePlainMethod(
            adjustment, source, rect,
            {rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)});
        EXPECT_TRUE(adjustment.usesPalette());
    }
}

TEST(MeanLabAdjustment, RectanglesWhoseCodesHardlyRepeatTakeTheTable) {
    // Noise on the left, four colours on the right; going back and forth checks that a palette
    // given up half-way leaves nothing behind for the next one.
    cv::Mat source = noisyImage(40, 90, 17);
    imageOfColours(40, 45, 4, 23).copyTo(source(cv::Rect(45, 0, 45, 40)));
    const cv::Rect colours(50, 3, 33, 29);
    const cv::Rect noise(2, 4, 40, 30);
    const struct {
        cv::Rect rect;
        bool palette;
    } steps[] = {{colours, true},          {noise, false},          {colours, true},
                 {{25, 0, 65, 40}, false}, {{60, 10, 21, 9}, true}, {{10, 10, 1, 1}, true},
                 {noise, false},           {noise, false},          {{44, 5, 3, 30}, false},
                 {colours, true}};
    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source));
    cv::RNG rng(3);
    for (const auto &step : steps) {
        SCOPED_TRACE(testing::Message() << step.rect);
        expectAdjustedLikeThePlainMethod(
            adjustment, source, step.rect,
            {rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)});
        EXPECT_EQ(adjustment.usesPalette(), step.palette);
    }
}

TEST(MeanLabAdjustment, SrgbBindingMatchesThePlainSrgbMethodOnEveryPath) {
    // Noise on the left (the table of every code), a few colours on the right (the palette),
    // and rectangles across both; then a linear binding of the same adjustment object.
    cv::Mat source = noisyImage(60, 120, 41);
    imageOfColours(60, 60, 100, 43).copyTo(source(cv::Rect(60, 0, 60, 60)));
    MeanLabAdjustment adjustment;
    ASSERT_TRUE(adjustment.bind(source, LabEncoding::Srgb));
    EXPECT_EQ(adjustment.encoding(), LabEncoding::Srgb);
    EXPECT_TRUE(identical(adjustment.workImage(), labRoundTrip(source, LabEncoding::Srgb)));
    EXPECT_FALSE(identical(adjustment.workImage(), labRoundTrip(source)));

    const struct {
        cv::Rect rect;
        bool palette;
    } steps[] = {{{62, 2, 50, 50}, true},  {{1, 1, 50, 55}, false}, {{62, 2, 50, 50}, true},
                 {{30, 0, 90, 60}, false}, {{70, 5, 20, 20}, true}, {{0, 0, 120, 60}, false},
                 {{3, 3, 0, 10}, true}};
    cv::RNG rng(5);
    for (const auto &step : steps) {
        SCOPED_TRACE(testing::Message() << step.rect);
        expectAdjustedLikeThePlainMethod(
            adjustment, source, step.rect,
            {rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)}, LabEncoding::Srgb);
        if (!step.rect.empty()) {
            EXPECT_EQ(adjustment.usesPalette(), step.palette);
        }
    }

    ASSERT_TRUE(adjustment.bind(source, LabEncoding::Linear));
    EXPECT_EQ(adjustment.encoding(), LabEncoding::Linear);
    expectAdjustedLikeThePlainMethod(adjustment, source, {1, 1, 50, 55}, {150, 120, 140});
    expectAdjustedLikeThePlainMethod(adjustment, source, {62, 2, 50, 50}, {150, 120, 140});
}

TEST(MeanLabAdjustment, BindingBringsOtherTypesToBgrAndKeepsTheOldBindingOnFailure) {
    cv::Mat grey(5, 6, CV_8UC1);
    cv::RNG(5).fill(grey, cv::RNG::UNIFORM, 0, 256);
    cv::Mat greyAsBgr;
    cv::cvtColor(grey, greyAsBgr, cv::COLOR_GRAY2BGR);
    cv::Mat deep;
    greyAsBgr.convertTo(deep, CV_16UC3, 257);

    MeanLabAdjustment adjustment;
    EXPECT_FALSE(adjustment.bind(cv::Mat()));
    EXPECT_FALSE(adjustment.isBound());
    for (const cv::Mat &image : {grey, deep}) {
        ASSERT_TRUE(adjustment.bind(image));
        EXPECT_EQ(adjustment.source().type(), CV_8UC3);
        EXPECT_TRUE(identical(adjustment.source(), greyAsBgr));
        ASSERT_TRUE(adjustment.adjust({1, 1, 4, 3}, {150, 140, 120}));
        EXPECT_TRUE(identical(adjustment.workImage(),
                              straightforwardAdjust(greyAsBgr, {1, 1, 4, 3}, {150, 140, 120})));
    }
    const cv::Mat work = adjustment.workImage();
    EXPECT_FALSE(adjustment.bind(cv::Mat()));
    EXPECT_EQ(adjustment.workImage().data, work.data);
}
