// SPDX-License-Identifier: GPL-3.0-or-later
#include "referenceseries.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::string name(const ReferenceImage &image) {
    return image.fileName.toStdString();
}

std::set<QString> distinctNames(const LabValue &centre) {
    std::set<QString> names;
    for (int i = 0; i < deltaSeriesSize; ++i)
        names.insert(deltaSeriesImage(centre, i).fileName);
    return names;
}

} // namespace

TEST(GridSeries, LargeStepsGiveOneImage) {
    ASSERT_EQ(gridSeriesSize({100, 240, 240}), 1);
    const ReferenceImage image = gridSeriesImage({100, 240, 240}, 0);
    EXPECT_EQ(name(image), "C:/ref_img_0_-120_-120.jpg");
    EXPECT_EQ(image.target, (LabCodes{0, 8, 8}));
}

TEST(GridSeries, EightImagesInLoopOrder) {
    const LabValue steps{50, 120, 120};
    ASSERT_EQ(gridSeriesSize(steps), 8);
    const char *expected[] = {"C:/ref_img_0_-120_-120.jpg",  "C:/ref_img_0_-120_0.jpg",
                              "C:/ref_img_0_0_-120.jpg",     "C:/ref_img_0_0_0.jpg",
                              "C:/ref_img_50_-120_-120.jpg", "C:/ref_img_50_-120_0.jpg",
                              "C:/ref_img_50_0_-120.jpg",    "C:/ref_img_50_0_0.jpg"};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(name(gridSeriesImage(steps, i)), expected[i]) << i;
    EXPECT_EQ(gridSeriesImage(steps, 5).target, (LabCodes{127, 8, 128}));
}

TEST(GridSeries, StepsOfTenAndUnevenSteps) {
    const LabValue steps{10, 10, 10};
    ASSERT_EQ(gridSeriesSize(steps), 5760);
    EXPECT_EQ(name(gridSeriesImage(steps, 0)), "C:/ref_img_0_-120_-120.jpg");
    const ReferenceImage last = gridSeriesImage(steps, 5759);
    EXPECT_EQ(name(last), "C:/ref_img_90_110_110.jpg");
    EXPECT_EQ(last.target, (LabCodes{229, 238, 238}));

    // ceil(100 / 30) x ceil(240 / 7) x ceil(240 / 250): L 0, 30, 60, 90; a up to -120 + 34 x 7.
    const LabValue uneven{30, 7, 250};
    ASSERT_EQ(gridSeriesSize(uneven), 4 * 35 * 1);
    EXPECT_EQ(name(gridSeriesImage(uneven, 4 * 35 - 1)), "C:/ref_img_90_118_-120.jpg");
    EXPECT_EQ(name(gridSeriesImage(uneven, 35)), "C:/ref_img_30_-120_-120.jpg");
}

TEST(GridSeries, StepsThatAreNotPositiveAreNamed) {
    EXPECT_TRUE(nonPositiveGridSteps({1, 1, 1}).isEmpty());
    EXPECT_EQ(nonPositiveGridSteps({0, 0, 0}), (QStringList{"L", "a", "b"}));
    EXPECT_EQ(nonPositiveGridSteps({0, 10, -5}), (QStringList{"L", "b"}));
    EXPECT_EQ(nonPositiveGridSteps({10, -127, 10}), QStringList{"a"});
    EXPECT_EQ(gridSeriesSize({0, 10, 10}), 0);
    EXPECT_EQ(gridSeriesSize({10, 10, -1}), 0);
}

TEST(DeltaSeries, CentreFiftyFirstAndLast) {
    ASSERT_EQ(deltaSeriesSize, 4913);
    const ReferenceImage first = deltaSeriesImage({50, 0, 0}, 0);
    EXPECT_EQ(name(first), "C:/ref_img_(50_0_0)_34_-16_-16.jpg");
    EXPECT_EQ(first.target, (LabCodes{86, 112, 112}));
    const ReferenceImage last = deltaSeriesImage({50, 0, 0}, deltaSeriesSize - 1);
    EXPECT_EQ(name(last), "C:/ref_img_(50_0_0)_66_16_16.jpg");
    EXPECT_EQ(last.target, (LabCodes{168, 144, 144}));
    // b varies fastest, then a, then L.
    EXPECT_EQ(name(deltaSeriesImage({50, 0, 0}, 1)), "C:/ref_img_(50_0_0)_34_-16_-14.jpg");
    EXPECT_EQ(name(deltaSeriesImage({50, 0, 0}, 17)), "C:/ref_img_(50_0_0)_34_-14_-16.jpg");
    EXPECT_EQ(name(deltaSeriesImage({50, 0, 0}, 289)), "C:/ref_img_(50_0_0)_36_-16_-16.jpg");
    EXPECT_EQ(distinctNames({50, 0, 0}).size(), 4913u);
}

TEST(DeltaSeries, ClampingRepeatsNamesAndTargets) {
    // Around L 100 every dL from 0 to 16 gives L 100.
    for (int dL = 0; dL <= 16; dL += 2) {
        const ReferenceImage image = deltaSeriesImage({100, 0, 0}, (dL + 16) / 2 * 289);
        EXPECT_EQ(name(image), "C:/ref_img_(100_0_0)_100_-16_-16.jpg") << dL;
        EXPECT_EQ(image.target, (LabCodes{255, 112, 112}));
    }
    EXPECT_EQ(name(deltaSeriesImage({100, 0, 0}, 7 * 289)), "C:/ref_img_(100_0_0)_98_-16_-16.jpg");
    EXPECT_EQ(distinctNames({100, 0, 0}).size(), 9u * 17 * 17);

    // Around 0, -127, 127: L 0 for dL <= 0, a -127 for da <= 0, b 127 for db >= 0.
    const LabValue corner{0, -127, 127};
    const ReferenceImage first = deltaSeriesImage(corner, 0);
    EXPECT_EQ(name(first), "C:/ref_img_(0_-127_127)_0_-127_111.jpg");
    EXPECT_EQ(first.target, (LabCodes{0, 1, 239}));
    EXPECT_EQ(name(deltaSeriesImage(corner, 8 * 289 + 8 * 17 + 8)),
              "C:/ref_img_(0_-127_127)_0_-127_127.jpg");
    EXPECT_EQ(name(deltaSeriesImage(corner, 9 * 289 + 9 * 17 + 7)),
              "C:/ref_img_(0_-127_127)_2_-125_125.jpg");
    const ReferenceImage last = deltaSeriesImage(corner, deltaSeriesSize - 1);
    EXPECT_EQ(name(last), "C:/ref_img_(0_-127_127)_16_-111_127.jpg");
    EXPECT_EQ(last.target, (LabCodes{40, 17, 255}));
    EXPECT_EQ(distinctNames(corner).size(), 9u * 9 * 9);
}
