// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourdifference.h"
#include "labmeasurement.h"

#include "../support/littlecms.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {

// Little CMS's own transform between the test's profile and ICC L*a*b*.
LcmsTransform littleCmsTransform(const ColourProfile &profile, cmsUInt32Number deviceFormat,
                                 bool toLab) {
    return labTransform(openProfile(profile.bytes()), deviceFormat, toLab);
}

cmsUInt32Number deviceFormat(int type) {
    switch (type) {
    case CV_8UC3:
        return TYPE_BGR_8;
    case CV_8UC4:
        return TYPE_BGRA_8;
    case CV_16UC3:
        return TYPE_BGR_16;
    case CV_16UC1:
        return TYPE_GRAY_16;
    case CV_8UC1:
        return TYPE_GRAY_8;
    default:
        return TYPE_BGR_FLT;
    }
}

cv::Vec3d referencePixelLab(const LcmsTransform &transform, const cv::Mat &image,
                            const cv::Point &point) {
    return labOf(transform, image.ptr(point.y, point.x));
}

// A random picture of `type` (RGB or grey) covering the whole range.
cv::Mat randomPicture(int type, const cv::Size &size, int seed) {
    cv::Mat values(size, CV_MAKETYPE(CV_64F, CV_MAT_CN(type)));
    cv::RNG rng(static_cast<std::uint64_t>(seed));
    rng.fill(values, cv::RNG::UNIFORM, 0.0, 1.0);
    const int depth = CV_MAT_DEPTH(type);
    cv::Mat picture;
    values.convertTo(picture, type, depth == CV_8U ? 255.0 : depth == CV_16U ? 65535.0 : 1.0);
    return picture;
}

} // namespace

TEST(IccMeasurement, ColorCheckerRenderedIntoRealProfilesReadsBackItsReference) {
    const std::vector<cv::Vec3d> reference = colorCheckerLab();
    ASSERT_EQ(reference.size(), 24u);
    constexpr int patchSize = 12;
    const auto patchAt = [](std::size_t p) {
        return cv::Rect(int(p % 6) * patchSize, int(p / 6) * patchSize, patchSize, patchSize);
    };
    for (const char *name : {"sRGB.icc", "AdobeRGB1998.icc", "ProPhotoRGB.icc", "Rec709.icc"}) {
        const ColourProfilePtr profile = ColourProfile::fromFile(colordProfiles + name);
        ASSERT_TRUE(profile);
        for (const int type : {CV_8UC3, CV_16UC3, CV_32FC3}) {
            SCOPED_TRACE(testing::Message() << name << " type " << type);
            // A 6 x 4 chart of flat patches rendered by Little CMS from the reference; 8-bit
            // patches dithered, as a photograph's noise does, so that their mean keeps more
            // than 8 bits. Patches that the profile cannot hold (the cyan in sRGB) come back
            // clipped, so only those that survive Little CMS's own round trip count against
            // the reference.
            const LcmsTransform render =
                littleCmsTransform(*profile, deviceFormat(CV_32FC3), false);
            const LcmsTransform back = littleCmsTransform(*profile, deviceFormat(CV_32FC3), true);
            cv::Mat rendered(4 * patchSize, 6 * patchSize, CV_32FC3);
            std::vector<bool> inGamut(24);
            cv::RNG rng(5);
            for (std::size_t p = 0; p < 24; ++p) {
                cv::Vec3f bgr;
                cmsDoTransform(render.get(), reference[p].val, bgr.val, 1);
                cv::Vec3d roundTrip;
                cmsDoTransform(back.get(), bgr.val, roundTrip.val, 1);
                inGamut[p] = deltaE2000(roundTrip, reference[p]) < 0.01 &&
                             cv::checkRange(bgr, true, nullptr, 0, 1);
                rendered(patchAt(p)).setTo(bgr);
            }
            cv::Mat picture;
            if (CV_MAT_DEPTH(type) == CV_8U) {
                cv::Mat dither(rendered.size(), CV_32FC3);
                rng.fill(dither, cv::RNG::UNIFORM, -0.5, 0.5);
                cv::Mat codes = rendered * 255.0 + dither;
                codes.convertTo(picture, type);
            } else {
                rendered.convertTo(picture, type, type == CV_16UC3 ? 65535.0 : 1.0);
            }

            double total = 0;
            int counted = 0;
            const LcmsTransform own = littleCmsTransform(*profile, deviceFormat(type), true);
            for (std::size_t p = 0; p < 24; ++p) {
                const cv::Rect patch = patchAt(p);
                const auto stats = measureLab(picture, patch, LabSpace::icc(profile));
                ASSERT_TRUE(stats);
                if (inGamut[p]) {
                    total += deltaE2000(stats->mean, reference[p]);
                    ++counted;
                }
                // One pixel against Little CMS's own transform of the same pixel.
                const cv::Point corner = patch.tl() + cv::Point(3, 4);
                const auto pixel = pixelLab(picture, corner, LabSpace::icc(profile));
                ASSERT_TRUE(pixel);
                EXPECT_LT(deltaE2000(*pixel, referencePixelLab(own, picture, corner)), 0.01)
                    << "patch " << p;
            }
            EXPECT_GE(counted, 22);
            EXPECT_LT(total / counted, 0.1);
            if (std::string(name) != "sRGB.icc" && std::string(name) != "Rec709.icc") {
                EXPECT_EQ(counted, 24);
            }
        }
    }
}

TEST(IccMeasurement, EveryPathMatchesLittleCmsOwnTransformOfTheSamePixels) {
    const ColourProfilePtr grey = ColourProfile::fromFile("/usr/share/color/icc/Gray.icc");
    ASSERT_TRUE(grey);
    const struct {
        QString profile;
        int type;
    } cases[] = {
        {colordProfiles + "ProPhotoRGB.icc", CV_8UC3},
        {colordProfiles + "ProPhotoRGB.icc", CV_16UC3},
        {colordProfiles + "ProPhotoRGB.icc", CV_32FC3},
        {colordProfiles + "AdobeRGB1998.icc", CV_8UC4},
        {colordProfiles + "Rec709.icc", CV_16UC3},
        {"/usr/share/color/icc/Gray.icc", CV_8UC1},
        {"/usr/share/color/icc/Gray.icc", CV_16UC1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.profile.toStdString() << " type " << c.type);
        const ColourProfilePtr profile = ColourProfile::fromFile(c.profile);
        ASSERT_TRUE(profile);
        const LabSpace space = LabSpace::icc(profile);
        const LcmsTransform own = littleCmsTransform(*profile, deviceFormat(c.type), true);
        // Large enough for the parallel paths; random, so no colour repeats much.
        const cv::Mat picture = randomPicture(c.type, {300, 200}, c.type);
        const cv::Mat lab = floatLab(picture, space);
        ASSERT_EQ(lab.type(), CV_32FC3);
        double worst = 0;
        cv::Vec3d sum;
        for (int y = 0; y < picture.rows; ++y)
            for (int x = 0; x < picture.cols; ++x) {
                const cv::Vec3d expected = referencePixelLab(own, picture, {x, y});
                worst = std::max(worst, deltaE2000(cv::Vec3d(lab.at<cv::Vec3f>(y, x)), expected));
                sum += expected;
            }
        EXPECT_LT(worst, 0.01);
        const auto stats = measureLab(picture, {0, 0, picture.cols, picture.rows}, space);
        ASSERT_TRUE(stats);
        EXPECT_LT(cv::norm(stats->mean - sum / double(picture.total())), 1e-3);
    }

    // Grey without a profile of its own reads as sRGB grey, three equal channels.
    const cv::Mat greyPicture = randomPicture(CV_16UC1, {40, 30}, 3);
    cv::Mat threeChannels;
    cv::merge(std::vector<cv::Mat>(3, greyPicture), threeChannels);
    const auto fromGrey = measureLab(greyPicture, {0, 0, 40, 30}, LabEncoding::Icc);
    const auto fromColour = measureLab(threeChannels, {0, 0, 40, 30}, LabEncoding::Icc);
    ASSERT_TRUE(fromGrey && fromColour);
    EXPECT_LT(cv::norm(fromGrey->mean - fromColour->mean), 1e-4);
    // A grey profile does not describe a colour picture.
    EXPECT_FALSE(measureLab(threeChannels, {0, 0, 4, 4}, LabSpace::icc(grey)));
    EXPECT_TRUE(floatLab(threeChannels, LabSpace::icc(grey)).empty());
}

TEST(IccMeasurement, RepeatedColoursMeasureAsEveryPixelDoes) {
    const ColourProfilePtr profile = ColourProfile::fromFile(colordProfiles + "ProPhotoRGB.icc");
    ASSERT_TRUE(profile);
    // 12 colours over 200 x 100 pixels: the distinct-colour path.
    cv::Mat picture(100, 200, CV_8UC3);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x)
            picture.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x % 4 * 60), uchar(y % 3 * 100), 200);
    cv::Mat mask(80, 150, CV_8UC1, cv::Scalar(0));
    mask(cv::Rect(10, 5, 90, 60)).setTo(255);
    const cv::Rect rect(20, 10, 150, 80);
    const auto stats = measureLab(picture, rect, LabSpace::icc(profile), mask);
    ASSERT_TRUE(stats);
    cv::Scalar mean;
    cv::Scalar stdDev;
    cv::meanStdDev(floatLab(picture(rect), LabSpace::icc(profile)), mean, stdDev, mask);
    EXPECT_EQ(stats->count, 90 * 60);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(stats->mean[c], mean[c], 1e-3);
        EXPECT_NEAR(stats->stdDev[c], stdDev[c], 1e-3);
    }
}

TEST(IccMeasurement, LabGoesBackToThePicturesValuesAndSaysWhatFellOutside) {
    const ColourProfilePtr profile = ColourProfile::fromFile(colordProfiles + "AdobeRGB1998.icc");
    ASSERT_TRUE(profile);
    const LabSpace space = LabSpace::icc(profile);
    // Mid grey, a saturated red inside Adobe RGB, and a blue-green far beyond it.
    cv::Mat lab(1, 3, CV_32FC3);
    lab.at<cv::Vec3f>(0, 0) = {50, 0, 0};
    lab.at<cv::Vec3f>(0, 1) = {45, 60, 40};
    lab.at<cv::Vec3f>(0, 2) = {60, -120, -90};
    std::int64_t outside = -1;
    const cv::Mat kept = space.fromLab(lab, false, &outside);
    EXPECT_EQ(outside, 1);
    const LcmsTransform own = littleCmsTransform(*profile, TYPE_BGR_FLT, false);
    for (int x = 0; x < 2; ++x) {
        const cmsCIELab value{lab.at<cv::Vec3f>(0, x)[0], lab.at<cv::Vec3f>(0, x)[1],
                              lab.at<cv::Vec3f>(0, x)[2]};
        cv::Vec3f expected;
        cmsDoTransform(own.get(), &value, &expected, 1);
        EXPECT_LT(cv::norm(kept.at<cv::Vec3f>(0, x) - expected), 1e-4) << x;
    }
    const cv::Mat clipped = space.fromLab(lab, true);
    double low = 0;
    double high = 0;
    cv::minMaxLoc(clipped.reshape(1), &low, &high);
    EXPECT_GE(low, 0.0);
    EXPECT_LE(high, 1.0);
    // In the gamut, there and back.
    const cv::Mat back = space.toLab(clipped.colRange(0, 2));
    for (int x = 0; x < 2; ++x)
        EXPECT_LT(
            deltaE2000(cv::Vec3d(back.at<cv::Vec3f>(0, x)), cv::Vec3d(lab.at<cv::Vec3f>(0, x))),
            0.01);

    // The OpenCV modes go back through OpenCV's own conversion.
    cv::Mat expected;
    cv::cvtColor(lab, expected, cv::COLOR_Lab2BGR);
    EXPECT_EQ(cv::norm(LabSpace(LabEncoding::Srgb).fromLab(lab, false), expected, cv::NORM_INF),
              0.0);
    EXPECT_TRUE(space.fromLab(cv::Mat(2, 2, CV_8UC3), false).empty());
}

namespace {

// Fills a table's grid point with the sRGB colour's L*a*b* in Little CMS's 16-bit encoding.
cmsInt32Number sampleSrgb(const cmsUInt16Number in[], cmsUInt16Number out[], void *transform) {
    cmsDoTransform(transform, in, out, 1);
    return 1;
}

// An input profile that describes sRGB by a 9-point table alone, as camera profiles do.
ColourProfilePtr tableProfile() {
    const LcmsTransform sampler =
        labTransform(LcmsProfile(cmsCreate_sRGBProfile()), TYPE_RGB_16, true, 0, TYPE_Lab_16);
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage *table = cmsStageAllocCLut16bit(nullptr, 9, 3, 3, nullptr);
    cmsStageSampleCLut16bit(table, sampleSrgb, sampler.get(), 0);
    // The tag's layout wants curves around the table; identity ones.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigRgbData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    return ColourProfile::fromBytes(savedProfile(profile));
}

} // namespace

TEST(IccMeasurement, TableProfilesConvertThroughLittleCmsAndMayHaveNoWayBack) {
    const ColourProfilePtr profile = tableProfile();
    ASSERT_TRUE(profile);
    for (const int type : {CV_8UC3, CV_16UC3}) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        const LcmsTransform own = littleCmsTransform(*profile, deviceFormat(type), true);
        const cv::Mat picture = randomPicture(type, {20, 10}, 11);
        const cv::Mat lab = floatLab(picture, LabSpace::icc(profile));
        ASSERT_EQ(lab.type(), CV_32FC3);
        for (const cv::Point point : {cv::Point(0, 0), cv::Point(7, 3), cv::Point(19, 9)})
            EXPECT_LT(deltaE2000(cv::Vec3d(lab.at<cv::Vec3f>(point)),
                                 referencePixelLab(own, picture, point)),
                      0.01);
    }
    // Only the way in is described.
    EXPECT_TRUE(LabSpace::icc(profile)
                    .fromLab(cv::Mat(1, 1, CV_32FC3, cv::Scalar(50, 0, 0)), true)
                    .empty());
}
