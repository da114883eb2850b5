// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofile.h"
#include "embeddedprofilecheck.h"
#include "imageencoding.h"
#include "picturefile.h"

#include "../support/littlecms.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>

#include <algorithm>
#include <string>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes proPhoto() {
    return fileBytes<Bytes>(colordProfiles + QStringLiteral("ProPhotoRGB.icc"));
}

// A valid RGB profile over 150 kB, so JPEG splits it over three markers.
Bytes largeRgbProfile() {
    cmsToneCurve *curves[3] = {};
    for (int channel = 0; channel < 3; ++channel) {
        // Distinct tables, which the profile cannot share.
        std::vector<cmsUInt16Number> table(25000);
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = cmsUInt16Number(i * (65535 - channel) / (table.size() - 1));
        curves[channel] =
            cmsBuildTabulatedToneCurve16(nullptr, cmsUInt32Number(table.size()), table.data());
    }
    const cmsCIExyY white = {0.3457, 0.3585, 1};
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    Bytes bytes = savedProfile<Bytes>(cmsCreateRGBProfile(&white, &primaries, curves));
    cmsFreeToneCurveTriple(curves);
    return bytes;
}

cv::Mat pattern(int type) {
    cv::Mat mat(37, 41, type);
    cv::RNG rng(1245);
    rng.fill(mat, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return mat;
}

cv::Mat decoded(const Bytes &bytes) {
    return cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
}

bool identical(const cv::Mat &a, const cv::Mat &b) {
    return !a.empty() && a.type() == b.type() && a.size() == b.size() &&
           cv::norm(a, b, cv::NORM_INF) == 0;
}

// libtiff read directly, apart from the code under test.
Bytes tiffTagProfile(const QString &path) {
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff)
        return {};
    std::uint32_t length = 0;
    void *data = nullptr;
    Bytes icc;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &data))
        icc.assign(static_cast<unsigned char *>(data), static_cast<unsigned char *>(data) + length);
    TIFFClose(tiff);
    return icc;
}

// Qt's own PNG and JPEG readers, apart from the code under test.
Bytes qtProfile(const QString &path) {
    const QByteArray icc = QImage(path).colorSpace().iccProfile();
    return Bytes(icc.begin(), icc.end());
}

} // namespace

// Written with a profile, a file carries it and keeps its pixels; without one, it is byte for
// byte the plain file.
TEST(EmbeddedProfile, WrittenFilesCarryTheProfileOrStayPlain) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Bytes prophoto = proPhoto();
    ASSERT_FALSE(prophoto.empty());
    const Bytes large = largeRgbProfile();
    ASSERT_GT(large.size(), 2u * 65519);
    const Bytes none;
    const struct {
        const char *name;
        int type;
        const Bytes &icc;
    } cases[] = {
        {"prophoto8.png", CV_8UC3, prophoto}, {"prophoto16.png", CV_16UC3, prophoto},
        {"prophoto8.tif", CV_8UC3, prophoto}, {"prophoto16.tif", CV_16UC3, prophoto},
        {"prophoto.jpg", CV_8UC3, prophoto},  {"alpha16.png", CV_16UC4, prophoto},
        {"large.jpg", CV_8UC3, large},        {"large.png", CV_8UC3, large},
        {"large16.tif", CV_16UC3, large},     {"signed16.tif", CV_16SC1, prophoto},
        {"float.tif", CV_32FC3, prophoto},    {"plain.png", CV_16UC3, none},
        {"plain.jpg", CV_16UC3, none},        {"plain.tif", CV_16UC3, none},
        {"plain.bmp", CV_16UC3, none},        {"plain.ppm", CV_16UC3, none},
    };
    const cv::Rect part(3, 4, 20, 30);
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromLatin1(row.name));
        const cv::Mat image = pattern(row.type);
        const auto plain = encodeImageRect(image, part, path);
        ASSERT_TRUE(plain.has_value());
        QString error;
        ASSERT_TRUE(writeImageRectWithProfile(image, part, path, row.icc, &error))
            << error.toStdString();
        const Bytes written = fileBytes<Bytes>(path);
        const EmbeddedProfile read = readEmbeddedProfile(path);
        EXPECT_EQ(read.icc, row.icc);
        EXPECT_TRUE(read.error.isEmpty());
        if (row.icc.empty()) {
            EXPECT_EQ(written, *plain);
            EXPECT_EQ(encodeImageRectWithProfile(image, part, path, {}), plain);
            continue;
        }
        EXPECT_TRUE(identical(decoded(written), decoded(*plain)));
        EXPECT_EQ(path.endsWith(QLatin1String(".tif")) ? tiffTagProfile(path) : qtProfile(path),
                  row.icc);
        // Embedding again replaces the profile instead of adding a second one.
        const auto again = embedProfile(written, prophoto);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(readEmbeddedProfile(again->data(), again->size()).icc, prophoto);
        EXPECT_TRUE(identical(decoded(*again), decoded(*plain)));
    }
    // A format that cannot carry the profile is refused rather than written without it.
    QString error;
    EXPECT_FALSE(encodeImageRectWithProfile(
        pattern(CV_8UC3), part, dir.filePath(QStringLiteral("a.bmp")), prophoto, &error));
    EXPECT_TRUE(error.contains(QLatin1String(".bmp")));
}

TEST(EmbeddedProfile, PictureFilesTakeOnlyProfilesThatFitThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const Bytes prophoto = proPhoto();
    const Bytes grey = fileBytes<Bytes>(QStringLiteral("/usr/share/color/icc/Gray-CIE_L.icc"));
    const Bytes lab = savedProfile<Bytes>(cmsCreateLab4Profile(nullptr));
    const Bytes cut(prophoto.begin(), prophoto.begin() + 200);
    const struct {
        const char *name;
        int type;
        const Bytes &icc;
        bool taken;
        const char *problemNames;
    } cases[] = {
        {"Färbung 色.tif", CV_16UC3, prophoto, true, ""},
        {"grey.tif", CV_8UC1, grey, true, ""},
        {"rgb-in-grey.tif", CV_8UC1, prophoto, false, "RGB"},
        {"lab.tif", CV_8UC3, lab, false, "Lab"},
        {"cut.tif", CV_8UC3, cut, false, "not an ICC profile"},
        // libpng itself drops an RGB profile in a grey PNG.
        {"rgb-in-grey.png", CV_8UC1, prophoto, false, "iCCP"},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        const QString path = dir.filePath(QString::fromUtf8(row.name));
        const cv::Mat image = pattern(row.type);
        ASSERT_TRUE(writeImageRectWithProfile(image, cv::Rect(0, 0, image.cols, image.rows), path,
                                              row.icc));
        QString error;
        const PictureFile picture = readPictureFile(path, &error);
        EXPECT_TRUE(error.isEmpty());
        EXPECT_TRUE(identical(picture.pixels, image));
        EXPECT_EQ(picture.icc, row.taken ? row.icc : Bytes());
        EXPECT_EQ(picture.profileProblem.isEmpty(), row.taken);
        EXPECT_TRUE(picture.profileProblem.contains(QString::fromUtf8(row.problemNames)))
            << picture.profileProblem.toStdString();
    }
    EXPECT_EQ(profileDescription(prophoto), QStringLiteral("ProPhoto RGB"));
    EXPECT_EQ(profileDescription(cut), QString());
    QString error;
    EXPECT_TRUE(
        readPictureFile(dir.filePath(QStringLiteral("missing.png")), &error).pixels.empty());
    EXPECT_FALSE(error.isEmpty());
}

TEST(EmbeddedProfile, DamagedHeadersGiveAnErrorAndNoProfile) {
    const Bytes prophoto = proPhoto();
    std::vector<uchar> png, jpeg, tiff;
    const cv::Mat image = pattern(CV_8UC3);
    ASSERT_TRUE(cv::imencode(".png", image, png));
    ASSERT_TRUE(cv::imencode(".jpg", image, jpeg));
    ASSERT_TRUE(cv::imencode(".tif", image, tiff));
    const Bytes pngWithProfile = *embedProfile(png, prophoto);
    const Bytes jpegWithProfile = *embedProfile(jpeg, prophoto);

    Bytes badCrc = pngWithProfile;
    badCrc[33 + 8 + 20] ^= 0x55; // inside the iCCP chunk that follows IHDR
    // The second of two markers alone: the numbering does not fit together.
    Bytes lonelyMarker = jpegWithProfile;
    const std::string tag("ICC_PROFILE");
    const auto found =
        std::search(lonelyMarker.begin(), lonelyMarker.end(), tag.begin(), tag.end());
    ASSERT_NE(found, lonelyMarker.end());
    const std::size_t sequence = std::size_t(found - lonelyMarker.begin()) + 12;
    lonelyMarker[sequence] = 2;
    lonelyMarker[sequence + 1] = 2;
    Bytes tiffBadOffset = tiff;
    std::fill_n(tiffBadOffset.begin() + 4, 3, 0xff); // first directory far beyond the end

    const struct {
        const char *name;
        Bytes bytes;
        bool pictureDamaged; // not only its profile: no profile can be embedded
    } cases[] = {
        {"png cut in IHDR", Bytes(png.begin(), png.begin() + 20), true},
        {"png bad iCCP checksum", badCrc, false},
        {"jpeg cut in its markers", Bytes(jpegWithProfile.begin(), jpegWithProfile.begin() + 900),
         true},
        {"jpeg lonely ICC marker", lonelyMarker, false},
        {"tiff cut in its header", Bytes(tiff.begin(), tiff.begin() + 6), true},
        {"tiff directory beyond the end", tiffBadOffset, true},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        const EmbeddedProfile profile = readEmbeddedProfile(row.bytes.data(), row.bytes.size());
        EXPECT_FALSE(profile.found());
        EXPECT_FALSE(profile.error.isEmpty());
        QString error;
        if (row.pictureDamaged) {
            EXPECT_FALSE(embedProfile(row.bytes, prophoto, &error).has_value());
            EXPECT_FALSE(error.isEmpty());
        }
    }
    // Not one of the three formats: no profile, and nothing wrong.
    const Bytes text = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(readEmbeddedProfile(text.data(), text.size()).found());
    EXPECT_TRUE(readEmbeddedProfile(text.data(), text.size()).error.isEmpty());
    EXPECT_FALSE(readEmbeddedProfile(nullptr, 0).found());
    std::vector<uchar> bmp;
    ASSERT_TRUE(cv::imencode(".bmp", image, bmp));
    QString error;
    EXPECT_FALSE(embedProfile(bmp, prophoto, &error).has_value());
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(embedProfile(png, {}).has_value());
}

TEST(EmbeddedProfile, JpegMarkersFollowTheLeadingApp0AndKeepTheOthers) {
    std::vector<uchar> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", pattern(CV_8UC3), jpeg));
    ASSERT_EQ(jpeg[3], 0xe0); // OpenCV writes JFIF first
    const std::size_t afterJfif = 4 + (std::size_t(jpeg[4]) << 8 | jpeg[5]);
    // An Exif-like APP1 segment after JFIF's.
    const Bytes app1 = {0xff, 0xe1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0};
    jpeg.insert(jpeg.begin() + std::ptrdiff_t(afterJfif), app1.begin(), app1.end());
    const auto carrying = embedProfile(jpeg, proPhoto());
    ASSERT_TRUE(carrying.has_value());
    const Bytes &out = *carrying;
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(afterJfif), out.begin()));
    EXPECT_EQ(out[afterJfif + 1], 0xe2);
    EXPECT_NE(std::search(out.begin(), out.end(), app1.begin(), app1.end()), out.end());
    EXPECT_TRUE(identical(decoded(out), decoded(jpeg)));
}
