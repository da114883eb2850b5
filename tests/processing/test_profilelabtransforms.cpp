// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourprofile.h"
#include "profilelabtransforms.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <memory>

namespace {

struct ProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
struct TransformDeleter {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

// Little CMS's own float transforms between L*a*b* and the profile, made from its bytes.
struct LittleCms {
    explicit LittleCms(const ColourProfile &profile)
        : device(cmsOpenProfileFromMem(profile.bytes().constData(),
                                       static_cast<cmsUInt32Number>(profile.bytes().size()))),
          lab(cmsCreateLab4Profile(nullptr)),
          fromLab(cmsCreateTransform(lab.get(), TYPE_Lab_FLT, device.get(), TYPE_BGR_FLT,
                                     INTENT_RELATIVE_COLORIMETRIC, 0)),
          toLab(cmsCreateTransform(device.get(), TYPE_BGR_FLT, lab.get(), TYPE_Lab_FLT,
                                   INTENT_RELATIVE_COLORIMETRIC, 0)) {}
    std::unique_ptr<void, ProfileCloser> device;
    std::unique_ptr<void, ProfileCloser> lab;
    Transform fromLab;
    Transform toLab;
};

void transformRows(void *transform, const cv::Mat &in, cv::Mat &out) {
    out.create(in.size(), CV_32FC3);
    for (int y = 0; y < in.rows; ++y)
        cmsDoTransform(transform, in.ptr(y), out.ptr(y), static_cast<cmsUInt32Number>(in.cols));
}

// The largest dE2000 between `lab` and `values` taken back to L*a*b* by `toLab`.
double worstRoundTrip(void *toLab, const cv::Mat &values, const cv::Mat &lab) {
    cv::Mat back;
    transformRows(toLab, values, back);
    double worst = 0;
    for (int y = 0; y < lab.rows; ++y)
        for (int x = 0; x < lab.cols; ++x) {
            const cv::Vec3f &a = lab.at<cv::Vec3f>(y, x);
            const cv::Vec3f &b = back.at<cv::Vec3f>(y, x);
            const cmsCIELab first{a[0], a[1], a[2]};
            const cmsCIELab second{b[0], b[1], b[2]};
            worst = std::max(worst, cmsCIE2000DeltaE(&first, &second, 1, 1, 1));
        }
    return worst;
}

} // namespace

TEST(ProfileLabTransforms, FromLabAgreesWithLittleCmsInsideAndOutsideTheGamut) {
    const QString colord = QStringLiteral("/usr/share/color/icc/colord/");
    const ColourProfilePtr profiles[] = {
        ColourProfile::srgb(),
        ColourProfile::fromFile(colord + "ProPhotoRGB.icc"),
        ColourProfile::fromFile(colord + "AdobeRGB1998.icc"),
        ColourProfile::fromFile(colord + "Rec709.icc"),
        ColourProfile::fromFile(colord + "sRGB.icc"),
        ColourProfile::fromFile(QStringLiteral("/usr/share/color/icc/sRGB.icc"))};
    // A grid over and beyond the L*a*b* encoding, then colours of random device values,
    // dark ones in particular, where the curves are steepest.
    cv::Mat grid(23, 31 * 31, CV_32FC3);
    for (int l = 0; l < grid.rows; ++l)
        for (int ab = 0; ab < grid.cols; ++ab)
            grid.at<cv::Vec3f>(l, ab) = cv::Vec3f(-5.0f + 5.0f * l, -150.0f + 10.0f * (ab % 31),
                                                  -150.0f + 10.0f * (ab / 31));
    cv::Mat devices(64, 256, CV_32FC3);
    cv::RNG rng(7);
    rng.fill(devices.rowRange(0, 48), cv::RNG::UNIFORM, 0.0, 1.0);
    rng.fill(devices.rowRange(48, 64), cv::RNG::UNIFORM, 0.0, 0.02);

    for (const ColourProfilePtr &profile : profiles) {
        ASSERT_TRUE(profile);
        SCOPED_TRACE(profile->description().toStdString());
        const LittleCms own(*profile);
        ASSERT_TRUE(own.fromLab && own.toLab);
        cv::Mat inGamut;
        transformRows(own.toLab.get(), devices, inGamut);
        for (const cv::Mat &lab : {grid, inGamut}) {
            cv::Mat values;
            ASSERT_TRUE(profile->labTransforms().fromLab(lab, values));
            cv::Mat expected;
            transformRows(own.fromLab.get(), lab, expected);
            EXPECT_LE(cv::norm(values, expected, cv::NORM_INF), 2e-5);
        }
        // Back through Little CMS, within 0.01 dE2000; where the profile's curves are tables,
        // Little CMS reads them at 16-bit codes and its own way back does no better.
        cv::Mat values;
        profile->labTransforms().fromLab(inGamut, values);
        cv::Mat ownValues;
        transformRows(own.fromLab.get(), inGamut, ownValues);
        const double worst = worstRoundTrip(own.toLab.get(), values, inGamut);
        EXPECT_LE(worst, std::max(0.01, worstRoundTrip(own.toLab.get(), ownValues, inGamut)));
    }
}
