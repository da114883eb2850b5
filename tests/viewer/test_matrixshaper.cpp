// SPDX-License-Identifier: GPL-3.0-or-later
#include "matrixshaper.h"

#include "../support/littlecms.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// A colord profile, or Little CMS's built-in sRGB for an empty name.
LcmsProfile profileNamed(const char *name) {
    return *name ? openProfile(colordProfiles + QLatin1String(name))
                 : LcmsProfile(cmsCreate_sRGBProfile());
}

// BGRA pixels of every code from 0 to 15 and every fifth one above, in each channel.
cv::Mat codeGrid() {
    std::vector<int> codes;
    for (int code = 0; code < 256; code += code < 15 ? 1 : 5)
        codes.push_back(code);
    const int n = static_cast<int>(codes.size());
    cv::Mat grid(n * n, n, CV_8UC4);
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r)
                grid.at<cv::Vec4b>(b * n + g, r) =
                    cv::Vec4b(static_cast<uchar>(codes[b]), static_cast<uchar>(codes[g]),
                              static_cast<uchar>(codes[r]), static_cast<uchar>(r));
    return grid;
}

} // namespace

TEST(MatrixShaper, ConvertsAsLittleCmsFloatTransformRoundedToCodes) {
    struct Case {
        const char *source;
        const char *screen;
        int tolerance;
    };
    const cv::Mat grid = codeGrid();
    // A pure-gamma screen's way back is steepest at black, where steps of linear light read
    // it to two codes.
    for (const Case &pair : {Case{"ProPhotoRGB.icc", "", 1}, Case{"AdobeRGB1998.icc", "", 1},
                             Case{"Rec709.icc", "", 1}, Case{"ProPhotoRGB.icc", "sRGB.icc", 1},
                             Case{"ProPhotoRGB.icc", "AdobeRGB1998.icc", 2}}) {
        SCOPED_TRACE(std::string(pair.source) + " to " + (*pair.screen ? pair.screen : "sRGB"));
        const LcmsProfile source = profileNamed(pair.source);
        const LcmsProfile screen = profileNamed(pair.screen);
        ASSERT_TRUE(source && screen);
        const std::unique_ptr<const MatrixShaper> shaper =
            MatrixShaper::between(source.get(), screen.get());
        ASSERT_TRUE(shaper);
        const LcmsTransform reference(cmsCreateTransform(source.get(), TYPE_BGRA_8, screen.get(),
                                                         TYPE_BGR_FLT, INTENT_RELATIVE_COLORIMETRIC,
                                                         0));
        ASSERT_TRUE(reference);
        cv::Mat expected(grid.size(), CV_32FC3);
        for (int row = 0; row < grid.rows; ++row)
            cmsDoTransform(reference.get(), grid.ptr(row), expected.ptr(row),
                           static_cast<cmsUInt32Number>(grid.cols));

        cv::Mat shown = grid.clone();
        for (int row = 0; row < shown.rows; ++row)
            shaper->convert(shown.ptr(row), shown.cols);
        int worst = 0;
        for (int row = 0; row < grid.rows; ++row)
            for (int col = 0; col < grid.cols; ++col) {
                const cv::Vec4b &pixel = shown.at<cv::Vec4b>(row, col);
                const cv::Vec3f &value = expected.at<cv::Vec3f>(row, col);
                for (int c = 0; c < 3; ++c) {
                    const auto code =
                        static_cast<int>(std::lround(std::clamp(value[c], 0.0f, 1.0f) * 255));
                    worst = std::max(worst, std::abs(pixel[c] - code));
                }
                ASSERT_EQ(pixel[3], grid.at<cv::Vec4b>(row, col)[3]);
            }
        EXPECT_LE(worst, pair.tolerance);
    }
    // Little CMS's built-in L*a*b* profile is no matrix-shaper.
    const LcmsProfile lab(cmsCreateLab4Profile(nullptr));
    const LcmsProfile srgb = profileNamed("");
    EXPECT_FALSE(MatrixShaper::between(lab.get(), srgb.get()));
    EXPECT_FALSE(MatrixShaper::between(srgb.get(), lab.get()));
}
