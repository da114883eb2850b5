// SPDX-License-Identifier: GPL-3.0-or-later
#include "declaredpicturesize.h"
#include "imagefiles.h"
#include "picturesizelimit.h"

#include "../support/filebytes.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

QByteArray encoded(const char *extension, const cv::Mat &image) {
    std::vector<uchar> bytes;
    EXPECT_TRUE(cv::imencode(extension, image, bytes));
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

QByteArray bigEndianBytes(std::uint64_t value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(value >> (8 * (size - 1 - i)));
    return bytes;
}

QByteArray littleEndianBytes(std::uint64_t value, int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char(value >> (8 * i));
    return bytes;
}

QByteArray padded(QByteArray bytes, int size) {
    bytes.resize(std::max<qsizetype>(bytes.size(), size), '\0');
    return bytes;
}

std::uint32_t crc32(const QByteArray &bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

const cv::Mat small(4, 4, CV_8UC3, cv::Scalar(10, 20, 30));

// A real PNG whose header chunk declares another size, with its checksum mended.
QByteArray forgedPng(std::uint32_t width, std::uint32_t height) {
    QByteArray png = encoded(".png", small);
    png.replace(16, 8, bigEndianBytes(width, 4) + bigEndianBytes(height, 4));
    return png.replace(29, 4, bigEndianBytes(crc32(png.mid(12, 17)), 4));
}

// A real JPEG whose frame header declares another size.
QByteArray forgedJpeg(std::uint16_t width, std::uint16_t height) {
    QByteArray jpeg = encoded(".jpg", small);
    const int frame = jpeg.indexOf("\xff\xc0");
    EXPECT_GT(frame, 0);
    return jpeg.replace(frame + 5, 4, bigEndianBytes(height, 2) + bigEndianBytes(width, 2));
}

QByteArray forgedBmp(std::uint32_t width, std::uint32_t height) {
    return encoded(".bmp", small)
        .replace(18, 8, littleEndianBytes(width, 4) + littleEndianBytes(height, 4));
}

// A grey uncompressed TIFF header with a few bytes of pixels; short values fit in the low bytes.
QByteArray forgedTiff(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t fields[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                       {259, 3, 1},     {262, 3, 1},      {273, 4, 0},
                                       {277, 3, 1},     {278, 4, height}, {279, 4, 16}};
    const std::uint32_t count = std::size(fields);
    const std::uint32_t pixels = 8 + 2 + 12 * count + 4;
    QByteArray tiff =
        "II" + littleEndianBytes(42, 2) + littleEndianBytes(8, 4) + littleEndianBytes(count, 2);
    for (const auto &field : fields)
        tiff += littleEndianBytes(field[0], 2) + littleEndianBytes(field[1], 2) +
                littleEndianBytes(1, 4) + littleEndianBytes(field[0] == 273 ? pixels : field[2], 4);
    return padded(tiff, int(pixels) + 16);
}

// The peak resident memory of this process so far, in kilobytes.
long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

QByteArray forgedWebp(std::uint32_t side) {
    return "RIFF" + littleEndianBytes(22, 4) + "WEBPVP8X" + littleEndianBytes(10, 4) +
           littleEndianBytes(0, 4) + littleEndianBytes(side - 1, 3) +
           littleEndianBytes(side - 1, 3);
}

QByteArray forgedJp2(std::uint32_t side) {
    const QByteArray signature("\0\0\0\x0cjP  \r\n\x87\n", 12);
    const QByteArray fileType = bigEndianBytes(20, 4) + "ftypjp2 " + bigEndianBytes(0, 4) + "jp2 ";
    const QByteArray imageHeader = bigEndianBytes(22, 4) + "ihdr" + bigEndianBytes(side, 4) +
                                   bigEndianBytes(side, 4) + bigEndianBytes(3, 2) +
                                   QByteArray("\x07\x07\0\0", 4);
    return signature + fileType + bigEndianBytes(30, 4) + "jp2h" + imageHeader;
}

QByteArray forgedJ2k(std::uint32_t side) {
    QByteArray siz = QByteArray("\xff\x4f\xff\x51", 4) + bigEndianBytes(47, 2) +
                     bigEndianBytes(0, 2) + bigEndianBytes(side + 8, 4) +
                     bigEndianBytes(side + 8, 4) + bigEndianBytes(8, 4) + bigEndianBytes(8, 4);
    siz += bigEndianBytes(side, 4) + bigEndianBytes(side, 4) + bigEndianBytes(0, 8);
    return siz + bigEndianBytes(3, 2) + QByteArray("\x07\x01\x01\x07\x01\x01\x07\x01\x01", 9);
}

QByteArray forgedSunRaster(std::uint32_t side) {
    return QByteArray("\x59\xa6\x6a\x95", 4) + bigEndianBytes(side, 4) + bigEndianBytes(side, 4) +
           bigEndianBytes(24, 4) + bigEndianBytes(0, 4) + bigEndianBytes(1, 4) +
           bigEndianBytes(0, 8);
}

QByteArray forgedExr(std::uint32_t side) {
    QByteArray channels;
    for (const char *name : {"B", "G", "R"})
        channels += QByteArray(name) + QByteArray(17, '\0');
    channels += '\0';
    return QByteArray("\x76\x2f\x31\x01\x02\0\0\0", 8) + QByteArray("channels\0chlist\0", 16) +
           littleEndianBytes(std::uint32_t(channels.size()), 4) + channels +
           QByteArray("dataWindow\0box2i\0", 17) + littleEndianBytes(16, 4) +
           littleEndianBytes(0, 8) + littleEndianBytes(side - 1, 4) +
           littleEndianBytes(side - 1, 4) + QByteArray(1, '\0');
}

} // namespace

TEST(PictureSizeLimit, EveryReadableFormatIsSizedBeforeDecoding) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto file = [&dir](const char *name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFileBytes(path, bytes));
        return path;
    };
    // Files from the image library's own writers: every format it reads here, each header kind.
    struct Written {
        const char *name;
        int type;
        std::vector<int> parameters;
    };
    std::vector<Written> written = {
        {"deep.png", CV_16UC3, {}},
        {"deep.tif", CV_16UC3, {}},
        {"plain.jpg", CV_8UC3, {}},
        {"plain.bmp", CV_8UC3, {}},
        {"grey.pgm", CV_8UC1, {}},
        {"deep.pgm", CV_16UC1, {}},
        {"colour.ppm", CV_8UC3, {}},
        {"deep.ppm", CV_16UC3, {}},
        {"bits.pbm", CV_8UC1, {}},
        {"plain.pgm", CV_8UC1, {cv::IMWRITE_PXM_BINARY, 0}},
        {"alpha.pam", CV_8UC4, {cv::IMWRITE_PAM_TUPLETYPE, cv::IMWRITE_PAM_FORMAT_RGB_ALPHA}},
        {"colour.pfm", CV_32FC3, {}},
        {"grey.pfm", CV_32FC1, {}},
        {"lossy.webp", CV_8UC3, {cv::IMWRITE_WEBP_QUALITY, 90}},
        {"alpha.webp", CV_8UC4, {cv::IMWRITE_WEBP_QUALITY, 90}},
        {"lossless.webp", CV_8UC3, {}},
        {"colour.jp2", CV_8UC3, {}},
        {"colour.sr", CV_8UC3, {}},
        {"light.hdr", CV_32FC3, {}}};
    if (cv::haveImageWriter("x.exr"))
        written.push_back({"light.exr", CV_32FC3, {}});
    for (const Written &kind : written) {
        SCOPED_TRACE(kind.name);
        cv::Mat picture(48, 64, kind.type);
        cv::RNG(7).fill(picture, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(kind.type) == CV_32F ? 4 : 256);
        const QString path = dir.filePath(kind.name);
        ASSERT_TRUE(cv::imwrite(path.toStdString(), picture, kind.parameters));
        const std::optional<DeclaredPicture> declared = readDeclaredPicture(path);
        ASSERT_TRUE(declared);
        EXPECT_EQ(declared->width, 64);
        EXPECT_EQ(declared->height, 48);
        // The estimate never falls below what the decoder really takes.
        const cv::Mat decoded = cv::imread(path.toStdString(), cv::IMREAD_UNCHANGED);
        EXPECT_GE(std::size_t(declared->bytesPerPixel), decoded.elemSize());

        setenv("VEXMIRA_MAX_PIXELS", "3071", 1);
        QString error;
        EXPECT_TRUE(readImageFile(path, &error).empty());
        EXPECT_TRUE(error.contains("64 x 48 pixels")) << error.toStdString();
        // What is not a positive whole number leaves the default.
        for (const char *limit : {"3072", "abc", "0", "-5"}) {
            setenv("VEXMIRA_MAX_PIXELS", limit, 1);
            EXPECT_EQ(readImageFile(path).size(), cv::Size(64, 48)) << limit;
        }
    }
    unsetenv("VEXMIRA_MAX_PIXELS");
    EXPECT_EQ(currentPictureSizeLimit().maxPixels, 1000 * 1000 * 1000);

    // Forged headers: over the limit, or declaring more pixels than the file holds.
    struct Forged {
        const char *name;
        QByteArray bytes;
        std::int64_t side;
        const char *limit;
        bool whole; // not cut short by its header's own measure: refused for its size alone
    };
    const Forged forged[] = {
        {"huge.png", forgedPng(100000, 100000), 100000, "", true},
        {"huge.tif", forgedTiff(100000, 100000), 100000, "", true},
        {"huge.bmp", forgedBmp(100000, 100000), 100000, "", true},
        // The JPEG library takes at most 65500 a side.
        {"huge.jpg", forgedJpeg(65500, 65500), 65500, "", true},
        {"short.ppm", padded("P6 30000 30000 255\n", 319), 30000, "", false},
        {"huge.pgm", padded("P5\n32000 32000\n255\n", 4096), 32000, "", false},
        {"short.pfm", padded("PF\n30000 30000\n-1.0\n", 4096), 30000, "", false},
        {"short.pam",
         padded("P7\nWIDTH 30000\nHEIGHT 30000\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n", 4096),
         30000, "", false},
        {"short.sr", padded(forgedSunRaster(30000), 4096), 30000, "", false},
        {"huge.hdr", padded("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 40000 +X 40000\n", 4096),
         40000, "", false},
        {"huge.jp2", padded(forgedJp2(40000), 4096), 40000, "", false},
        {"huge.j2k", padded(forgedJ2k(40000), 4096), 40000, "", false},
        {"huge.exr", padded(forgedExr(40000), 4096), 40000, "", false},
        // WebP sides end at 16384.
        {"huge.webp", padded(forgedWebp(16384), 4096), 16384, "1000000", true}};
    const long peakBefore = peakResidentKb();
    ASSERT_GT(peakBefore, 0);
    for (const Forged &picture : forged) {
        SCOPED_TRACE(picture.name);
        if (*picture.limit)
            setenv("VEXMIRA_MAX_PIXELS", picture.limit, 1);
        const QString path = file(picture.name, picture.bytes);
        QString error;
        EXPECT_TRUE(readImageFile(path, &error).empty());
        EXPECT_TRUE(error.contains(QString("%1 x %1 pixels").arg(picture.side)))
            << error.toStdString();
        if (picture.whole) {
            const std::optional<DeclaredPicture> declared = readDeclaredPicture(path);
            ASSERT_TRUE(declared);
            EXPECT_EQ(declared->width, picture.side);
            EXPECT_EQ(declared->height, picture.side);
            EXPECT_TRUE(error.contains(*picture.limit ? "limit of 1 megapixels"
                                                      : "limit of 1000 megapixels"))
                << error.toStdString();
        }
        unsetenv("VEXMIRA_MAX_PIXELS");
    }
    // Nothing near the declared sizes was ever resident.
    EXPECT_LT(peakResidentKb() - peakBefore, 64 * 1024);

    // Half the available memory binds when it is the smaller limit.
    const DeclaredPicture fourGigabytes{32768, 32768, 4};
    EXPECT_TRUE(pictureSizeRefusal(fourGigabytes, {std::int64_t(1) << 40, 1024}).contains("MB"));
    EXPECT_TRUE(pictureSizeRefusal(fourGigabytes, {std::int64_t(1) << 40, 0}).isEmpty());

    // What cannot be sized is not decoded, and the refusal says why.
    const struct {
        const char *name;
        QByteArray bytes;
        const char *cause;
    } unsized[] = {{"text.png", "not a picture at all", "not an image"},
                   {"short.tif", "II*", ""},
                   {"loop.tif", QByteArray("II*\0\xff\xff\xff\x7f", 8), ""},
                   {"scan.dcm", QByteArray(128, '\0') + "DICM" + QByteArray(64, '\0'), "DICOM"},
                   {"words.ppm", "P6 wide high 255\n", "PNM header is damaged"},
                   {"cut.webp", forgedWebp(64).left(20), "WebP header is damaged"},
                   {"nowindow.exr", forgedExr(64).left(60), "OpenEXR header is damaged"}};
    for (const auto &broken : unsized) {
        SCOPED_TRACE(broken.name);
        const QString path = file(broken.name, broken.bytes);
        EXPECT_FALSE(readDeclaredPicture(path));
        QString error;
        EXPECT_TRUE(readImageFile(path, &error).empty());
        EXPECT_TRUE(!error.isEmpty() && error.contains(broken.cause)) << error.toStdString();
    }
}
