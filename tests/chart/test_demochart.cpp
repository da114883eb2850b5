// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartcolours.h"
#include "chartcomparison.h"
#include "demophoto.h"
#include "demoreference.h"
#include "patchmeasurement.h"
#include "shadingcorrection.h"
#include "squarewarp.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <memory>

namespace {

ComparisonSummary readDemoChart(const cv::Mat &image, const Quad &corners,
                                const ChartReference &reference, const char *stage) {
    const PatchGrid grid = patchGrid(corners, {chartRows, chartColumns, 25});
    EXPECT_TRUE(grid.problem.isEmpty());
    const auto patches =
        comparePatches(measurePatches(image, grid.areas, LabEncoding::Linear), reference);
    const auto summary = summarise(patches);
    EXPECT_TRUE(summary);
    if (!summary)
        return {};
    EXPECT_EQ(summary->compared, chartRows * chartColumns);
    std::printf("demo chart %s: mean ΔE2000 %.2f, maximum %.2f (patch %d)\n", stage,
                summary->meanDeltaE2000, summary->maxDeltaE2000, summary->worstPatch + 1);
    return *summary;
}

} // namespace

TEST(DemoChart, ReferenceFileHoldsTheLinearLabOfTheColoursDrawn) {
    const QTemporaryDir folder;
    const std::string photoPath = folder.filePath(QStringLiteral("DSC_1245.tif")).toStdString();
    const std::string path = demoReferencePath(photoPath);
    EXPECT_EQ(path, folder.filePath(QStringLiteral("DSC_1245_reference.txt")).toStdString());
    std::string error;
    ASSERT_TRUE(writeDemoReference(path, error)) << error;

    QString readError;
    const auto reference = loadCgatsReference(QString::fromStdString(path), readError);
    ASSERT_TRUE(reference) << readError.toStdString();
    ASSERT_EQ(reference->size(), chartColours.size());
    for (size_t i = 0; i < chartColours.size(); ++i) {
        const ChartColour &colour = chartColours[i];
        const cv::Mat pixel(
            1, 1, CV_32FC3,
            cv::Scalar(colour.blue / 255.0, colour.green / 255.0, colour.red / 255.0));
        cv::Mat lab;
        cv::cvtColor(pixel, lab, cv::COLOR_LBGR2Lab);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR((*reference)[i][c], lab.at<cv::Vec3f>(0, 0)[c], 1e-4) << "patch " << i;
    }

    struct It8Deleter {
        void operator()(void *it8) const { cmsIT8Free(it8); }
    };
    const std::unique_ptr<void, It8Deleter> it8(cmsIT8LoadFromFile(nullptr, path.c_str()));
    ASSERT_TRUE(it8);
    EXPECT_STREQ(cmsIT8GetProperty(it8.get(), "ENCODING"), "linear");
}

// Prints the figures of the demo photograph read against its reference: as taken, after the
// warp, and after the warp and the shading correction (the W key).
TEST(DemoChart, ReadsTheDemoPhotographAsTakenWarpedAndShadingCorrected) {
    const DemoPhoto photo = renderDemoPhoto();
    const ChartReference reference = demoChartReference();
    const ComparisonSummary asTaken =
        readDemoChart(photo.image, photo.patchGrid, reference, "as taken");

    const Quad square = warpTargetCorners(photo.image.size());
    cv::Mat warped(photo.image.size(), photo.image.type());
    ASSERT_TRUE(warpQuadOnto(photo.image, photo.patchGrid, square, warped));
    const ComparisonSummary afterWarp = readDemoChart(warped, square, reference, "after Warp");

    const cv::Mat corrected = shadingCorrected(warped, square, 100);
    ASSERT_FALSE(corrected.empty());
    readDemoChart(corrected, square, reference, "after W");

    // Patches matched in the chart's order lie within the lamp's fall-off of their reference;
    // a shifted or transposed match would be tens of units away.
    EXPECT_LT(asTaken.meanDeltaE2000, 10);
    EXPECT_NEAR(afterWarp.meanDeltaE2000, asTaken.meanDeltaE2000, 1.0);
}
