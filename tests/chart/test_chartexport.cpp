// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartexport.h"

#include "qstringprinting.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

std::vector<PatchComparison> somePatches(bool withReference) {
    std::vector<std::optional<LabStats>> measured;
    for (int i = 0; i < 3; ++i) {
        LabStats stats;
        stats.mean = cv::Vec3d(40 + 10 * i, -12.34567 + i, 20.5 - 3 * i);
        stats.stdDev = cv::Vec3d(0.5, 0.25 * i, 1.125);
        stats.count = 100 + i;
        measured.push_back(stats);
    }
    const ChartReference reference = {{41, -12, 21}, {52, -10, 17}, {59, -11, 15}};
    return comparePatches(measured, withReference ? reference : ChartReference());
}

struct It8Deleter {
    void operator()(void *it8) const { cmsIT8Free(it8); }
};

} // namespace

TEST(ChartExport, CgatsRoundTripsThroughLittleCmsAndTheReferenceReader) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("measured.txt"));
    const auto patches = somePatches(true);
    QString error;
    ASSERT_TRUE(exportCgats(path, patches, true, LabEncoding::Srgb, error)) << error.toStdString();

    // Its Lab fields are the measurement, so the file serves as a reference too.
    const auto reread = loadCgatsReference(path, error);
    ASSERT_TRUE(reread) << error.toStdString();
    ASSERT_EQ(reread->size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR((*reread)[i][c], patches[i].measured->mean[c], 5e-5);

    const std::unique_ptr<void, It8Deleter> it8(
        cmsIT8LoadFromFile(nullptr, QFile::encodeName(path).constData()));
    ASSERT_TRUE(it8);
    EXPECT_STREQ(cmsIT8GetProperty(it8.get(), "ENCODING"), "srgb");
    EXPECT_STREQ(cmsIT8GetProperty(it8.get(), "LAB_SPACE"), "OpenCV, D65, sRGB");

    // A profile's name is quoted in single quotes, which a CGATS string can hold.
    const LabSpace proPhoto = LabSpace::icc(
        ColourProfile::fromFile(QStringLiteral("/usr/share/color/icc/colord/ProPhotoRGB.icc")));
    ASSERT_TRUE(exportCgats(path, patches, true, proPhoto, error)) << error.toStdString();
    const std::unique_ptr<void, It8Deleter> icc(
        cmsIT8LoadFromFile(nullptr, QFile::encodeName(path).constData()));
    ASSERT_TRUE(icc);
    EXPECT_STREQ(cmsIT8GetProperty(icc.get(), "ENCODING"), "icc");
    EXPECT_STREQ(cmsIT8GetProperty(icc.get(), "LAB_SPACE"),
                 "ICC D50, relative colorimetric, profile 'ProPhoto RGB'");
    EXPECT_EQ(cmsIT8GetPropertyDbl(it8.get(), "NUMBER_OF_SETS"), 3);
    EXPECT_STREQ(cmsIT8GetData(it8.get(), "2", "SAMPLE_ID"), "2");
    EXPECT_DOUBLE_EQ(cmsIT8GetDataDbl(it8.get(), "2", "STDEV_A"), 0.25);
    EXPECT_DOUBLE_EQ(cmsIT8GetDataDbl(it8.get(), "3", "PIXEL_COUNT"), 102);
    EXPECT_DOUBLE_EQ(cmsIT8GetDataDbl(it8.get(), "3", "REF_LAB_L"), 59);
    EXPECT_NEAR(cmsIT8GetDataDbl(it8.get(), "1", "LAB_DE_2000"), *patches[0].deltaE2000, 5e-5);
    EXPECT_NEAR(cmsIT8GetDataDbl(it8.get(), "1", "LAB_DE"), *patches[0].deltaE76, 5e-5);
}

TEST(ChartExport, CsvRoundTripsThroughTheReferenceReader) {
    const QTemporaryDir folder;
    for (const bool withReference : {false, true}) {
        const QString path = folder.filePath(QStringLiteral("measured.csv"));
        const auto patches = somePatches(withReference);
        QString error;
        ASSERT_TRUE(exportCsv(path, patches, withReference, LabEncoding::Linear, error))
            << error.toStdString();
        const auto reread = loadCsvReference(path, error);
        ASSERT_TRUE(reread) << error.toStdString();
        ASSERT_EQ(reread->size(), 3u);
        for (size_t i = 0; i < 3; ++i)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR((*reread)[i][c], patches[i].measured->mean[c], 5e-5);

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readLine(), QByteArray("# L*a*b*: OpenCV, D65, linear light\n"));
        const QByteArray header = file.readLine();
        EXPECT_EQ(header, withReference
                              ? QByteArray("index,L,a,b,sd_L,sd_a,sd_b,pixels,ref_L,ref_a,ref_b,"
                                           "dE76,dE2000\n")
                              : QByteArray("index,L,a,b,sd_L,sd_a,sd_b,pixels\n"));
        QByteArray firstRow("1,40.0000,-12.3457,20.5000,0.5000,0.0000,1.1250,100");
        if (withReference) {
            const double deltaE76 = std::sqrt(1.0 + 0.34567 * 0.34567 + 0.5 * 0.5);
            firstRow += ",41.0000,-12.0000,21.0000," + QByteArray::number(deltaE76, 'f', 4) + "," +
                        QByteArray::number(*patches[0].deltaE2000, 'f', 4);
        }
        EXPECT_EQ(file.readLine(), firstRow + "\n");
    }
}

TEST(ChartExport, RefusesIncompleteMeasurementsAndUnwritablePlacesLeavingNoFile) {
    const QTemporaryDir folder;
    auto patches = somePatches(false);
    patches[1].measured.reset();
    const QString path = folder.filePath(QStringLiteral("partial.csv"));
    QString error;
    EXPECT_FALSE(exportCsv(path, patches, false, LabEncoding::Linear, error));
    EXPECT_EQ(error, QStringLiteral("Patch 2 has no pixel to measure; nothing was exported."));
    EXPECT_FALSE(exportCgats(path, patches, false, LabEncoding::Linear, error));
    EXPECT_FALSE(QFile::exists(path));

    const QString nowhere = folder.filePath(QStringLiteral("no/such/folder/out.txt"));
    EXPECT_FALSE(exportCgats(nowhere, somePatches(false), false, LabEncoding::Linear, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write out.txt: "))) << error.toStdString();
}
