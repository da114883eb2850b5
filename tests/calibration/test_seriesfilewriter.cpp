// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesfilewriter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

void submitWaiting(SeriesFileWriter &writer, int index, const cv::Mat &image, const QString &path) {
    while (!writer.submit(index, image, path, 100ms)) {
    }
}

cv::Mat filled(int value) {
    return cv::Mat(3, 5, CV_8UC3, cv::Scalar(value, 255 - value, value / 2));
}

} // namespace

TEST(SeriesFileWriter, SameNameKeepsTheLaterImage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString repeated = dir.filePath("repeated.png");
    {
        SeriesFileWriter writer(2, 2);
        for (int i = 0; i < 60; ++i) {
            const QString path =
                i % 3 == 0 ? dir.filePath(QString("single_%1.png").arg(i)) : repeated;
            submitWaiting(writer, i, filled(i), path);
        }
        ASSERT_TRUE(writer.waitUntilDone(60s));
        EXPECT_EQ(writer.written(), 60);
        EXPECT_EQ(writer.failed(), 0);
        EXPECT_EQ(writer.firstFailure().index, -1);
    }
    const cv::Mat last = cv::imread(repeated.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(cv::norm(last, filled(59), cv::NORM_INF), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 21);
}

TEST(SeriesFileWriter, CountsFailuresAndNamesTheFirstInSeriesOrder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missingFolder = dir.filePath("missing/x_%1.png");
    SeriesFileWriter writer(2, 3);
    writer.recordFailure(9, dir.filePath("late.png"), "no rectangle");
    for (int i = 0; i < 12; ++i) {
        const QString path =
            i % 4 == 3 ? dir.filePath(QString("ok_%1.png").arg(i)) : missingFolder.arg(i);
        submitWaiting(writer, i, filled(i), path);
    }
    ASSERT_TRUE(writer.waitUntilDone(60s));
    EXPECT_EQ(writer.written(), 3);
    EXPECT_EQ(writer.failed(), 10);
    const SeriesFileWriter::Failure first = writer.firstFailure();
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(first.path, missingFolder.arg(0));
    EXPECT_FALSE(first.reason.isEmpty());
}

TEST(SeriesFileWriter, HandsOutOnlyBuffersNoOneElseHolds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SeriesFileWriter writer(1, 2);
    cv::Mat held = writer.buffer({5, 3}, CV_8UC3);
    ASSERT_EQ(held.size(), cv::Size(5, 3));
    ASSERT_EQ(held.type(), CV_8UC3);
    filled(40).copyTo(held);
    submitWaiting(writer, 0, held, dir.filePath("held.png"));
    ASSERT_TRUE(writer.waitUntilDone(60s));
    // The caller still holds its header, so the written buffer must not come back for reuse.
    const cv::Mat next = writer.buffer({5, 3}, CV_8UC3);
    EXPECT_NE(next.data, held.data);
    EXPECT_EQ(cv::norm(held, filled(40), cv::NORM_INF), 0);
    const cv::Mat other = writer.buffer({4, 4}, CV_8UC1);
    EXPECT_EQ(other.size(), cv::Size(4, 4));
    EXPECT_EQ(other.type(), CV_8UC1);
}

TEST(SeriesFileWriter, WrittenBuffersComeBackAndCarryOverToTheNextWriter) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<cv::Mat> kept;
    std::vector<const uchar *> fresh;
    {
        SeriesFileWriter writer(2, 2);
        // Written and let go before the next is asked for: one buffer serves all three.
        const uchar *first = nullptr;
        for (int i = 0; i < 3; ++i) {
            cv::Mat image = writer.buffer({5, 3}, CV_8UC3);
            if (i == 0)
                first = image.data;
            EXPECT_EQ(image.data, first);
            filled(i).copyTo(image);
            submitWaiting(writer, i, image, dir.filePath(QString("again_%1.png").arg(i)));
            image.release();
            ASSERT_TRUE(writer.waitUntilDone(60s));
        }

        cv::Mat held = writer.buffer({5, 3}, CV_8UC3);
        EXPECT_EQ(held.data, first);
        for (int i = 0; i < 2; ++i) {
            cv::Mat image = writer.buffer({5, 3}, CV_8UC3);
            fresh.push_back(image.data);
            submitWaiting(writer, 3 + i, image, dir.filePath(QString("fresh_%1.png").arg(i)));
        }
        submitWaiting(writer, 5, held, dir.filePath("held.png"));
        ASSERT_TRUE(writer.waitUntilDone(60s));
        // Never one the caller still holds, and no more bytes than asked (two are 90).
        kept = writer.takeSpareBuffers(89);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_NE(kept[0].data, held.data);
        EXPECT_TRUE(kept[0].data == fresh[0] || kept[0].data == fresh[1]);
    }
    const uchar *carried = kept[0].data;
    SeriesFileWriter next(1, 2);
    next.adoptBuffers(std::move(kept));
    std::vector<cv::Mat> adopted = next.takeSpareBuffers(89);
    ASSERT_EQ(adopted.size(), 1u);
    EXPECT_EQ(adopted[0].data, carried);
    next.adoptBuffers(std::move(adopted));
    EXPECT_EQ(next.buffer({5, 3}, CV_8UC3).data, carried);
}

TEST(SeriesFileWriter, LetGoWithAHungWriteItFinishesInTheBackground) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A pipe that no one reads: writing to it blocks in open() until a reader comes.
    const QString pipe = dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    {
        SeriesFileWriter writer(2, 2);
        submitWaiting(writer, 0, filled(10), pipe);
        submitWaiting(writer, 1, filled(20), dir.filePath("other.png"));
        // The other file is written beside the hung one.
        while (writer.written() < 1)
            std::this_thread::yield();
        EXPECT_FALSE(writer.waitUntilDone(50ms));
        const std::vector<SeriesFileWriter::Pending> pending = writer.pending();
        ASSERT_EQ(pending.size(), 1u);
        EXPECT_EQ(pending[0].index, 0);
        EXPECT_EQ(pending[0].path, pipe);
        // Letting go of the writer here must not wait for the pipe.
    }

    // A reader comes: the abandoned write goes through and closes its end.
    const int reader = open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    QByteArray received;
    for (;;) {
        char chunk[4096];
        const ssize_t count = read(reader, chunk, sizeof chunk);
        if (count > 0)
            received.append(chunk, int(count));
        else if (count == 0 && !received.isEmpty())
            break;
        else
            std::this_thread::sleep_for(5ms);
    }
    close(reader);
    const cv::Mat decoded =
        cv::imdecode(std::vector<uchar>(received.begin(), received.end()), cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(decoded.empty());
    EXPECT_EQ(cv::norm(decoded, filled(10), cv::NORM_INF), 0);
}

TEST(SeriesFileWriter, AFullDiskStopsEveryFurtherWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Files may not grow past 100 bytes, so the first write fails as on a full disk.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    cv::Mat large(64, 64, CV_8UC3);
    cv::RNG(3).fill(large, cv::RNG::UNIFORM, 0, 256);
    {
        SeriesFileWriter writer(1, 8);
        int handedOver = 0;
        for (int i = 0;
             i < 8 && writer.submit(i, large, dir.filePath(QString("f_%1.png").arg(i)), 100ms); ++i)
            ++handedOver;
        ASSERT_TRUE(writer.waitUntilDone(60s));
        const SeriesFileWriter::Failure full = writer.diskFull();
        EXPECT_EQ(full.index, 0);
        EXPECT_EQ(full.path, dir.filePath("f_0.png"));
        EXPECT_FALSE(full.reason.isEmpty());
        EXPECT_EQ(writer.written(), 0);
        // Every file handed over is counted as not written, and nothing more is taken.
        EXPECT_EQ(writer.failed(), handedOver);
        EXPECT_FALSE(writer.submit(9, large, dir.filePath("late.png"), 0ms));
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
