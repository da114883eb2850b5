// SPDX-License-Identifier: GPL-3.0-or-later
#include "drivepath.h"
#include "imagefiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace {

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        savedDirectory = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(savedDirectory); }

    QString path(const QString &name) const { return dir.filePath(name); }

    void writeBytes(const QString &name, const QByteArray &bytes) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static cv::Mat pattern(int rows, int cols, int type) {
        cv::Mat mat(rows, cols, type);
        cv::RNG rng(1245);
        rng.fill(mat, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
        return mat;
    }

    static bool identical(const cv::Mat &a, const cv::Mat &b) {
        return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
    }

    QTemporaryDir dir;
    QString savedDirectory;
};

// A Windows bitmap header claiming 50000 x 50000 pixels, more than the reader's limit.
QByteArray oversizedBitmapHeader() {
    QByteArray bytes(54, '\0');
    auto put32 = [&bytes](int offset, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, 54);              // file size
    put32(10, 54);             // pixel data offset
    put32(14, 40);             // info header size
    put32(18, 50000);          // width
    put32(22, 50000);          // height
    put32(26, 1 | (24 << 16)); // one plane, 24 bits per pixel
    return bytes;
}

} // namespace

TEST_F(ImageFiles, DriveRootIsTheWorkingDirectoryAtCallTime) {
    EXPECT_EQ(resolveDrivePath("C:/Images/a b.tif"), QDir(dir.path()).filePath("Images/a b.tif"));
    EXPECT_EQ(resolveDrivePath("C:/"), QDir(dir.path()).filePath(""));
    EXPECT_EQ(resolveDrivePath("/tmp/C:/x.png"), "/tmp/C:/x.png");
    EXPECT_EQ(resolveDrivePath("relative/x.png"), "relative/x.png");
    ASSERT_TRUE(QDir(dir.path()).mkdir("elsewhere"));
    ASSERT_TRUE(QDir::setCurrent(path("elsewhere")));
    EXPECT_EQ(resolveDrivePath("C:/x.png"), QDir(path("elsewhere")).filePath("x.png"));
}

TEST_F(ImageFiles, ReadsUnchangedThroughUtf8AndTheDriveRoot) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Mes\u00fbres")));
    const cv::Mat colour = pattern(5, 7, CV_8UC3);
    const cv::Mat deep = pattern(4, 3, CV_16UC1);
    const cv::Mat alpha = pattern(2, 2, CV_8UC4);
    ASSERT_TRUE(cv::imwrite(path("colour.png").toStdString(), colour));
    ASSERT_TRUE(cv::imwrite(path("deep.png").toStdString(), deep));
    ASSERT_TRUE(cv::imwrite(path("alpha.png").toStdString(), alpha));
    ASSERT_TRUE(cv::imwrite(path(QStringLiteral("Mes\u00fbres/k\u00e9.tif")).toUtf8().toStdString(),
                            colour));

    QString error = "unchanged";
    EXPECT_TRUE(identical(readImageFile(path("colour.png"), &error), colour));
    EXPECT_EQ(error, "unchanged");
    EXPECT_TRUE(identical(readImageFile(path("deep.png")), deep));
    EXPECT_TRUE(identical(readImageFile(path("alpha.png")), alpha));
    EXPECT_TRUE(identical(readImageFile(QStringLiteral("C:/Mes\u00fbres/k\u00e9.tif")), colour));
}

TEST_F(ImageFiles, FailedReadsGiveEmptyAndACause) {
    ASSERT_TRUE(cv::imwrite(path("whole.png").toStdString(), pattern(64, 64, CV_8UC3)));
    QFile whole(path("whole.png"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray png = whole.readAll();
    writeBytes("truncated.png", png.left(png.size() / 2));
    writeBytes("empty.png", {});
    writeBytes("text.png", "not an image at all");
    writeBytes("huge.bmp", oversizedBitmapHeader());
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.png"));

    for (const char *name :
         {"missing.png", "empty.png", "truncated.png", "text.png", "folder.png", "huge.bmp"}) {
        SCOPED_TRACE(name);
        QString error;
        EXPECT_TRUE(readImageFile(path(name), &error).empty());
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(readImageFile(path(name)).empty());
    }
}

TEST_F(ImageFiles, WritesTheRectangleOnly) {
    const cv::Mat image = pattern(480, 640, CV_8UC3);
    const cv::Rect rect = rectFromCorners02(innerQuarterCorners(image.size()));
    EXPECT_EQ(rect, cv::Rect(160, 120, 320, 240));
    QString error;
    ASSERT_TRUE(writeImageRect(image, rect, "C:/part.png", &error)) << error.toStdString();
    const cv::Mat written = cv::imread(path("part.png").toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_TRUE(identical(written, image(rect)));
    EXPECT_EQ(written.at<cv::Vec3b>(0, 0), image.at<cv::Vec3b>(120, 160));

    const cv::Mat grey = pattern(3, 5, CV_8UC1);
    ASSERT_TRUE(writeImageRect(grey, cv::Rect(0, 0, 5, 3), path("grey.bmp")));
    EXPECT_TRUE(identical(cv::imread(path("grey.bmp").toStdString(), cv::IMREAD_UNCHANGED), grey));
}

TEST_F(ImageFiles, RefusesWithACauseAndWritesNothing) {
    const cv::Mat image = pattern(30, 40, CV_8UC3);
    struct Refusal {
        const char *what;
        cv::Mat image;
        cv::Rect rect;
        QString name;
    };
    const Refusal refusals[] = {
        {"no image", cv::Mat(), cv::Rect(0, 0, 1, 1), path("a.png")},
        {"zero width", image, cv::Rect(5, 5, 0, 10), path("b.png")},
        {"zero height", image, cv::Rect(5, 5, 10, 0), path("c.png")},
        {"negative width", image, cv::Rect(20, 5, -10, 10), path("d.png")},
        {"right of the image", image, cv::Rect(35, 5, 10, 10), path("e.png")},
        {"below the image", image, cv::Rect(5, 25, 10, 10), path("f.png")},
        {"left of the image", image, cv::Rect(-1, 5, 10, 10), path("g.png")},
        {"unknown extension", image, cv::Rect(0, 0, 10, 10), path("h.xyz")},
        {"no extension", image, cv::Rect(0, 0, 10, 10), path("i")},
        {"missing folder", image, cv::Rect(0, 0, 10, 10), path("nowhere/j.png")},
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        QString error;
        EXPECT_FALSE(writeImageRect(refusal.image, refusal.rect, refusal.name, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(QFile::exists(refusal.name));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(ImageFiles, RefusesAFolderThatCannotBeWritten) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    ASSERT_TRUE(QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::ExeOwner));
    if (QFileInfo(path("locked")).isWritable())
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    QString error;
    EXPECT_FALSE(
        writeImageRect(pattern(4, 4, CV_8UC3), cv::Rect(0, 0, 2, 2), path("locked/x.png"), &error));
    EXPECT_TRUE(error.contains("locked"));
    QFile::setPermissions(path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(ImageFiles, SixteenBitsScaledOnlyWhereTheFormatHoldsEightBits) {
    cv::Mat deep(2, 3, CV_16UC3);
    const ushort samples[] = {0,    128,   129, 385, 386,   25700, 65406, 65535, 257,
                              1000, 30000, 512, 7,   60000, 40000, 20000, 100,   65000};
    std::copy(std::begin(samples), std::end(samples), deep.ptr<ushort>(0));
    cv::Mat scaled(2, 3, CV_8UC3);
    for (int i = 0; i < 18; ++i)
        scaled.ptr<uchar>(0)[i] = static_cast<uchar>((samples[i] + 128) / 257);
    const cv::Rect all(0, 0, 3, 2);

    for (const char *name : {"deep.png", "deep.tif"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(writeImageRect(deep, all, path(name)));
        EXPECT_TRUE(identical(cv::imread(path(name).toStdString(), cv::IMREAD_UNCHANGED), deep));
    }
    for (const char *name : {"deep.bmp", "deep.sr", "deep.ras"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(writeImageRect(deep, all, path(name)));
        EXPECT_TRUE(identical(cv::imread(path(name).toStdString(), cv::IMREAD_UNCHANGED), scaled));
    }

    // JPEG is lossy: a flat 16-bit field of 25700 must come back near 100, not clipped to 255.
    const cv::Mat flat(16, 16, CV_16UC3, cv::Scalar::all(25700));
    ASSERT_TRUE(writeImageRect(flat, cv::Rect(0, 0, 16, 16), path("flat.jpg")));
    const cv::Mat jpeg = cv::imread(path("flat.jpg").toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(jpeg.type(), CV_8UC3);
    EXPECT_LE(cv::norm(jpeg, cv::Mat(16, 16, CV_8UC3, cv::Scalar::all(100)), cv::NORM_INF), 2.0);

    // PBM keeps one bit, set for every non-zero byte: a dark 16-bit sample (100 of 65535) must
    // stay black instead of reaching the writer as the byte 100.
    cv::Mat halves(4, 8, CV_16UC1, cv::Scalar(100));
    halves(cv::Rect(4, 0, 4, 4)).setTo(65535);
    ASSERT_TRUE(writeImageRect(halves, cv::Rect(0, 0, 8, 4), path("halves.pbm")));
    const cv::Mat bits = cv::imread(path("halves.pbm").toStdString(), cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(bits.size(), halves.size());
    EXPECT_EQ(bits.at<uchar>(0, 0), 0);
    EXPECT_EQ(bits.at<uchar>(0, 7), 255);
}

TEST_F(ImageFiles, FloatSamplesKeptInFloatFormatsAndRefusedElsewhere) {
    cv::Mat light(2, 2, CV_32FC3);
    const float samples[] = {0.25f,  0.5f, 2.3f,  0.0f, 1.0f,  7.5f,
                             0.125f, 3.0f, 0.01f, 1.5f, 0.75f, 0.0f};
    std::copy(std::begin(samples), std::end(samples), light.ptr<float>(0));
    cv::Mat doubles;
    light.convertTo(doubles, CV_64F);
    cv::Mat grey;
    cv::extractChannel(light, grey, 2);
    const cv::Rect all(0, 0, 2, 2);
    const auto readBack = [this](const char *name) {
        return cv::imread(path(name).toStdString(), cv::IMREAD_UNCHANGED);
    };

    // Exact where the format stores 32-bit floats; 64-bit data is stored as 32-bit.
    std::vector<const char *> exact = {"light.tif", "light.pfm"};
    if (cv::haveImageWriter("x.exr"))
        exact.push_back("light.exr");
    for (const char *name : exact) {
        SCOPED_TRACE(name);
        for (const cv::Mat &image : {light, doubles}) {
            QString error;
            ASSERT_TRUE(writeImageRect(image, all, path(name), &error)) << error.toStdString();
            EXPECT_TRUE(identical(readBack(name), light));
        }
        ASSERT_TRUE(writeImageRect(grey, all, path(name)));
        EXPECT_TRUE(identical(readBack(name), grey));
    }
    // Radiance keeps an 8-bit mantissa per pixel, but values above 1 stay.
    ASSERT_TRUE(writeImageRect(light, all, path("light.hdr")));
    const cv::Mat radiance = readBack("light.hdr");
    ASSERT_EQ(radiance.type(), CV_32FC3);
    EXPECT_LE(cv::norm(radiance, light, cv::NORM_INF), 7.5 / 128);

    struct Refusal {
        const char *name;
        cv::Mat image;
        const char *cause;
    };
    cv::Mat negative = light.clone();
    negative.at<cv::Vec3f>(1, 1)[0] = -0.5f;
    const cv::Mat fourChannels(2, 2, CV_32FC4, cv::Scalar::all(0.5));
    const Refusal refusals[] = {
        {"flat.png", light, "32-bit floating-point samples, which a .png file"},
        {"flat.jpg", doubles, "64-bit floating-point samples, which a .jpg file"},
        {"flat.bmp", grey, "flatten"},
        {"flat.ppm", light, "flatten"},
        {"flat.webp", light, "flatten"},
        {"negative.hdr", negative, "down to -0.5"},
        {"alpha.pfm", fourChannels, "one or three channels"},
        {"alpha.hdr", fourChannels, "one or three channels"},
        {"bytes.exr", cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(9)), "floating-point samples only"},
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        QString error;
        EXPECT_FALSE(writeImageRect(refusal.image, all, path(refusal.name), &error));
        EXPECT_TRUE(error.contains(refusal.cause)) << error.toStdString();
        EXPECT_FALSE(QFile::exists(path(refusal.name)));
    }

    // 8- and 16-bit pictures are written byte for byte as the library's defaults write them.
    struct Unchanged {
        int type;
        const char *suffix;
    };
    for (const Unchanged &row :
         {Unchanged{CV_8UC3, "tif"}, Unchanged{CV_16UC3, "tif"}, Unchanged{CV_16UC1, "png"},
          Unchanged{CV_8UC3, "pfm"}, Unchanged{CV_8UC3, "hdr"}}) {
        SCOPED_TRACE(row.suffix);
        const cv::Mat picture = pattern(5, 6, row.type);
        std::vector<uchar> expected;
        ASSERT_TRUE(cv::imencode(std::string(".") + row.suffix, picture, expected));
        const QString name = path(QStringLiteral("same.") + row.suffix);
        ASSERT_TRUE(writeImageRect(picture, cv::Rect(0, 0, 6, 5), name));
        QFile written(name);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), QByteArray(reinterpret_cast<const char *>(expected.data()),
                                                qsizetype(expected.size())));
    }
}

TEST(InnerQuarter, CornersFromTheImageSize) {
    const Quad vga = innerQuarterCorners(cv::Size(640, 480));
    EXPECT_EQ(vga, (Quad{cv::Point(160, 120), cv::Point(160, 360), cv::Point(480, 360),
                         cv::Point(480, 120)}));
    const Quad tiny = innerQuarterCorners(cv::Size(5, 3));
    EXPECT_EQ(tiny, (Quad{cv::Point(1, 0), cv::Point(1, 2), cv::Point(3, 2), cv::Point(3, 0)}));
}
