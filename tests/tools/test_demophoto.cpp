// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartcolours.h"
#include "demophoto.h"
#include "imagefiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <string>

namespace {

cv::Scalar meanAround(const cv::Mat &image, cv::Point centre, int half) {
    return cv::mean(image(cv::Rect(centre.x - half, centre.y - half, 2 * half, 2 * half)));
}

double sideLength(cv::Point from, cv::Point to) {
    return cv::norm(to - from);
}

} // namespace

TEST(DemoPhoto, IsTheSameEightBitColourPictureEveryTime) {
    const DemoPhoto first = renderDemoPhoto();
    ASSERT_EQ(first.image.type(), CV_8UC3);
    EXPECT_EQ(first.image.size(), cv::Size(1600, 1200));
    const DemoPhoto second = renderDemoPhoto();
    EXPECT_EQ(cv::norm(first.image, second.image, cv::NORM_INF), 0.0);
}

TEST(DemoPhoto, ShowsTheChartOffTheInnerQuarterInColourOrderAndUnderUnevenLight) {
    const DemoPhoto photo = renderDemoPhoto();
    const cv::Rect frame({0, 0}, photo.image.size());
    for (const cv::Point &corner : photo.board) {
        EXPECT_TRUE(frame.contains(corner));
    }
    EXPECT_NE(photo.board, innerQuarterCorners(photo.image.size()));

    // Blue-green-red order: the red patch is red and the blue-sky patch is blue in the file.
    const cv::Scalar red = meanAround(photo.image, photo.patchCentres[chartRedPatch], 20);
    EXPECT_GT(red[2], red[1] + 60);
    EXPECT_GT(red[2], red[0] + 60);

    // The grey card is large enough to calibrate on, neutral, and lit unevenly.
    const Quad &card = photo.greyCard;
    EXPECT_GE(sideLength(card[0], card[1]), 150);
    EXPECT_GE(sideLength(card[3], card[2]), 150);
    EXPECT_GE(sideLength(card[0], card[3]), 150);
    const cv::Point centre = (card[0] + card[1] + card[2] + card[3]) / 4;
    const cv::Scalar grey = meanAround(photo.image, centre, 50);
    EXPECT_NEAR(grey[0], grey[1], 3);
    EXPECT_NEAR(grey[2], grey[1], 3);
    const cv::Point leftEnd = (card[0] + card[1]) / 2 + cv::Point(60, 0);
    const cv::Point rightEnd = (card[3] + card[2]) / 2 - cv::Point(60, 0);
    EXPECT_GT(meanAround(photo.image, leftEnd, 40)[1],
              meanAround(photo.image, rightEnd, 40)[1] + 10);
}

TEST(DemoPhoto, WritesATiffIntoMissingFoldersAndReportsWhatItCannotWrite) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string path =
        folder.filePath("Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif").toStdString();
    std::string error;
    ASSERT_TRUE(writeDemoPhoto(path, error)) << error;
    const cv::Mat back = cv::imread(path, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(back.type(), CV_8UC3);
    EXPECT_EQ(cv::norm(back, renderDemoPhoto().image, cv::NORM_INF), 0.0);

    QFile blocker(folder.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    error.clear();
    EXPECT_FALSE(writeDemoPhoto(folder.filePath("blocker/photo.tif").toStdString(), error));
    EXPECT_NE(error.find("blocker"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(writeDemoPhoto(folder.filePath("photo.unknown").toStdString(), error));
    EXPECT_FALSE(error.empty());
}
