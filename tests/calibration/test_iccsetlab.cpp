// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofile.h"
#include "meanlabadjustment.h"
#include "seriesrun.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

namespace {

const QString proPhotoPath = QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc");

using Transform = std::unique_ptr<void, decltype(&cmsDeleteTransform)>;

// Little CMS's own transform between a picture of `depth` in `profile` and float ICC L*a*b*.
Transform labTransform(const ColourProfile &profile, int depth, bool toLab) {
    const cmsUInt32Number bgr = depth == CV_8U    ? TYPE_BGR_8
                                : depth == CV_16U ? TYPE_BGR_16
                                                  : TYPE_BGR_FLT;
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM transform =
        toLab ? cmsCreateTransform(profile.handle(), bgr, lab, TYPE_Lab_DBL,
                                   INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE)
              : cmsCreateTransform(lab, TYPE_Lab_DBL, profile.handle(), bgr,
                                   INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsCloseProfile(lab);
    return {transform, cmsDeleteTransform};
}

// A textured picture of `depth` rendered from L*a*b* around 50, 5, -5.
cv::Mat renderedPicture(const ColourProfile &profile, int depth, const cv::Size &size) {
    cv::Mat lab(size, CV_64FC3);
    cv::RNG random(7);
    random.fill(lab, cv::RNG::UNIFORM, cv::Scalar(35, -15, -20), cv::Scalar(65, 25, 10));
    cv::Mat picture(size, CV_MAKETYPE(depth, 3));
    const Transform transform = labTransform(profile, depth, false);
    for (int row = 0; row < size.height; ++row)
        cmsDoTransform(transform.get(), lab.ptr(row), picture.ptr(row),
                       static_cast<cmsUInt32Number>(size.width));
    return picture;
}

// The mean ICC L*a*b* of a part, measured by Little CMS alone.
cv::Vec3d lcmsMean(const ColourProfile &profile, const cv::Mat &part) {
    const Transform transform = labTransform(profile, part.depth(), true);
    cv::Mat lab(part.size(), CV_64FC3);
    for (int row = 0; row < part.rows; ++row)
        cmsDoTransform(transform.get(), part.ptr(row), lab.ptr(row),
                       static_cast<cmsUInt32Number>(part.cols));
    const cv::Scalar mean = cv::mean(lab);
    return {mean[0], mean[1], mean[2]};
}

cv::Vec3d codesOf(const cv::Vec3d &lab) {
    return exactLabCodes(lab);
}

// Pixels of `part` whose L*a*b*, scaled as Set Mean Lab scales it towards `target`, lie outside
// the profile's gamut or the L*a*b* encoding, by Little CMS alone.
int lcmsClippedCount(const ColourProfile &profile, const cv::Mat &part, const cv::Vec3d &target) {
    const cv::Vec3d mean = codesOf(lcmsMean(profile, part));
    const cv::Vec3d goal = codesOf(target);
    const cv::Vec3d factor(goal[0] / mean[0], goal[1] / mean[1], goal[2] / mean[2]);
    const Transform toLab = labTransform(profile, part.depth(), true);
    const Transform back = labTransform(profile, CV_32F, false);
    int count = 0;
    for (int row = 0; row < part.rows; ++row)
        for (int col = 0; col < part.cols; ++col) {
            cv::Vec3d lab;
            cmsDoTransform(toLab.get(), part.ptr(row, col), lab.val, 1);
            lab = cv::Vec3d(lab[0] * factor[0], (lab[1] + 128) * factor[1] - 128,
                            (lab[2] + 128) * factor[2] - 128);
            cv::Vec3f bgr;
            cmsDoTransform(back.get(), lab.val, bgr.val, 1);
            bool inside = lab[0] >= 0 && lab[0] <= 100 && lab[1] >= -128 && lab[1] <= 127 &&
                          lab[2] >= -128 && lab[2] <= 127;
            for (const float value : bgr.val)
                inside = inside && value >= 0 && value <= 1;
            count += inside ? 0 : 1;
        }
    return count;
}

ColourProfilePtr proPhoto() {
    const ColourProfilePtr profile = ColourProfile::fromFile(proPhotoPath);
    EXPECT_TRUE(profile) << "colord-data's ProPhotoRGB.icc";
    return profile;
}

} // namespace

TEST(IccSetMeanLab, ReachesTheTargetInEachDepthAndKeepsTheRestOfThePicture) {
    const ColourProfilePtr profile = proPhoto();
    ASSERT_TRUE(profile);
    // Rectangles of several thousand pixels, converted back in more than one band.
    const cv::Rect rect(20, 10, 160, 120);
    const cv::Rect moved(0, 140, 240, 60);
    // The last case repeats each colour four times, so it goes through a palette of colours.
    for (const int depth : {CV_8U, CV_16U, CV_32F, -1}) {
        SCOPED_TRACE(depth);
        cv::Mat picture;
        if (depth >= 0)
            picture = renderedPicture(*profile, depth, cv::Size(240, 200));
        else
            cv::resize(renderedPicture(*profile, CV_8U, cv::Size(120, 100)), picture,
                       cv::Size(240, 200), 0, 0, cv::INTER_NEAREST);
        MeanLabAdjustment adjustment;
        ASSERT_TRUE(adjustment.bind(picture, LabSpace::icc(profile)));
        for (const cv::Vec3d &target : {cv::Vec3d(60, 12, -10), cv::Vec3d(40, -20, 25)}) {
            ASSERT_TRUE(adjustment.adjust(rect, codesOf(target), CodeRounding::Truncate));
            const cv::Mat &work = adjustment.workImage();
            EXPECT_EQ(work.type(), picture.type());
            EXPECT_LT(cv::norm(lcmsMean(*profile, work(rect)) - target), 0.1);
            EXPECT_EQ(adjustment.clippedPixels(rect), 0);
            cv::Mat outside = work != picture;
            outside(rect).setTo(0);
            EXPECT_EQ(cv::countNonZero(outside.reshape(1)), 0);
        }
        // Moving the rectangle restores the previous one; a target beyond the gamut clips.
        const std::optional<cv::Rect> changed =
            adjustment.adjust(moved, codesOf({98, 90, 90}), CodeRounding::Truncate);
        ASSERT_TRUE(changed);
        EXPECT_EQ(*changed, rect | moved);
        const int clipped = lcmsClippedCount(*profile, picture(moved), {98, 90, 90});
        EXPECT_GT(clipped, moved.area() / 2);
        EXPECT_NEAR(adjustment.clippedPixels(moved), clipped, moved.area() / 100);
        EXPECT_EQ(cv::norm(adjustment.workImage()(rect), picture(rect), cv::NORM_INF), 0);
    }
}

TEST(IccSeries, FilesCarryTheProfileAndMeasureAsTheManifestSays) {
    const ColourProfilePtr profile = proPhoto();
    ASSERT_TRUE(profile);
    const cv::Rect rect(10, 10, 40, 30);
    struct Case {
        SeriesFormat format;
        bool precise;
        int fileType;
        const char *formatKey;
    };
    // The precise JPEG rows must also lie within their goal of their names, as Little CMS
    // measures the files.
    for (const Case &mode : {Case{SeriesFormat::Png16, false, CV_16UC3, "png16"},
                             Case{SeriesFormat::Jpeg, true, CV_8UC3, "jpg"}}) {
        SCOPED_TRACE(mode.formatKey);
        const QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        SeriesRequest request;
        request.image = renderedPicture(*profile, CV_16U, cv::Size(60, 50));
        request.corners = {rect.tl(), cv::Point(rect.x, rect.br().y), rect.br(),
                           cv::Point(rect.br().x, rect.y)};
        request.plan = {SeriesPlan::Kind::Grid, {40, 60, 60}};
        request.options = {folder.path(), mode.format, mode.precise, LabEncoding::Icc, profile};
        const std::atomic<bool> noStop{false};
        const SeriesResult result = runReferenceSeries(request, noStop, {});
        ASSERT_GT(result.written, 0);
        EXPECT_EQ(result.written, result.total);

        QFile manifest(folder.filePath(request.plan.manifestBaseName() + ".csv"));
        ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(manifest.readAll()).split('\n');
        EXPECT_TRUE(lines.contains("# series encoding: icc"));
        EXPECT_TRUE(lines.contains(QStringLiteral("# series format: ") + mode.formatKey));
        EXPECT_TRUE(lines.contains("# series profile: " + profile->description()));
        int rows = 0;
        int held = 0;
        for (const QString &line : lines.mid(1)) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            const QStringList fields = line.split(',');
            const QString path = folder.filePath(fields[0]);
            const EmbeddedProfile embedded = readEmbeddedProfile(path);
            EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(embedded.icc.data()),
                                 static_cast<qsizetype>(embedded.icc.size())),
                      profile->bytes());
            const cv::Mat file = cv::imread(path.toStdString(), cv::IMREAD_UNCHANGED);
            ASSERT_EQ(file.type(), mode.fileType) << fields[0].toStdString();
            const cv::Vec3d named(fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble());
            const cv::Vec3d measured(fields[4].toDouble(), fields[5].toDouble(),
                                     fields[6].toDouble());
            const cv::Vec3d lcms = lcmsMean(*profile, file);
            EXPECT_LT(cv::norm(lcms - measured), 0.01) << line.toStdString();
            if (mode.precise && fields.last() == "ok") {
                EXPECT_LE(cv::norm(lcms - named), seriesGoal(request.options))
                    << line.toStdString();
                ++held;
            }
            ++rows;
        }
        EXPECT_EQ(rows, result.total);
        if (mode.precise) {
            EXPECT_GT(held, 0);
        }
    }
}
