// SPDX-License-Identifier: GPL-3.0-or-later
#include "shadingcorrection.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace {

Quad regionCorners(int x, int y, int width, int height) {
    return {{{x, y}, {x, y + height}, {x + width, y + height}, {x + width, y}}};
}

// The correction written out step by step in the plainest way, per pixel and with divisions:
// the check on the fast code in the library.
void referenceLabCorrection(cv::Mat &lab, const Quad &corners, int cellSize) {
    const int x0 = corners[0].x;
    const int y0 = corners[0].y;
    const int nx = (corners[3].x - x0) / cellSize;
    const int ny = (corners[1].y - y0) / cellSize;
    const int cw = (corners[3].x - x0) / nx;
    const int ch = (corners[1].y - y0) / ny;

    cv::Mat_<uchar> means(ny, nx);
    int total = 0;
    for (int p = 0; p < ny; ++p) {
        for (int q = 0; q < nx; ++q) {
            int sum = 0;
            for (int j = 0; j < ch; ++j)
                for (int i = 0; i < cw; ++i)
                    sum += lab.at<cv::Vec3b>(y0 + p * ch + j, x0 + q * cw + i)[0];
            means(p, q) = uchar(sum / (cw * ch));
            total += means(p, q);
        }
    }
    const int globalMean = total / (nx * ny);

    for (int y = 0; y < ny * ch; ++y) {
        for (int x = 0; x < nx * cw; ++x) {
            const int p = y / ch, fy = y % ch, q = x / cw, fx = x % cw;
            const int up = std::max(p - 1, 0), down = std::min(p + 1, ny - 1);
            const int left = std::max(q - 1, 0), right = std::min(q + 1, nx - 1);
            const int rtl = (means(up, left) + means(up, q) + means(p, q) + means(p, left)) / 4;
            const int rtr = (means(up, q) + means(up, right) + means(p, right) + means(p, q)) / 4;
            const int rbl = (means(down, left) + means(down, q) + means(p, q) + means(p, left)) / 4;
            const int rbr =
                (means(down, q) + means(down, right) + means(p, q) + means(p, right)) / 4;
            const int ref = (rtl * (cw + ch - fx - fy) + rtr * (ch + fx - fy) +
                             rbl * (cw + fy - fx) + rbr * (fx + fy)) /
                            (2 * (cw + ch));
            uchar &lightness = lab.at<cv::Vec3b>(y0 + y, x0 + x)[0];
            if (ref != 0)
                lightness = uchar(std::min(lightness * globalMean / ref, 255));
        }
    }
}

cv::Mat referenceShading(const cv::Mat &bgr, const Quad &corners, int cellSize,
                         int toLab = cv::COLOR_LBGR2Lab, int toBgr = cv::COLOR_Lab2LBGR) {
    cv::Mat lab;
    cv::cvtColor(bgr, lab, toLab);
    referenceLabCorrection(lab, corners, cellSize);
    cv::Mat corrected;
    cv::cvtColor(lab, corrected, toBgr);
    return corrected;
}

// Uneven light over a picture: a coarse random field blown up smoothly, with noise and bright
// specks (quotients over 255 in dark places), and a black patch with a very few bright pixels
// (cell means and references of 0 under pixels that are not black).
cv::Mat unevenPicture(cv::Size size, int type, unsigned seed) {
    cv::RNG rng(seed);
    cv::Mat coarse(4, 5, CV_MAKETYPE(CV_8U, CV_MAT_CN(type)));
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::Mat picture;
    cv::resize(coarse, picture, size, 0, 0, cv::INTER_LINEAR);
    cv::Mat noise(size, CV_MAKETYPE(CV_16S, CV_MAT_CN(type)));
    rng.fill(noise, cv::RNG::NORMAL, 0, 20);
    cv::Mat noisy;
    cv::add(picture, noise, noisy, cv::noArray(), CV_MAKETYPE(CV_16S, CV_MAT_CN(type)));
    noisy.convertTo(picture, type);
    for (int i = 0; i < size.area() / 50; ++i)
        picture.ptr(rng.uniform(0, size.height))[rng.uniform(0, size.width) * picture.channels()] =
            255;
    const cv::Rect dark(0, 0, size.width / 2, size.height / 2);
    picture(dark).setTo(cv::Scalar::all(0));
    for (int i = 0; i < std::max(1, dark.area() / 2000); ++i)
        picture.ptr(rng.uniform(0, dark.height))[rng.uniform(0, dark.width) * picture.channels()] =
            200;
    return picture;
}

cv::Mat labPicture(cv::Size size, uchar lightness) {
    return cv::Mat(size, CV_8UC3, cv::Scalar(lightness, 120, 140));
}

bool identical(const cv::Mat &a, const cv::Mat &b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

} // namespace

TEST(ShadingGrid, CellsOfAboutTheCellSize) {
    struct Case {
        int extent;
        int cells;
        int cellExtent;
    };
    const Case cases[] = {{100, 1, 100}, {199, 1, 199}, {200, 2, 100},  {250, 2, 125},
                          {350, 3, 116}, {480, 4, 120}, {1000, 10, 100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extent);
        const ShadingGrid across = shadingGrid(regionCorners(7, 9, c.extent, 100), 100);
        EXPECT_EQ(across.origin, cv::Point(7, 9));
        EXPECT_EQ(across.columns, c.cells);
        EXPECT_EQ(across.cellWidth, c.cellExtent);
        EXPECT_EQ(across.rows, 1);
        EXPECT_EQ(across.cellHeight, 100);

        const ShadingGrid down = shadingGrid(regionCorners(7, 9, 100, c.extent), 100);
        EXPECT_EQ(down.rows, c.cells);
        EXPECT_EQ(down.cellHeight, c.cellExtent);
        EXPECT_EQ(down.columns, 1);
    }
    EXPECT_EQ(shadingGrid(regionCorners(0, 0, 350, 350), 100).covered(), cv::Rect(0, 0, 348, 348));

    // Corner 2 plays no part: the width comes from corner 3, the height from corner 1.
    const Quad skewed = {{{10, 20}, {15, 270}, {999, 999}, {360, 25}}};
    const ShadingGrid fromSkewed = shadingGrid(skewed, 100);
    EXPECT_EQ(fromSkewed.columns, 3);
    EXPECT_EQ(fromSkewed.cellWidth, 116);
    EXPECT_EQ(fromSkewed.rows, 2);
    EXPECT_EQ(fromSkewed.cellHeight, 125);

    EXPECT_TRUE(shadingGrid(regionCorners(0, 0, 99, 500), 100).isEmpty());
    EXPECT_TRUE(shadingGrid(regionCorners(0, 0, 500, 99), 100).isEmpty());
    EXPECT_TRUE(shadingGrid(regionCorners(300, 300, -200, 200), 100).isEmpty());
    EXPECT_TRUE(shadingGrid(regionCorners(300, 300, 200, -200), 100).isEmpty());
    EXPECT_TRUE(shadingGrid(regionCorners(0, 0, 500, 500), 0).isEmpty());
    EXPECT_TRUE(shadingGrid(regionCorners(0, 0, 500, 500), -100).isEmpty());
}

TEST(LabLightness, UniformRegionKeepsItsLightness) {
    cv::Mat lab = labPicture({400, 300}, 77);
    const cv::Mat before = lab.clone();
    ASSERT_TRUE(correctLabLightness(lab, shadingGrid(regionCorners(30, 20, 350, 250), 100)));
    EXPECT_TRUE(identical(lab, before));
}

TEST(LabLightness, TwoCellExample) {
    cv::Mat lab = labPicture({230, 120}, 50);
    lab(cv::Rect(100, 0, 100, 100)).setTo(cv::Scalar(150, 120, 140));
    lab(cv::Rect(200, 0, 30, 120)).setTo(cv::Scalar(200, 120, 140));
    lab(cv::Rect(0, 100, 230, 20)).setTo(cv::Scalar(200, 120, 140));
    cv::Mat expected = lab.clone();
    referenceLabCorrection(expected, regionCorners(0, 0, 200, 100), 100);

    ASSERT_TRUE(correctLabLightness(lab, shadingGrid(regionCorners(0, 0, 200, 100), 100)));
    const auto lightness = [&](int row, int column) { return lab.at<cv::Vec3b>(row, column)[0]; };
    EXPECT_EQ(lightness(0, 0), 80);     // ref 62
    EXPECT_EQ(lightness(0, 99), 57);    // ref 87
    EXPECT_EQ(lightness(99, 99), 57);   // ref 87
    EXPECT_EQ(lightness(50, 50), 66);   // ref 75
    EXPECT_EQ(lightness(0, 100), 133);  // ref 112
    EXPECT_EQ(lightness(99, 199), 109); // ref 137
    EXPECT_EQ(lightness(50, 150), 120); // ref 125
    EXPECT_TRUE(identical(lab, expected));

    // Chroma everywhere and lightness outside the grid stay.
    cv::Mat channels[3];
    cv::split(lab, channels);
    EXPECT_EQ(cv::countNonZero(channels[1] != 120), 0);
    EXPECT_EQ(cv::countNonZero(channels[2] != 140), 0);
    EXPECT_EQ(cv::countNonZero(channels[0].colRange(200, 230) != 200), 0);
    EXPECT_EQ(cv::countNonZero(channels[0].rowRange(100, 120) != 200), 0);
}

TEST(LabLightness, QuotientsOver255Saturate) {
    // Left cell dark with one bright pixel (mean 10), right cell 250: G 130, and at the left
    // cell's top-left pixel ref = (10 x 200 + 130 x 100 + 10 x 100) / 400 = 40, so 250 x 130 / 40
    // = 812, whose low eight bits would be 44.
    cv::Mat lab = labPicture({200, 100}, 10);
    lab(cv::Rect(100, 0, 100, 100)).setTo(cv::Scalar(250, 120, 140));
    lab.at<cv::Vec3b>(0, 0)[0] = 250;
    ASSERT_TRUE(correctLabLightness(lab, shadingGrid(regionCorners(0, 0, 200, 100), 100)));
    EXPECT_EQ(lab.at<cv::Vec3b>(0, 0)[0], 255);
    // Its dark neighbour: 10 x 130 / 40 (ref of the next column is still 40) = 32.
    EXPECT_EQ(lab.at<cv::Vec3b>(1, 0)[0], 32);
}

TEST(LabLightness, ZeroReferenceKeepsTheLightness) {
    // Four cells in a row with means 0, 0, 0, 200: every reference in the first two cells is 0,
    // while G = 50. A few bright pixels leave a cell mean at 0.
    cv::Mat lab = labPicture({400, 100}, 0);
    lab(cv::Rect(300, 0, 100, 100)).setTo(cv::Scalar(200, 120, 140));
    lab.at<cv::Vec3b>(10, 10)[0] = 180;
    lab.at<cv::Vec3b>(90, 150)[0] = 99;
    cv::Mat expected = lab.clone();
    referenceLabCorrection(expected, regionCorners(0, 0, 400, 100), 100);
    ASSERT_TRUE(correctLabLightness(lab, shadingGrid(regionCorners(0, 0, 400, 100), 100)));
    EXPECT_EQ(lab.at<cv::Vec3b>(10, 10)[0], 180);
    EXPECT_EQ(lab.at<cv::Vec3b>(90, 150)[0], 99);
    EXPECT_TRUE(identical(lab, expected));
}

TEST(LabLightness, MatchesThePlainMethodOnAnyGrid) {
    struct Case {
        cv::Size size;
        cv::Rect region;
        int cellSize;
    };
    const Case cases[] = {
        {{701, 503}, {37, 23, 613, 441}, 100}, {{61, 47}, {3, 5, 57, 41}, 7},
        {{61, 47}, {0, 0, 61, 47}, 1},         {{33, 29}, {2, 1, 31, 27}, 3},
        {{250, 180}, {0, 0, 250, 180}, 100},   {{97, 400}, {10, 0, 87, 400}, 20},
    };
    unsigned seed = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << c.region << " cell " << c.cellSize);
        cv::Mat lab = unevenPicture(c.size, CV_8UC3, seed++);
        const Quad corners = regionCorners(c.region.x, c.region.y, c.region.width, c.region.height);
        cv::Mat expected = lab.clone();
        referenceLabCorrection(expected, corners, c.cellSize);
        ASSERT_TRUE(correctLabLightness(lab, shadingGrid(corners, c.cellSize)));
        EXPECT_TRUE(identical(lab, expected));
    }
}

TEST(LabLightness, Refusals) {
    cv::Mat lab = labPicture({300, 200}, 90);
    const cv::Mat before = lab.clone();
    EXPECT_FALSE(correctLabLightness(lab, shadingGrid(regionCorners(0, 0, 99, 150), 100)));
    EXPECT_FALSE(correctLabLightness(lab, shadingGrid(regionCorners(250, 150, -200, 100), 100)));
    EXPECT_FALSE(correctLabLightness(lab, shadingGrid(regionCorners(150, 0, 200, 100), 100)));
    EXPECT_FALSE(correctLabLightness(lab, shadingGrid(regionCorners(-1, 0, 200, 100), 100)));
    cv::Mat grey(200, 300, CV_8UC1, cv::Scalar(90));
    EXPECT_FALSE(correctLabLightness(grey, shadingGrid(regionCorners(0, 0, 200, 100), 100)));
    EXPECT_TRUE(identical(lab, before));
}

TEST(ShadingCorrection, MatchesThePlainMethod) {
    struct Case {
        cv::Size size;
        cv::Rect region;
        int cellSize;
        int type;
    };
    // Sizes that cut the grid across several of the library's strips, odd sizes, sub-regions,
    // a region up to the image border, four channels and tiny cells.
    const Case cases[] = {
        {{701, 503}, {37, 23, 613, 441}, 100, CV_8UC3},
        {{701, 503}, {0, 0, 701, 503}, 100, CV_8UC4},
        {{1203, 611}, {100, 307, 1103, 304}, 150, CV_8UC3},
        {{61, 47}, {3, 5, 57, 41}, 7, CV_8UC3},
        {{61, 47}, {0, 0, 61, 47}, 1, CV_8UC4},
        {{40, 3000}, {5, 10, 33, 2990}, 10, CV_8UC3},
    };
    unsigned seed = 100;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << c.region << " cell " << c.cellSize
                                        << " channels " << CV_MAT_CN(c.type));
        const cv::Mat bgr = unevenPicture(c.size, c.type, seed++);
        const cv::Mat before = bgr.clone();
        const Quad corners = regionCorners(c.region.x, c.region.y, c.region.width, c.region.height);
        const cv::Mat corrected = shadingCorrected(bgr, corners, c.cellSize);
        EXPECT_TRUE(identical(corrected, referenceShading(bgr, corners, c.cellSize)));
        EXPECT_TRUE(identical(bgr, before));
    }

    // A view into a larger picture (rows not contiguous) corrects like a copy of it.
    const cv::Mat large = unevenPicture({900, 700}, CV_8UC3, 7);
    const cv::Mat view = large(cv::Rect(101, 53, 611, 409));
    const Quad corners = regionCorners(11, 9, 590, 390);
    EXPECT_TRUE(identical(shadingCorrected(view, corners, 100),
                          referenceShading(view.clone(), corners, 100)));
}

TEST(ShadingCorrection, SrgbPicturesConvertThroughTheSrgbPair) {
    const struct {
        cv::Size size;
        cv::Rect region;
        int type;
    } cases[] = {
        {{701, 503}, {37, 23, 613, 441}, CV_8UC3},
        {{333, 250}, {0, 0, 333, 250}, CV_8UC4},
    };
    unsigned seed = 300;
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << c.region);
        const cv::Mat bgr = unevenPicture(c.size, c.type, seed++);
        const Quad corners = regionCorners(c.region.x, c.region.y, c.region.width, c.region.height);
        const cv::Mat srgb = shadingCorrected(bgr, corners, 100, LabEncoding::Srgb);
        EXPECT_TRUE(identical(
            srgb, referenceShading(bgr, corners, 100, cv::COLOR_BGR2Lab, cv::COLOR_Lab2BGR)));
        EXPECT_FALSE(identical(srgb, shadingCorrected(bgr, corners, 100, LabEncoding::Linear)));
    }
}

TEST(ShadingCorrection, Refusals) {
    const cv::Mat bgr = unevenPicture({300, 200}, CV_8UC3, 3);
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(0, 0, 99, 150), 100).empty());
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(0, 0, 150, 99), 100).empty());
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(250, 150, -200, -100), 100).empty());
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(150, 0, 151, 100), 100).empty());
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(0, 120, 100, 81), 100).empty());
    EXPECT_TRUE(shadingCorrected(bgr, regionCorners(0, 0, 300, 200), 0).empty());
    EXPECT_FALSE(shadingCorrected(bgr, regionCorners(150, 0, 150, 200), 100).empty());

    cv::Mat grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    EXPECT_TRUE(shadingCorrected(grey, regionCorners(0, 0, 300, 200), 100).empty());
    cv::Mat deep;
    bgr.convertTo(deep, CV_16UC3, 257);
    EXPECT_TRUE(shadingCorrected(deep, regionCorners(0, 0, 300, 200), 100).empty());
    EXPECT_TRUE(shadingCorrected(cv::Mat(), regionCorners(0, 0, 300, 200), 100).empty());
}
