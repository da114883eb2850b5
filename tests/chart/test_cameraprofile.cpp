// SPDX-License-Identifier: GPL-3.0-or-later
#include "../support/filesizelimit.h"
#include "../support/littlecms.h"
#include "cameraprofile.h"
#include "cameraprofileicc.h"
#include "cameraprofilereadings.h"
#include "patchgrid.h"
#include "patchmeasurement.h"
#include "qstringprinting.h"
#include "renderedchart.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstdio>

namespace {

// A camera: XYZ (D50) through a wide-gamut response with a warm cast, then its tone curve.
struct SimulatedCamera {
    ToneCurve tone;
    double gamma = 1;

    cv::Vec3d rgb(const cv::Vec3d &lab) const {
        const cmsCIELab point = {lab[0], lab[1], lab[2]};
        cmsCIEXYZ xyz;
        cmsLab2XYZ(cmsD50_XYZ(), &xyz, &point);
        const cv::Matx33d response(1.3460, -0.2556, -0.0511, -0.5446, 1.5082, 0.0205, 0.0, 0.0,
                                   1.2123);
        const cv::Matx33d cast(0.92, 0, 0, 0, 0.85, 0, 0, 0, 0.62);
        const cv::Vec3d linear = cast * response * cv::Vec3d(xyz.X, xyz.Y, xyz.Z);
        cv::Vec3d encoded;
        for (int c = 0; c < 3; ++c) {
            const double value = std::max(0.0, linear[c]);
            encoded[c] = tone == ToneCurve::Linear  ? value
                         : tone == ToneCurve::Gamma ? std::pow(value, 1 / gamma)
                         : value <= 0.0031308       ? 12.92 * value
                                                    : 1.055 * std::pow(value, 1 / 2.4) - 0.055;
        }
        return encoded;
    }

    std::vector<cv::Vec3d> photograph(const ChartReference &reference) const {
        std::vector<cv::Vec3d> values;
        for (const cv::Vec3d &lab : reference)
            values.push_back(rgb(lab));
        return values;
    }
};

// The readings of a 16-bit photograph of the chart, through the grid over its true field, and
// the L*a*b* the picture gives read as sRGB.
CameraProfileInput readPhotograph(const std::vector<cv::Vec3d> &colours) {
    Photography photography;
    photography.outline = tiltedOutline;
    photography.depth = CV_16U;
    const ChartPhoto photo = photographChart(colours, 4, 6, photography);
    Quad corners;
    for (size_t i = 0; i < 4; ++i)
        corners[i] = cv::Point(cvRound(photo.field[i].x), cvRound(photo.field[i].y));
    const PatchGrid grid = patchGrid(corners, {4, 6, 25});
    CameraProfileInput input;
    input.readings = readPatchRgb(photo.image, grid.areas);
    for (const auto &stats : measurePatches(photo.image, grid.areas, LabEncoding::Srgb))
        input.before.push_back(stats->mean);
    return input;
}

// L*a*b* (D50) of device values through the profile, by Little CMS's own transform.
std::vector<cv::Vec3d> labThroughProfile(const QByteArray &bytes,
                                         const std::vector<cv::Vec3d> &rgb) {
    const LcmsTransform toLab =
        labTransform(openProfile(bytes), TYPE_RGB_DBL, true, cmsFLAGS_NOOPTIMIZE);
    EXPECT_TRUE(toLab);
    std::vector<cv::Vec3d> labs;
    for (size_t i = 0; toLab && i < rgb.size(); ++i)
        labs.push_back(labOf(toLab, rgb[i].val));
    return labs;
}

double meanDeltaE(const std::vector<cv::Vec3d> &labs, const ChartReference &reference) {
    double sum = 0;
    for (size_t i = 0; i < labs.size(); ++i)
        sum += littleCmsDeltaE2000(labs[i], reference[i]);
    return sum / double(labs.size());
}

} // namespace

// A profile made from a ColorChecker 24 photographed by a camera reads another chart taken by
// the same camera, through Little CMS, close to its maker's values; and the file Little CMS
// loads agrees with the fit's own figures.
TEST(CameraProfile, ProfileFromOneChartReadsAnotherThroughLittleCms) {
    const ChartReference checker = makerReference("ColorChecker.cie");
    const ChartReference passport = makerReference("ColorCheckerPassport.cie");
    const SimulatedCamera cameras[] = {
        {ToneCurve::Srgb}, {ToneCurve::Gamma, 1.8}, {ToneCurve::Linear}};
    for (const SimulatedCamera &camera : cameras) {
        SCOPED_TRACE(toneCurveKey(camera.tone).toStdString());
        CameraProfileInput input = readPhotograph(camera.photograph(checker));
        input.reference = checker;
        input.tone = camera.tone;
        const CameraProfileResult result = fitCameraProfile(input);
        ASSERT_TRUE(result.fit) << result.problem.toStdString();
        const CameraProfileFit &fit = *result.fit;
        EXPECT_EQ(fit.usedPatches, 24);
        EXPECT_EQ(fit.before.count, 24);
        EXPECT_GT(fit.before.mean, 3);
        EXPECT_LT(fit.after.mean, 0.2);
        if (camera.tone == ToneCurve::Gamma) {
            EXPECT_NEAR(fit.model.gamma, 1.8, 0.02);
        }

        QString error;
        const auto bytes = cameraProfileBytes(
            fit.model, cameraProfileDescription("ColorChecker Classic 24", QDate(2026, 12, 10)),
            error);
        ASSERT_TRUE(bytes) << error.toStdString();
        std::vector<cv::Vec3d> readings;
        for (const auto &reading : input.readings)
            readings.push_back(*reading);
        const std::vector<cv::Vec3d> throughFile = labThroughProfile(*bytes, readings);
        for (size_t i = 0; i < readings.size(); ++i)
            EXPECT_LT(littleCmsDeltaE2000(throughFile[i], *fit.patches[i].labAfter), 0.05)
                << "patch " << i + 1;

        const double other =
            meanDeltaE(labThroughProfile(*bytes, camera.photograph(passport)), passport);
        std::printf("camera profile, %s: ColorChecker read as sRGB %.2f (max %.2f), through the "
                    "fit %.3f (max %.3f); "
                    "Passport through the profile %.3f mean ΔE2000\n",
                    toneCurveKey(camera.tone).toUtf8().constData(), fit.before.mean,
                    fit.before.maximum, fit.after.mean, fit.after.maximum, other);
        EXPECT_LT(other, 0.4);
    }
}

TEST(CameraProfile, WritesAnIccV4InputProfileAtomically) {
    const ChartReference checker = makerReference("ColorChecker.cie");
    CameraProfileInput input;
    for (const cv::Vec3d &rgb : SimulatedCamera{ToneCurve::Srgb}.photograph(checker))
        input.readings.push_back(rgb);
    input.reference = checker;
    const auto fit = fitCameraProfile(input).fit;
    ASSERT_TRUE(fit);

    const QTemporaryDir folder;
    const QString path = folder.filePath("camera.icc");
    const QString description =
        cameraProfileDescription("ColorChecker Classic 24", QDate(2026, 12, 10));
    EXPECT_EQ(description, "Camera profile from ColorChecker Classic 24, 2026-12-10");
    ASSERT_TRUE(writeCameraProfile(path, fit->model, description).written());
    const LcmsProfile profile = openProfile(path);
    ASSERT_TRUE(profile);
    EXPECT_GE(cmsGetProfileVersion(profile.get()), 4.0);
    EXPECT_EQ(cmsGetDeviceClass(profile.get()), cmsSigInputClass);
    EXPECT_EQ(cmsGetColorSpace(profile.get()), cmsSigRgbData);
    EXPECT_TRUE(cmsIsMatrixShaper(profile.get()));
    wchar_t text[128] = {};
    cmsGetProfileInfo(profile.get(), cmsInfoDescription, "en", "US", text, sizeof text);
    EXPECT_EQ(QString::fromWCharArray(text), description);
    const auto *white =
        static_cast<const cmsCIEXYZ *>(cmsReadTag(profile.get(), cmsSigMediaWhitePointTag));
    ASSERT_TRUE(white);
    EXPECT_NEAR(white->X, cmsD50_XYZ()->X, 1e-4);
    EXPECT_NEAR(white->Z, cmsD50_XYZ()->Z, 1e-4);

    // A write that fails leaves the old file whole, and nothing beside it.
    ASSERT_TRUE(writeFileBytes(path, "old profile"));
    {
        const FileSizeLimit limit(64);
        ASSERT_TRUE(limit.isApplied());
        EXPECT_FALSE(writeCameraProfile(path, fit->model, description).written());
    }
    EXPECT_EQ(fileBytes(path), "old profile");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"camera.icc"});
}

TEST(CameraProfile, RefusesWhatCannotMakeAProfile) {
    const ChartReference checker = makerReference("ColorChecker.cie");
    const std::vector<cv::Vec3d> good = SimulatedCamera{ToneCurve::Srgb}.photograph(checker);
    std::vector<std::optional<cv::Vec3d>> fewRead(good.begin(), good.end());
    for (size_t i = 5; i < fewRead.size(); ++i)
        fewRead[i] = i % 2 ? std::nullopt : std::optional<cv::Vec3d>(cv::Vec3d(1, 0.5, 0.5));
    std::vector<std::optional<cv::Vec3d>> grey;
    for (const cv::Vec3d &rgb : good)
        grey.push_back(cv::Vec3d::all(rgb[1]));

    const struct {
        const char *name;
        std::vector<std::optional<cv::Vec3d>> readings;
        const char *problem;
    } cases[] = {
        {"140 patches read", std::vector<std::optional<cv::Vec3d>>(140, cv::Vec3d::all(0.5)),
         "The reference holds 24 patches but the chart has 140."},
        {"five usable", fewRead,
         "Only 5 patches are usable (read and not clipped); a profile needs at least 6."},
        {"all grey", grey,
         "The fit does not converge: the usable patches do not hold three independent colours."},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        CameraProfileInput input;
        input.readings = test.readings;
        input.reference = checker;
        const CameraProfileResult result = fitCameraProfile(input);
        EXPECT_FALSE(result.fit);
        EXPECT_EQ(result.problem, test.problem);
    }
}

TEST(CameraProfile, ToneCurveKeys) {
    for (const ToneCurve tone : {ToneCurve::Srgb, ToneCurve::Gamma, ToneCurve::Linear})
        EXPECT_EQ(toneCurveFromKey(toneCurveKey(tone)), tone);
    EXPECT_FALSE(toneCurveFromKey("log"));
}
