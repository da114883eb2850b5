// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourprofile.h"
#include "labspace.h"

#include "../support/littlecms.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString colord = colordProfiles;

QByteArray cmykProfile() {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    return savedProfile(profile);
}

} // namespace

TEST(ColourProfile, OpensRealProfilesWithTheirDescriptionSpaceAndBytes) {
    const struct {
        QString path;
        QString description;
        ProfileColourSpace space;
    } cases[] = {
        {colord + "ProPhotoRGB.icc", "ProPhoto RGB", ProfileColourSpace::Rgb},
        {colord + "AdobeRGB1998.icc", "Compatible with Adobe RGB (1998)", ProfileColourSpace::Rgb},
        {colord + "Rec709.icc", "Rec. 709", ProfileColourSpace::Rgb},
        {"/usr/share/color/icc/Gray.icc", "Gray", ProfileColourSpace::Grey},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        const ColourProfilePtr profile = ColourProfile::fromFile(c.path, &error);
        ASSERT_TRUE(profile) << error.toStdString();
        EXPECT_EQ(profile->description(), c.description);
        EXPECT_EQ(profile->colourSpace(), c.space);
        EXPECT_EQ(profile->bytes(), fileBytes(c.path));
        EXPECT_TRUE(profile->sameAs(*ColourProfile::fromBytes(profile->bytes())));
        EXPECT_FALSE(profile->sameAs(*ColourProfile::srgb()));
        for (const int channels : {1, 3, 4}) {
            const bool fits = (channels == 1) == (c.space == ProfileColourSpace::Grey);
            EXPECT_EQ(profile->fits(channels), fits) << channels;
            EXPECT_EQ(profile->misfitMessage(channels).isEmpty(), fits) << channels;
        }
    }
    const QString misfit = ColourProfile::fromFile(colord + "ProPhotoRGB.icc")->misfitMessage(1);
    EXPECT_TRUE(misfit.contains("ProPhoto RGB") && misfit.contains("RGB profile"))
        << misfit.toStdString();

    // The built-in sRGB is one shared profile whose bytes open again as sRGB.
    EXPECT_EQ(ColourProfile::srgb(), ColourProfile::srgb());
    EXPECT_TRUE(ColourProfile::srgb()->description().contains("sRGB"));
    const ColourProfilePtr reopened = ColourProfile::fromBytes(ColourProfile::srgb()->bytes());
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->colourSpace(), ProfileColourSpace::Rgb);
}

TEST(ColourProfile, RefusesWhatCannotDescribeAPictureWithAReason) {
    const QByteArray prophoto = fileBytes(colord + "ProPhotoRGB.icc");
    ASSERT_FALSE(prophoto.isEmpty());
    QByteArray hostile = prophoto;
    // A tag count far beyond the data.
    hostile[128] = char(0x7f);
    // Every tag's offset far beyond the data.
    QByteArray wrongOffsets = prophoto;
    const int tags = static_cast<uchar>(prophoto[130]) << 8 | static_cast<uchar>(prophoto[131]);
    for (int t = 0; t < tags; ++t)
        wrongOffsets[132 + 12 * t + 4] = char(0x70);
    const struct {
        const char *name;
        QByteArray bytes;
        QString inMessage;
    } cases[] = {
        {"empty", QByteArray(), "not an ICC profile"},
        {"truncated header", prophoto.left(100), "not an ICC profile"},
        {"text", QByteArray(2000, 'x'), "not an ICC profile"},
        {"hostile tag count", hostile, ""},
        {"tags beyond the data", wrongOffsets, ""},
        {"CMYK", cmykProfile(), "CMYK"},
        {"Lab", fileBytes("/usr/share/color/icc/ITULab.icc"), "Lab"},
        {"Lab identity", savedProfile(cmsCreateLab4Profile(nullptr)), "Lab"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(ColourProfile::fromBytes(c.bytes, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(error.contains(c.inMessage)) << error.toStdString();
    }

    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(ColourProfile::fromFile(dir.filePath("missing.icc"), &error));
    EXPECT_TRUE(error.contains("missing.icc")) << error.toStdString();
    ASSERT_TRUE(writeFileBytes(dir.filePath("notes.icm"), "not a profile"));
    EXPECT_FALSE(ColourProfile::fromFile(dir.filePath("notes.icm"), &error));
    EXPECT_TRUE(error.startsWith("notes.icm: ")) << error.toStdString();
}

TEST(LabSpace, CarriesItsProfileAndFollowsTheProcessWideChoices) {
    const ColourProfilePtr prophoto = ColourProfile::fromFile(colord + "ProPhotoRGB.icc");
    ASSERT_TRUE(prophoto);
    const LabSpace linear = LabEncoding::Linear;
    EXPECT_FALSE(linear.isIcc());
    EXPECT_FALSE(linear.profile());
    EXPECT_EQ(LabSpace(LabEncoding::Icc).profile(), ColourProfile::srgb());
    EXPECT_EQ(LabSpace::icc(nullptr), LabSpace(LabEncoding::Icc));
    EXPECT_EQ(LabSpace::icc(prophoto), LabSpace::icc(ColourProfile::fromBytes(prophoto->bytes())));
    EXPECT_NE(LabSpace::icc(prophoto), LabSpace(LabEncoding::Icc));
    EXPECT_NE(linear, LabSpace(LabEncoding::Srgb));

    const ColourProfilePtr grey = ColourProfile::fromFile("/usr/share/color/icc/Gray.icc");
    ASSERT_TRUE(grey);
    EXPECT_TRUE(LabSpace::icc(grey).converts(1));
    EXPECT_FALSE(LabSpace::icc(grey).converts(3));
    // Grey without a grey profile counts as three equal channels, as in the OpenCV modes.
    EXPECT_TRUE(LabSpace::icc(prophoto).converts(1));
    EXPECT_TRUE(linear.converts(4));

    int notified = 0;
    PictureProfileChoice &choice = PictureProfileChoice::instance();
    const QMetaObject::Connection connection = QObject::connect(
        &choice, &PictureProfileChoice::changed, [&](const ColourProfilePtr &) { ++notified; });
    EXPECT_EQ(currentLabSpace(), linear);
    choice.set(prophoto);
    choice.set(prophoto);
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(currentLabSpace(), linear);
    LabEncodingChoice::instance().set(LabEncoding::Icc);
    EXPECT_EQ(currentLabSpace().profile(), prophoto);
    choice.set(nullptr);
    EXPECT_EQ(currentLabSpace().profile(), ColourProfile::srgb());
    LabEncodingChoice::instance().set(LabEncoding::Linear);
    QObject::disconnect(connection);
    EXPECT_EQ(notified, 2);
}
