// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartcomparison.h"

#include <gtest/gtest.h>

namespace {

LabStats measuredAs(const cv::Vec3d &lab) {
    LabStats stats;
    stats.mean = lab;
    stats.count = 1;
    return stats;
}

} // namespace

// Measured and reference pairs from Sharma, Wu and Dalal (2005), with their published ΔE00;
// ΔE76 from the coordinates by hand.
TEST(ChartComparison, PairsPatchesWithReferenceInOrderAndSummarises) {
    const std::vector<std::optional<LabStats>> measured = {
        measuredAs({50.0, 2.5, 0.0}),
        measuredAs({60.2574, -34.0099, 36.2677}),
        std::nullopt,
        measuredAs({50.0, 0.0, 0.0}),
    };
    const ChartReference reference = {
        {73.0, 25.0, -18.0}, {60.4626, -34.1751, 39.4387}, {50, 0, 0}, {50.0, -1.0, 2.0}};
    const auto patches = comparePatches(measured, reference);
    ASSERT_EQ(patches.size(), 4u);
    ASSERT_TRUE(patches[0].deltaE2000 && patches[1].deltaE2000 && patches[3].deltaE2000);
    EXPECT_NEAR(*patches[0].deltaE2000, 27.1492, 1e-4);
    EXPECT_NEAR(*patches[1].deltaE2000, 1.2644, 1e-4);
    EXPECT_NEAR(*patches[3].deltaE2000, 2.3669, 1e-4);
    // sqrt(23^2 + 22.5^2 + 18^2) and sqrt(1 + 4).
    EXPECT_NEAR(*patches[0].deltaE76, 36.8680, 1e-4);
    EXPECT_NEAR(*patches[3].deltaE76, 2.2361, 1e-4);
    // A patch without pixels keeps its reference but has no difference.
    EXPECT_TRUE(patches[2].reference);
    EXPECT_FALSE(patches[2].deltaE2000);

    const auto summary = summarise(patches);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->compared, 3);
    EXPECT_NEAR(summary->meanDeltaE2000, (27.1492 + 1.2644 + 2.3669) / 3, 1e-4);
    EXPECT_NEAR(summary->maxDeltaE2000, 27.1492, 1e-4);
    EXPECT_EQ(summary->worstPatch, 0);

    // Without a reference there is nothing to summarise.
    const auto alone = comparePatches(measured, {});
    EXPECT_FALSE(alone[0].reference);
    EXPECT_FALSE(summarise(alone));
}
