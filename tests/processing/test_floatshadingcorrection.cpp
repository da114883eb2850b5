// SPDX-License-Identifier: GPL-3.0-or-later
#include "floatshadingcorrection.h"
#include "shadingcorrection.h"

#include "../support/littlecms.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Little CMS's float transform between ProPhoto BGR (0..1) and L*a*b*, one way or the other.
LcmsTransform proPhotoTransform(bool toLab) {
    return labTransform(openProfile(colordProfiles + "ProPhotoRGB.icc"), TYPE_BGR_FLT, toLab, 0,
                        TYPE_Lab_FLT);
}

// One colour whose L* climbs from 40 to 70 left to right, rendered into ProPhoto by Little CMS.
cv::Mat lightnessRamp(const cv::Size &size, float a, float b) {
    cv::Mat lab(size, CV_32FC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            lab.at<cv::Vec3f>(y, x) = {40.0f + 30.0f * x / (size.width - 1), a, b};
    cv::Mat bgr(size, CV_32FC3);
    cmsDoTransform(proPhotoTransform(false).get(), lab.ptr(), bgr.ptr(),
                   cmsUInt32Number(lab.total()));
    return bgr;
}

// Little CMS's L*a*b* of picture values in ProPhoto at any depth, grey as three channels.
cv::Mat littleCmsLab(const cv::Mat &picture) {
    const double scale = picture.depth() == CV_8U    ? 1 / 255.0
                         : picture.depth() == CV_16U ? 1 / 65535.0
                                                     : 1.0;
    cv::Mat values;
    picture.convertTo(values, CV_32F, scale);
    if (values.channels() == 4)
        cv::cvtColor(values, values, cv::COLOR_BGRA2BGR);
    else if (values.channels() == 1)
        cv::cvtColor(values, values, cv::COLOR_GRAY2BGR);
    values = values.clone();
    cv::Mat lab(values.size(), CV_32FC3);
    cmsDoTransform(proPhotoTransform(true).get(), values.ptr(), lab.ptr(),
                   cmsUInt32Number(values.total()));
    return lab;
}

} // namespace

TEST(FloatShadingCorrection, EvensOutLightnessAtThePicturesOwnDepth) {
    const LabSpace space =
        LabSpace::icc(ColourProfile::fromFile(colordProfiles + "ProPhotoRGB.icc"));
    ASSERT_TRUE(space.profile() && space.profile()->description() == QLatin1String("ProPhoto RGB"));
    const Quad corners = {cv::Point(10, 5), cv::Point(10, 125), cv::Point(250, 125),
                          cv::Point(250, 5)};
    const int cellSize = 40;
    const cv::Rect area = shadingGrid(corners, cellSize).covered();
    // The inner columns, where the cells around a pixel follow the ramp on both sides.
    const cv::Rect inner(area.x + 48, area.y, area.width - 96, area.height);

    struct Case {
        int type;
        int resultType;
        double tolerance;
    };
    for (const Case &sample : {Case{CV_8UC3, CV_8UC3, 1.0}, Case{CV_16UC3, CV_16UC3, 0.02},
                               Case{CV_32FC3, CV_32FC3, 0.02}, Case{CV_16UC4, CV_16UC4, 0.02},
                               Case{CV_8UC1, CV_8UC3, 1.0}}) {
        SCOPED_TRACE(cv::typeToString(sample.type));
        const bool grey = CV_MAT_CN(sample.type) == 1;
        // Grey: a neutral ramp, whose ProPhoto channels are equal.
        const cv::Mat ramp = lightnessRamp({260, 130}, grey ? 0.0f : 10.0f, grey ? 0.0f : -20.0f);
        cv::Mat picture;
        const int depth = CV_MAT_DEPTH(sample.type);
        ramp.convertTo(picture, depth, depth == CV_8U ? 255 : depth == CV_16U ? 65535 : 1);
        if (CV_MAT_CN(sample.type) == 4) {
            cv::Mat alpha(picture.size(), CV_MAKETYPE(depth, 1));
            cv::randu(alpha, 0, 65535);
            cv::Mat channels[] = {picture, alpha};
            cv::merge(channels, 2, picture);
        } else if (grey) {
            cv::extractChannel(picture, picture, 1);
        }

        QString problem;
        const cv::Mat corrected =
            floatShadingCorrected(picture, corners, cellSize, space, &problem);
        ASSERT_EQ(corrected.type(), sample.resultType) << problem.toStdString();
        if (picture.channels() == 4) {
            cv::Mat before;
            cv::Mat after;
            cv::extractChannel(picture, before, 3);
            cv::extractChannel(corrected, after, 3);
            EXPECT_EQ(cv::norm(before, after, cv::NORM_INF), 0);
        }
        // Outside the grid nothing changes.
        cv::Mat same = picture;
        if (grey)
            cv::cvtColor(picture, same, cv::COLOR_GRAY2BGR);
        const cv::Rect left(0, 0, 10, 130);
        EXPECT_EQ(cv::norm(same(left), corrected(left), cv::NORM_INF), 0);

        // Inside, L* follows the 8-bit correction of the same L* as codes, and a* and b* stay.
        const cv::Mat before = littleCmsLab(picture(area));
        cv::Mat codes;
        cv::transform(before, codes, cv::Matx34f(2.55f, 0, 0, 0, 0, 0, 0, 128, 0, 0, 0, 128));
        codes.convertTo(codes, CV_8UC3);
        ShadingGrid codeGrid = shadingGrid(corners, cellSize);
        codeGrid.origin = cv::Point();
        ASSERT_TRUE(correctLabLightness(codes, codeGrid));
        const cv::Mat after = littleCmsLab(corrected(area));
        std::vector<cv::Mat> lab;
        std::vector<cv::Mat> labBefore;
        std::vector<cv::Mat> expected;
        cv::split(after, lab);
        cv::split(before, labBefore);
        cv::split(codes, expected);
        expected[0].convertTo(expected[0], CV_32F, 1 / 2.55);
        // The codes truncate the means, the references and the result: up to three codes.
        EXPECT_LT(cv::norm(lab[0], expected[0], cv::NORM_INF), 1.2);
        double lowest = 0;
        double highest = 0;
        cv::minMaxLoc(lab[0](inner - area.tl()), &lowest, &highest);
        EXPECT_LT(highest - lowest, 3.0);
        for (int c = 1; c < 3; ++c)
            EXPECT_LT(cv::norm(lab[c], labBefore[c], cv::NORM_INF), sample.tolerance);
    }
}

TEST(FloatShadingCorrection, RefusesWhatItCannotCorrect) {
    const LabSpace space = LabSpace::icc(nullptr);
    const cv::Mat picture(100, 100, CV_8UC3, cv::Scalar(90, 120, 150));
    const Quad whole = {cv::Point(0, 0), cv::Point(0, 99), cv::Point(99, 99), cv::Point(99, 0)};
    const Quad outside = {cv::Point(0, 0), cv::Point(0, 150), cv::Point(99, 150), cv::Point(99, 0)};
    struct Case {
        cv::Mat picture;
        Quad corners;
        int cellSize;
    };
    for (const Case &sample : {Case{cv::Mat(100, 100, CV_8SC3), whole, 20},
                               Case{picture, whole, 120}, Case{picture, outside, 20}}) {
        QString problem;
        EXPECT_TRUE(
            floatShadingCorrected(sample.picture, sample.corners, sample.cellSize, space, &problem)
                .empty());
        EXPECT_FALSE(problem.isEmpty());
    }
}
