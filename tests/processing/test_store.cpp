// SPDX-License-Identifier: GPL-3.0-or-later
#include "cvprocessing.h"

#include <gtest/gtest.h>

namespace {

cv::Mat filled(int value) {
    return cv::Mat(2, 3, CV_8UC1, cv::Scalar(value));
}

bool sameBuffer(const cv::Mat &a, const cv::Mat &b) {
    return !a.empty() && a.data == b.data;
}

} // namespace

TEST(Store, StartsEmpty) {
    CVProcessing store;
    EXPECT_EQ(store.sourceCount, 0);
    EXPECT_EQ(store.resultCount, 0);
    EXPECT_TRUE(store.isCurrentImageEmpty());
    EXPECT_TRUE(store.image(true, -1, false).empty());
    EXPECT_TRUE(store.image(false, -1, false).empty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(store.corners[i], cv::Point(0, 0));
        EXPECT_EQ(store.targetCorners[i], cv::Point(0, 0));
    }
    // Writing into the answer for an empty list leaves the list empty.
    store.image(true, -1, false) = filled(1);
    EXPECT_TRUE(store.isCurrentImageEmpty());
    EXPECT_EQ(store.sourceCount, 0);
}

TEST(Store, PushesOntoTheChosenListOnly) {
    CVProcessing store;
    EXPECT_FALSE(store.pushImage(cv::Mat(), true));
    EXPECT_FALSE(store.pushImage(cv::Mat(0, 5, CV_8UC3), true));
    EXPECT_EQ(store.sourceCount, 0);

    const cv::Mat a = filled(1);
    const cv::Mat b = filled(2);
    EXPECT_TRUE(store.pushImage(a, true));
    EXPECT_TRUE(store.pushImage(b, true));
    EXPECT_FALSE(store.pushImage(cv::Mat(), true));
    EXPECT_EQ(store.sourceCount, 2);
    EXPECT_EQ(store.resultCount, 0);
    EXPECT_TRUE(sameBuffer(store.image(true, -1, false), b));
    EXPECT_TRUE(sameBuffer(store.sourceImages[0], a));
    EXPECT_TRUE(store.sourceImages[2].empty());
    EXPECT_TRUE(store.image(false, -1, false).empty());
    EXPECT_FALSE(store.isCurrentImageEmpty());

    EXPECT_TRUE(store.pushImage(a, false));
    EXPECT_EQ(store.resultCount, 1);
    EXPECT_EQ(store.sourceCount, 2);
    EXPECT_TRUE(sameBuffer(store.image(false, -1, false), a));

    CVProcessing other;
    EXPECT_EQ(other.sourceCount, 0);
    EXPECT_EQ(other.resultCount, 0);
}

TEST(Store, SlotsShareThePixelsPushed) {
    CVProcessing store;
    cv::Mat pushed = filled(7);
    ASSERT_TRUE(store.pushImage(pushed, true));
    store.image(true, -1, false).at<uchar>(1, 2) = 99;
    EXPECT_EQ(pushed.at<uchar>(1, 2), 99);
    pushed.at<uchar>(0, 0) = 42;
    EXPECT_EQ(store.image(true, -1, false).at<uchar>(0, 0), 42);

    // The buffer outlives the pusher's header.
    pushed.release();
    EXPECT_EQ(store.image(true, -1, false).at<uchar>(0, 0), 42);
}

TEST(Store, EleventhPushDropsTheOldest) {
    CVProcessing store;
    std::vector<cv::Mat> pushed;
    for (int i = 0; i < 13; ++i) {
        pushed.push_back(filled(i));
        ASSERT_TRUE(store.pushImage(pushed.back(), true));
        EXPECT_TRUE(sameBuffer(store.image(true, -1, false), pushed.back())) << "push " << i;
    }
    EXPECT_EQ(store.sourceCount, CVProcessing::slotCount);
    for (int slot = 0; slot < CVProcessing::slotCount; ++slot)
        EXPECT_TRUE(sameBuffer(store.sourceImages[slot], pushed[slot + 3])) << "slot " << slot;
    EXPECT_EQ(store.resultCount, 0);
}

TEST(Store, EveryIndexFormStaysInTheUsedSlots) {
    CVProcessing store;
    for (int i = 0; i < 4; ++i)
        store.pushImage(filled(i), true);
    for (int index : {-100, -5, -1, 0, 3, 9, 10, 25, 1000}) {
        for (bool relative : {false, true}) {
            const cv::Mat *slot = &store.image(true, index, relative);
            EXPECT_GE(slot, store.sourceImages) << index << " " << relative;
            EXPECT_LT(slot, store.sourceImages + store.sourceCount) << index << " " << relative;
        }
    }
}

TEST(Store, CornerSetsAreSeparate) {
    CVProcessing store;
    EXPECT_EQ(store.cornerPoints(false), store.corners);
    EXPECT_EQ(store.cornerPoints(true), store.targetCorners);
    store.cornerPoints(false)[2] = cv::Point(5, 6);
    EXPECT_EQ(store.corners[2], cv::Point(5, 6));
    EXPECT_EQ(store.targetCorners[2], cv::Point(0, 0));
    store.cornerPoints(true)[1] = cv::Point(-3, 4);
    EXPECT_EQ(store.corners[1], cv::Point(0, 0));
}
