// SPDX-License-Identifier: GPL-3.0-or-later
#include "declaredpicturesize.h"
#include "imagefiles.h"
#include "picturesizelimit.h"

#include <QByteArray>
#include <QFile>
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

void putBigEndian(QByteArray &bytes, int at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * (size - 1 - i))) & 0xff);
}

void putLittleEndian(QByteArray &bytes, int at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xff);
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
    putBigEndian(png, 16, width, 4);
    putBigEndian(png, 20, height, 4);
    putBigEndian(png, 29, crc32(png.mid(12, 17)), 4);
    return png;
}

// A real JPEG whose frame header declares another size.
QByteArray forgedJpeg(std::uint16_t width, std::uint16_t height) {
    QByteArray jpeg = encoded(".jpg", small);
    const int frame = jpeg.indexOf("\xff\xc0");
    EXPECT_GT(frame, 0);
    putBigEndian(jpeg, frame + 5, height, 2);
    putBigEndian(jpeg, frame + 7, width, 2);
    return jpeg;
}

QByteArray forgedBmp(std::uint32_t width, std::uint32_t height) {
    QByteArray bmp = encoded(".bmp", small);
    putLittleEndian(bmp, 18, width, 4);
    putLittleEndian(bmp, 22, height, 4);
    return bmp;
}

// A grey uncompressed TIFF header with a few bytes of pixels.
QByteArray forgedTiff(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t fields[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                       {259, 3, 1},     {262, 3, 1},      {273, 4, 0},
                                       {277, 3, 1},     {278, 4, height}, {279, 4, 16}};
    const int count = int(std::size(fields));
    const std::uint32_t pixels = 8 + 2 + 12 * count + 4;
    QByteArray tiff(int(pixels) + 16, '\0');
    tiff[0] = 'I';
    tiff[1] = 'I';
    putLittleEndian(tiff, 2, 42, 2);
    putLittleEndian(tiff, 4, 8, 4);
    putLittleEndian(tiff, 8, std::uint32_t(count), 2);
    for (int i = 0; i < count; ++i) {
        const int at = 10 + 12 * i;
        putLittleEndian(tiff, at, fields[i][0], 2);
        putLittleEndian(tiff, at + 2, fields[i][1], 2);
        putLittleEndian(tiff, at + 4, 1, 4);
        putLittleEndian(tiff, at + 8, fields[i][0] == 273 ? pixels : fields[i][2],
                        fields[i][1] == 3 ? 2 : 4);
    }
    return tiff;
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

class PictureSizeLimitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override { unsetenv("VEXMIRA_MAX_PIXELS"); }

    QString file(const QString &name, const QByteArray &bytes) const {
        const QString path = dir.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PictureSizeLimitTest, ForgedHugeHeadersAreRefusedBeforeDecoding) {
    struct Forged {
        const char *name;
        QByteArray bytes;
        std::int64_t side;
    };
    // The JPEG library takes at most 65500 a side.
    const Forged forged[] = {{"huge.png", forgedPng(100000, 100000), 100000},
                             {"huge.tif", forgedTiff(100000, 100000), 100000},
                             {"huge.bmp", forgedBmp(100000, 100000), 100000},
                             {"huge.jpg", forgedJpeg(65500, 65500), 65500}};
    const long peakBefore = peakResidentKb();
    ASSERT_GT(peakBefore, 0);
    for (const Forged &picture : forged) {
        SCOPED_TRACE(picture.name);
        const QString path = file(picture.name, picture.bytes);
        const std::optional<DeclaredPicture> declared = readDeclaredPicture(path);
        ASSERT_TRUE(declared);
        EXPECT_EQ(declared->width, picture.side);
        EXPECT_EQ(declared->height, picture.side);

        for (const char *limit : {"", "1000000"}) {
            SCOPED_TRACE(limit);
            if (*limit)
                setenv("VEXMIRA_MAX_PIXELS", limit, 1);
            QString error;
            EXPECT_TRUE(readImageFile(path, &error).empty());
            const QString size = QString("%1 x %1 pixels").arg(picture.side);
            EXPECT_TRUE(error.contains(size)) << error.toStdString();
            EXPECT_TRUE(
                error.contains(*limit ? "limit of 1 megapixels" : "limit of 1000 megapixels"))
                << error.toStdString();
        }
        unsetenv("VEXMIRA_MAX_PIXELS");
    }
    // Nothing near the declared sizes was ever resident.
    EXPECT_LT(peakResidentKb() - peakBefore, 64 * 1024);
}

TEST_F(PictureSizeLimitTest, LimitFromTheEnvironmentAndRealHeaders) {
    cv::Mat picture(30, 40, CV_16UC3);
    cv::RNG(5).fill(picture, cv::RNG::UNIFORM, 0, 65536);
    cv::Mat eightBit;
    picture.convertTo(eightBit, CV_8U, 1.0 / 257);
    const QString png = dir.filePath("deep.png");
    ASSERT_TRUE(cv::imwrite(png.toStdString(), picture));
    const QString tiff = dir.filePath("deep.tif");
    ASSERT_TRUE(cv::imwrite(tiff.toStdString(), picture));
    const QString jpeg = dir.filePath("plain.jpg");
    ASSERT_TRUE(cv::imwrite(jpeg.toStdString(), eightBit));
    const QString bmp = dir.filePath("plain.bmp");
    ASSERT_TRUE(cv::imwrite(bmp.toStdString(), eightBit));

    for (const QString &path : {png, tiff, jpeg, bmp}) {
        SCOPED_TRACE(path.toStdString());
        const std::optional<DeclaredPicture> declared = readDeclaredPicture(path);
        ASSERT_TRUE(declared);
        EXPECT_EQ(declared->width, 40);
        EXPECT_EQ(declared->height, 30);
        EXPECT_GE(declared->bytesPerPixel, path.endsWith(".png") || path.endsWith(".tif") ? 6 : 3);

        setenv("VEXMIRA_MAX_PIXELS", "1199", 1);
        QString error;
        EXPECT_TRUE(readImageFile(path, &error).empty());
        EXPECT_TRUE(error.contains("40 x 30 pixels")) << error.toStdString();
        setenv("VEXMIRA_MAX_PIXELS", "1200", 1);
        EXPECT_EQ(readImageFile(path).size(), cv::Size(40, 30));
        // What is not a positive whole number leaves the default.
        for (const char *ignored : {"abc", "0", "-5"}) {
            setenv("VEXMIRA_MAX_PIXELS", ignored, 1);
            EXPECT_EQ(readImageFile(path).size(), cv::Size(40, 30));
        }
    }
    unsetenv("VEXMIRA_MAX_PIXELS");
    EXPECT_EQ(currentPictureSizeLimit().maxPixels, 1000 * 1000 * 1000);

    // Half the available memory binds when it is the smaller limit.
    const DeclaredPicture fourGigabytes{32768, 32768, 4};
    EXPECT_TRUE(pictureSizeRefusal(fourGigabytes, {std::int64_t(1) << 40, 1024}).contains("MB"));
    EXPECT_TRUE(pictureSizeRefusal(fourGigabytes, {std::int64_t(1) << 40, 0}).isEmpty());

    // Unknown formats and broken headers are left to the reader.
    EXPECT_FALSE(readDeclaredPicture(file("text.png", "not a picture")));
    EXPECT_FALSE(readDeclaredPicture(file("short.tif", "II*")));
    EXPECT_FALSE(readDeclaredPicture(file("loop.tif", QByteArray("II*\0\xff\xff\xff\x7f", 8))));
}
