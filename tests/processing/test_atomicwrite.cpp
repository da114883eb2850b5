// SPDX-License-Identifier: GPL-3.0-or-later
#include "../support/filesizelimit.h"
#include "atomicfilewrite.h"
#include "imagefiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QTemporaryDir &dir) {
    return QDir(dir.path())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

cv::Mat noise(int rows, int cols) {
    cv::Mat mat(rows, cols, CV_8UC3);
    cv::RNG(77).fill(mat, cv::RNG::UNIFORM, 0, 256);
    return mat;
}

} // namespace

TEST(AtomicFileWrite, ReplacesOnlyOnSuccessAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("kept.bin");
    const QByteArray old(1000, 'o');
    ASSERT_TRUE(writeFileAtomically(target, old.constData(), std::size_t(old.size())).written());
    EXPECT_EQ(contents(target), old);

    const QByteArray large(64 * 1024, 'n');
    {
        const FileSizeLimit limit(16 * 1024);
        ASSERT_TRUE(limit.isApplied());
        const FileWriteResult result =
            writeFileAtomically(target, large.constData(), std::size_t(large.size()));
        EXPECT_EQ(result.outcome, FileWriteOutcome::DiskFull);
        EXPECT_FALSE(result.error.isEmpty());
    }
    EXPECT_EQ(contents(target), old);
    EXPECT_EQ(entries(dir), QStringList{"kept.bin"});

    const FileWriteResult missing =
        writeFileAtomically(dir.filePath("nowhere/x.bin"), old.constData(), 10);
    EXPECT_EQ(missing.outcome, FileWriteOutcome::Failed);
    EXPECT_FALSE(missing.error.isEmpty());

    ASSERT_TRUE(
        writeFileAtomically(target, large.constData(), std::size_t(large.size())).written());
    EXPECT_EQ(contents(target), large);
    EXPECT_EQ(entries(dir), QStringList{"kept.bin"});
}

TEST(AtomicFileWrite, FailedSavesKeepTheOldFileByteForByte) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat image = noise(200, 300);

    // The JPEG 2000 writer cannot take under 32 pixels a side: refused up front, with the cause.
    const QString jp2 = dir.filePath("good.jp2");
    ASSERT_TRUE(writeImageRect(image, cv::Rect(0, 0, 64, 64), jp2));
    const QByteArray goodJp2 = contents(jp2);
    for (const cv::Rect &narrow : {cv::Rect(0, 0, 31, 64), cv::Rect(0, 0, 64, 31)}) {
        QString error;
        EXPECT_FALSE(writeImageRect(image, narrow, jp2, &error));
        EXPECT_TRUE(error.contains("32 x 32")) << error.toStdString();
    }
    EXPECT_EQ(contents(jp2), goodJp2);

    // A portable bitmap holds one channel: colour is refused, naming the channels.
    const QString pbm = dir.filePath("good.pbm");
    ASSERT_TRUE(writeImageRect(cv::Mat(8, 8, CV_8UC1, cv::Scalar(255)), cv::Rect(0, 0, 8, 8), pbm));
    const QByteArray goodPbm = contents(pbm);
    QString error;
    EXPECT_FALSE(writeImageRect(image, cv::Rect(0, 0, 8, 8), pbm, &error));
    EXPECT_TRUE(error.contains("3 channels")) << error.toStdString();
    EXPECT_EQ(contents(pbm), goodPbm);

    // A write that fails halfway, as on a full disk.
    const QString png = dir.filePath("good.png");
    ASSERT_TRUE(writeImageRect(image, cv::Rect(0, 0, 4, 4), png));
    const QByteArray goodPng = contents(png);
    {
        const FileSizeLimit limit(goodPng.size() + 4096);
        ASSERT_TRUE(limit.isApplied());
        EXPECT_FALSE(writeImageRect(image, cv::Rect(0, 0, 300, 200), png, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(contents(png), goodPng);
    EXPECT_EQ(entries(dir), (QStringList{"good.jp2", "good.pbm", "good.png"}));
}

TEST(AtomicFileWrite, SignedSamplesKeptInTiffAndRefusedElsewhere) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The signed types the reader delivers from TIFF.
    for (const int type : {CV_16SC1, CV_16SC3, CV_16SC4, CV_32SC1, CV_8SC1, CV_8SC3}) {
        SCOPED_TRACE(type);
        const int channels = CV_MAT_CN(type);
        const bool bytes = CV_MAT_DEPTH(type) == CV_8S;
        cv::Mat values(3, 5 * channels, CV_32S);
        cv::RNG(type).fill(values, cv::RNG::UNIFORM, bytes ? -128 : -40000, bytes ? 128 : 40000);
        if (!bytes) {
            // What an 8-bit format would clip to 0 and 255.
            const int clipped[] = {-1000, 256, 1000, 30000};
            std::copy(std::begin(clipped), std::end(clipped), values.ptr<int>(0));
        }
        cv::Mat image;
        values.convertTo(image, CV_MAT_DEPTH(type));
        image = image.reshape(channels);
        const QString tiff = dir.filePath(QString("signed_%1.tif").arg(type));
        QString error;
        ASSERT_TRUE(writeImageRect(image, cv::Rect(0, 0, 5, 3), tiff, &error))
            << error.toStdString();
        const cv::Mat back = cv::imread(tiff.toStdString(), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(back.type(), type);
        EXPECT_EQ(cv::norm(back, image, cv::NORM_INF), 0);

        for (const char *suffix : {"png", "jpg", "bmp", "pgm"}) {
            SCOPED_TRACE(suffix);
            const QString other = dir.filePath(QString("signed_%1.%2").arg(type).arg(suffix));
            EXPECT_FALSE(writeImageRect(image, cv::Rect(0, 0, 5, 3), other, &error));
            EXPECT_TRUE(error.contains("signed")) << error.toStdString();
            EXPECT_TRUE(error.contains("TIFF"));
            EXPECT_FALSE(QFile::exists(other));
        }
    }
}

TEST(AtomicFileWrite, APipeIsWrittenIntoAndAReaderThatLeavesFailsTheWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pipe = dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int reader = open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    // Far more than the pipe holds, so the writer is still writing when the reader leaves.
    const QByteArray bytes(4 << 20, 'p');
    std::future<FileWriteResult> writing = std::async(std::launch::async, [&] {
        return writeFileAtomically(pipe, bytes.constData(), std::size_t(bytes.size()));
    });
    char first[4096];
    while (read(reader, first, sizeof first) <= 0)
        std::this_thread::yield();
    close(reader);
    // Without a guard the write's SIGPIPE would end this program here.
    const FileWriteResult result = writing.get();
    EXPECT_EQ(result.outcome, FileWriteOutcome::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    // Still a pipe: it cannot be replaced by a file.
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
