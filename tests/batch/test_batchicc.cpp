// SPDX-License-Identifier: GPL-3.0-or-later
// vexmira-batch in the colour-managed mode: a ColorChecker rendered by Little CMS from its maker's
// L*a*b* into real profiles, read back against the maker's CGATS file; written files carrying
// their profile; refused profiles.
#include "batchprocess.h"
#include "embeddedprofile.h"
#include "picturefile.h"

#include "../support/littlecms.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <iostream>
#include <vector>

namespace {

using Icc = std::vector<unsigned char>;

const char colorChecker[] = "/usr/share/color/argyll/ref/ColorChecker.cie";
const QString proPhoto = colordProfiles + "ProPhotoRGB.icc";
constexpr int chartRows = 4;
constexpr int chartColumns = 6;
constexpr int patchSide = 24;

// ITU-R BT.2020: its primaries, D65, and the inverse of its transfer function.
Icc rec2020Profile() {
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
    const double parameters[] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
    cmsToneCurve *curve = cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsMLU *description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Rec. 2020");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    cmsFreeToneCurve(curve);
    return savedProfile<Icc>(profile);
}

// The chart's patches row by row, each the reference colour as Little CMS renders it
// (relative colorimetric) into `icc` at `depth`.
cv::Mat renderChart(const Icc &icc, int depth) {
    const LcmsTransform toRgb =
        labTransform(openProfile(icc), depth == CV_8U ? TYPE_BGR_8 : TYPE_BGR_16, false);
    cv::Mat chart(chartRows * patchSide, chartColumns * patchSide, CV_MAKETYPE(depth, 3));
    const std::vector<cv::Vec3d> reference = colorCheckerLab();
    for (int i = 0; i < chartRows * chartColumns; ++i) {
        cv::Mat pixel(1, 1, chart.type());
        cmsDoTransform(toRgb.get(), reference[i].val, pixel.data, 1);
        chart(cv::Rect(i % chartColumns * patchSide, i / chartColumns * patchSide, patchSide,
                       patchSide))
            .setTo(depth == CV_8U ? cv::Scalar(pixel.at<cv::Vec3b>(0, 0))
                                  : cv::Scalar(pixel.at<cv::Vec3w>(0, 0)));
    }
    return chart;
}

// Little CMS's own L*a*b* of the chart's first pixel of every patch.
std::vector<cv::Vec3d> littleCmsLab(const cv::Mat &chart, const Icc &icc) {
    const LcmsTransform toLab =
        labTransform(openProfile(icc), chart.depth() == CV_8U ? TYPE_BGR_8 : TYPE_BGR_16, true,
                     cmsFLAGS_NOOPTIMIZE);
    std::vector<cv::Vec3d> values;
    for (int i = 0; i < chartRows * chartColumns; ++i)
        values.push_back(
            labOf(toLab, chart.ptr(i / chartColumns * patchSide, i % chartColumns * patchSide)));
    return values;
}

QString chartCorners() {
    const int right = chartColumns * patchSide - 1;
    const int bottom = chartRows * patchSide - 1;
    return QStringLiteral("0,0,0,%2,%1,%2,%1,0").arg(right).arg(bottom);
}

bool writeFile(const QString &path, const cv::Mat &image, const Icc &icc) {
    const auto bytes =
        encodeImageRectWithProfile(image, cv::Rect(cv::Point(), image.size()), path, icc);
    QFile file(path);
    return bytes && file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char *>(bytes->data()), qint64(bytes->size())) ==
               qint64(bytes->size());
}

// The measured L*a*b* of each row of the chart CSV.
std::vector<cv::Vec3d> measuredLab(const QByteArray &csv) {
    std::vector<cv::Vec3d> values;
    for (const QByteArray &line : csv.split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() > 3 && !line.startsWith('#') && !line.startsWith("index"))
            values.emplace_back(fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble());
    }
    return values;
}

struct ChartCase {
    const char *name;
    Icc icc;
    int depth;
    const char *file;
    bool embedded; // otherwise assigned with --profile, or sRGB when no profile is named
    bool assigned;
    const char *label;
};

} // namespace

TEST(BatchIcc, ReadsColorCheckersInTheirProfilesAsTheMakersReference) {
    const QTemporaryDir folder;
    const Icc srgb = savedProfile<Icc>(cmsCreate_sRGBProfile());
    const std::vector<ChartCase> cases = {
        {"sRGB 8-bit, no profile", srgb, CV_8U, "srgb8.png", false, false, "sRGB built-in"},
        {"sRGB 16-bit, no profile", srgb, CV_16U, "srgb16.png", false, false, "sRGB built-in"},
        {"ProPhoto 16-bit TIFF, embedded", fileBytes<Icc>(proPhoto), CV_16U, "prophoto.tif", true,
         false, "ProPhoto RGB"},
        {"ProPhoto 16-bit TIFF, assigned", fileBytes<Icc>(proPhoto), CV_16U, "assigned.tif", false,
         true, "ProPhoto RGB"},
        {"Rec.2020 16-bit TIFF, embedded", rec2020Profile(), CV_16U, "rec2020.tif", true, false,
         "Rec. 2020"},
    };
    const std::vector<cv::Vec3d> reference = colorCheckerLab();
    ASSERT_EQ(reference.size(), std::size_t(chartRows * chartColumns));
    for (const ChartCase &chartCase : cases) {
        SCOPED_TRACE(chartCase.name);
        const QString path = folder.filePath(QLatin1String(chartCase.file));
        const cv::Mat chart = renderChart(chartCase.icc, chartCase.depth);
        ASSERT_TRUE(writeFile(path, chart, chartCase.embedded ? chartCase.icc : Icc()));
        QStringList arguments = {QStringLiteral("measure"),     path,
                                 QStringLiteral("--corners"),   chartCorners(),
                                 QStringLiteral("--chart"),     QStringLiteral("4x6"),
                                 QStringLiteral("--reference"), QLatin1String(colorChecker),
                                 QStringLiteral("--encoding"),  QStringLiteral("icc")};
        if (chartCase.assigned)
            arguments << QStringLiteral("--profile") << proPhoto;
        const BatchRun run = runBatch(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith("# L*a*b*: ICC D50, relative colorimetric, profile \"" +
                                       QByteArray(chartCase.label) + "\"\n"))
            << run.out.left(120).toStdString();

        const std::vector<cv::Vec3d> measured = measuredLab(run.out);
        const std::vector<cv::Vec3d> ownTransform = littleCmsLab(chart, chartCase.icc);
        ASSERT_EQ(measured.size(), reference.size());
        // Little CMS's own reading of the same pixels is the measure; the maker's values are
        // shown for scale.
        double mean = 0;
        double largest = 0;
        for (std::size_t i = 0; i < measured.size(); ++i) {
            mean += littleCmsDeltaE2000(measured[i], reference[i]) / double(measured.size());
            largest = std::max(largest, littleCmsDeltaE2000(measured[i], ownTransform[i]));
        }
        std::cout << chartCase.name << ": dE2000 from ColorChecker.cie mean " << mean
                  << "; from Little CMS's transform max " << largest << '\n';
        EXPECT_LT(largest, 0.01);
    }
}

TEST(BatchIcc, WarpAndShadeKeepTheProfileAndTheDepth) {
    const QTemporaryDir folder;
    const Icc icc = fileBytes<Icc>(proPhoto);
    const QString input = folder.filePath(QStringLiteral("chart.tif"));
    ASSERT_TRUE(writeFile(input, renderChart(icc, CV_16U), icc));
    const QString corners = QStringLiteral("0,0,0,95,143,95,143,0");
    for (const char *command : {"warp", "shade"}) {
        for (const char *format : {"tif", "png"}) {
            SCOPED_TRACE(std::string(command) + " to " + format);
            const QString output = folder.filePath(
                QStringLiteral("%1.%2").arg(QLatin1String(command), QLatin1String(format)));
            QStringList arguments = {
                QLatin1String(command),      input,   output,
                QStringLiteral("--corners"), corners, QStringLiteral("--encoding"),
                QStringLiteral("icc")};
            if (QLatin1String(command) == QLatin1String("shade"))
                arguments << QStringLiteral("--cell") << QString::number(patchSide);
            const BatchRun run = runBatch(arguments);
            ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
            EXPECT_EQ(cv::imread(output.toStdString(), cv::IMREAD_UNCHANGED).type(), CV_16UC3);
            const EmbeddedProfile carried = readEmbeddedProfile(output);
            EXPECT_EQ(carried.icc, icc) << carried.error.toStdString();
        }
    }
}

TEST(BatchIcc, RefusesUnusableProfilesAndReadsPicturesWithoutBadEmbeddedOnes) {
    const QTemporaryDir folder;
    const QString text = folder.filePath(QStringLiteral("notes.icc"));
    ASSERT_TRUE(writeFileBytes(text, "not a profile\n"));
    const QString cmyk = folder.filePath(QStringLiteral("cmyk.icc"));
    {
        const LcmsProfile link(cmsCreateInkLimitingDeviceLink(cmsSigCmykData, 300));
        ASSERT_TRUE(cmsSaveProfileToFile(link.get(), QFile::encodeName(cmyk).constData()));
    }
    const Icc srgb8Icc = fileBytes<Icc>("/usr/share/color/icc/sRGB.icc");
    const QString picture = folder.filePath(QStringLiteral("chart.png"));
    ASSERT_TRUE(writeFile(picture, renderChart(srgb8Icc, CV_8U), {}));
    // A profile whose header promises more than its bytes hold.
    Icc hostile = fileBytes<Icc>(proPhoto);
    hostile.resize(200);
    const QString damaged = folder.filePath(QStringLiteral("damaged.png"));
    ASSERT_TRUE(writeFile(damaged, renderChart(srgb8Icc, CV_8U), hostile));

    struct Refusal {
        QStringList arguments;
        int exitCode;
        const char *message;
    };
    const QString icc = QStringLiteral("--encoding=icc");
    const QString measure = QStringLiteral("measure");
    const QString profile = QStringLiteral("--profile");
    const std::vector<Refusal> refusals = {
        {{measure, picture, icc, profile, folder.filePath("absent.icc")},
         2,
         "--profile: Cannot read absent.icc"},
        {{measure, picture, icc, profile, text}, 2, "--profile: notes.icc: "},
        {{measure, picture, icc, profile, cmyk}, 2, "CMYK"},
        {{measure, picture, icc, profile, "/usr/share/color/icc/LCMSLABI.ICM"}, 2, "Lab"},
        {{measure, picture, profile, proPhoto}, 1, "--profile needs --encoding icc"},
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.arguments.join(QLatin1Char(' ')).toStdString());
        const BatchRun run = runBatch(refusal.arguments);
        EXPECT_FALSE(run.crashed);
        EXPECT_EQ(run.exitCode, refusal.exitCode);
        EXPECT_TRUE(QString::fromUtf8(run.err).contains(refusal.message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }

    // The damaged profile is left out with a message; the picture is read as sRGB.
    const BatchRun withDamaged = runBatch({measure, damaged, icc});
    EXPECT_EQ(withDamaged.exitCode, 0);
    EXPECT_TRUE(withDamaged.err.contains("damaged.png: The picture's ICC profile is left out."))
        << withDamaged.err.toStdString();
    EXPECT_TRUE(withDamaged.out.startsWith("# L*a*b*: ICC D50, relative colorimetric, profile"))
        << withDamaged.out.toStdString();
    const BatchRun withoutProfile = runBatch({measure, picture, icc});
    EXPECT_EQ(withDamaged.out.split('\n').value(2).split(',').mid(1),
              withoutProfile.out.split('\n').value(2).split(',').mid(1));
}
