// SPDX-License-Identifier: GPL-3.0-or-later
#include "shardmerge.h"

#include "referenceseries.h"

#include "../support/filebytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray header = "file,target_L,target_a,target_b,measured_L,measured_a,measured_b,dE76,"
                          "dE2000,clipped_percent,status\n";

// The grid with steps 50, 120, 120: L 0 and 50, a -120 and 0, b -120 and 0, eight images in
// this order.
const char *const gridNames[8] = {
    "ref_img_0_-120_-120",  "ref_img_0_-120_0",  "ref_img_0_0_-120",  "ref_img_0_0_0",
    "ref_img_50_-120_-120", "ref_img_50_-120_0", "ref_img_50_0_-120", "ref_img_50_0_0"};
const QString series = QStringLiteral("ref_img_grid_50_120_120");

QByteArray row(int index) {
    return QByteArray(gridNames[index]) + ".png,1,2,3,4.000,5.000,6.000,7.000,8.000,0.00,ok\n";
}

// The "# series" lines a run of this series writes after the header.
const QByteArray seriesLines = "# series kind: grid\n"
                               "# series steps: 50,120,120\n"
                               "# series format: png\n"
                               "# series encoding: linear\n"
                               "# series precise: no\n"
                               "# series corners: 700,860,700,960,800,960,800,860\n"
                               "# series source: photo.tif\n"
                               "# series source size: 1600x1200\n";

// Shard k of n as a run writes it: the rows of indices k - 1, k - 1 + n, ...
void writeShard(const QTemporaryDir &folder, int k, int n, const QByteArray &note = {}) {
    QByteArray bytes = header + note;
    for (int index = k - 1; index < 8; index += n)
        bytes += row(index);
    ASSERT_TRUE(writeFileBytes(
        folder.filePath(QStringLiteral("%1.shard-%2-of-%3.csv").arg(series).arg(k).arg(n)), bytes));
}

QStringList imageNames(std::initializer_list<int> indices) {
    QStringList names;
    for (const int index : indices)
        names << QString::fromLatin1(gridNames[index]);
    return names;
}

QString mergedPath(const QTemporaryDir &folder) {
    return folder.filePath(series + QStringLiteral(".csv"));
}

// The one series the folder's shards hold, merged.
SeriesMerge mergeSeries(const QTemporaryDir &folder) {
    const std::vector<SeriesMerge> merges = mergeShardManifests(folder.path());
    EXPECT_EQ(merges.size(), 1u);
    return merges.empty() ? SeriesMerge() : merges[0];
}

} // namespace

TEST(ShardMerge, ShardsJoinInSeriesOrderWithTheirNote) {
    QTemporaryDir folder;
    const QByteArray note = "# measured over the overlap\n";
    for (int k = 1; k <= 3; ++k)
        writeShard(folder, k, 3, note);
    const SeriesMerge merge = mergeSeries(folder);
    EXPECT_TRUE(merge.succeeded()) << merge.refusal.toStdString();
    EXPECT_EQ(merge.rows, 8);
    QByteArray expected = header + note;
    for (int index = 0; index < 8; ++index)
        expected += row(index);
    EXPECT_EQ(fileBytes(mergedPath(folder)), expected);
}

TEST(ShardMerge, MissingAndDuplicatedImagesAreRefused) {
    QTemporaryDir missingFolder;
    writeShard(missingFolder, 1, 3);
    writeShard(missingFolder, 3, 3);
    SeriesMerge merge = mergeSeries(missingFolder);
    EXPECT_FALSE(merge.succeeded());
    EXPECT_EQ(merge.missing, imageNames({1, 4, 7}));
    EXPECT_FALSE(QFile::exists(mergedPath(missingFolder)));

    QTemporaryDir twiceFolder;
    for (int k = 1; k <= 3; ++k)
        writeShard(twiceFolder, k, 3);
    writeShard(twiceFolder, 2, 2);
    merge = mergeSeries(twiceFolder);
    EXPECT_TRUE(merge.missing.isEmpty());
    EXPECT_EQ(merge.duplicated, imageNames({1, 3, 5, 7}));
    EXPECT_FALSE(QFile::exists(mergedPath(twiceFolder)));

    // A stopped shard lacks its last rows; a row of another image is refused outright.
    QTemporaryDir shortFolder;
    writeShard(shortFolder, 1, 2);
    ASSERT_TRUE(writeFileBytes(shortFolder.filePath(series + QStringLiteral(".shard-2-of-2.csv")),
                               header + row(1) + row(3)));
    merge = mergeSeries(shortFolder);
    EXPECT_EQ(merge.missing, imageNames({5, 7}));
    ASSERT_TRUE(writeFileBytes(shortFolder.filePath(series + QStringLiteral(".shard-2-of-2.csv")),
                               header + row(1) + row(2)));
    merge = mergeSeries(shortFolder);
    EXPECT_EQ(merge.refusal.toStdString(),
              (series + QStringLiteral(".shard-2-of-2.csv, row 2: \"ref_img_0_0_-120.png\" is not "
                                       "image 3 of the series."))
                  .toStdString());
}

TEST(ShardMerge, ShardsOfDifferentRunsAreRefusedNamingTheFirstDifference) {
    const struct {
        const char *name;
        QByteArray replaced;
        QByteArray by;
        const char *refusal;
    } cases[] = {
        {"another format", "format: png", "format: jpg",
         ".shard-1-of-3.csv and ref_img_grid_50_120_120.shard-2-of-3.csv differ in the series "
         "format: \"png\" and \"jpg\"."},
        {"other corners and source", "corners: 700,860", "corners: 10,860",
         "differ in the series corners: \"700,860,700,960,800,960,800,860\" and "
         "\"10,860,700,960,800,960,800,860\"."},
        {"no source size", "# series source size: 1600x1200\n", "",
         ".shard-2-of-3.csv records no series source size; "
         "ref_img_grid_50_120_120.shard-1-of-3.csv has \"1600x1200\"."},
    };
    for (const auto &differing : cases) {
        SCOPED_TRACE(differing.name);
        QTemporaryDir folder;
        for (int k = 1; k <= 3; ++k)
            writeShard(folder, k, 3,
                       k == 2 ? QByteArray(seriesLines).replace(differing.replaced, differing.by)
                              : seriesLines);
        const SeriesMerge merge = mergeSeries(folder);
        EXPECT_FALSE(merge.succeeded());
        EXPECT_TRUE(merge.refusal.contains(QLatin1String(differing.refusal)))
            << merge.refusal.toStdString();
        EXPECT_FALSE(QFile::exists(mergedPath(folder)));
    }
}

TEST(ShardMerge, NotesStayWithTheirShardAndFailedRowsAreCounted) {
    QTemporaryDir folder;
    writeShard(folder, 1, 3, seriesLines + "# measured over 90x90 at 5,5 of each file\n");
    writeShard(folder, 2, 3, seriesLines);
    QByteArray third = header + seriesLines + "# measured over 80x80 at 10,10 of each file\n";
    third += row(2);
    third += QByteArray(gridNames[5]) + ".png,1,2,3,,,,,,,\"failed: The disk, it is full\"\n";
    ASSERT_TRUE(
        writeFileBytes(folder.filePath(series + QStringLiteral(".shard-3-of-3.csv")), third));

    const SeriesMerge merge = mergeSeries(folder);
    EXPECT_TRUE(merge.succeeded()) << merge.refusal.toStdString();
    EXPECT_EQ(merge.failedRows, 1);
    EXPECT_EQ(merge.firstFailedFile.toStdString(), std::string(gridNames[5]) + ".png");
    EXPECT_EQ(merge.firstFailure.toStdString(), "The disk, it is full");
    const QByteArray merged = fileBytes(mergedPath(folder));
    EXPECT_TRUE(merged.startsWith(header + seriesLines +
                                  "# shard 1 of 3: measured over 90x90 at 5,5 of each file\n"
                                  "# shard 3 of 3: measured over 80x80 at 10,10 of each file\n" +
                                  row(0)))
        << merged.toStdString();
    EXPECT_EQ(merged.count('\n'), 1 + 8 + 2 + 8);
}

namespace {

// Writes the grid series with steps 2, 2, 2 (720,000 images) as `shardCount` shard manifests.
void writeLargeSeries(const QString &folder, int shardCount) {
    const LabValue steps{2, 2, 2};
    const int size = gridSeriesSize(steps);
    for (int k = 1; k <= shardCount; ++k) {
        QFile file(QDir(folder).filePath(
            QStringLiteral("ref_img_grid_2_2_2.shard-%1-of-%2.csv").arg(k).arg(shardCount)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(header + seriesLines);
        for (int index = k - 1; index < size; index += shardCount)
            file.write(QFileInfo(gridSeriesImage(steps, index).fileName).fileName().toUtf8() +
                       ",1,2,3,4.000,5.000,6.000,7.000,8.000,0.00,ok\n");
    }
}

// The peak resident size in MB of a child process that merges `folder`, and its exit code
// (0 when the merge succeeded).
std::pair<double, int> mergePeakMegabytes(const QString &folder) {
    const pid_t child = fork();
    if (child == 0) {
        const std::vector<SeriesMerge> merges = mergeShardManifests(folder);
        _exit(merges.size() == 1 && merges[0].succeeded() ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return {0, -1};
    return {usage.ru_maxrss / 1024.0, WEXITSTATUS(status)};
}

} // namespace

// gcc says it with a macro, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER
#endif
#endif

TEST(ShardMerge, MemoryStaysFlatInTheNumberOfRows) {
#ifdef UNDER_ADDRESS_SANITIZER
    GTEST_SKIP() << "The address sanitizer keeps freed memory in quarantine, so the peak grows "
                    "with every allocation.";
#endif
    QTemporaryDir small;
    for (int k = 1; k <= 2; ++k)
        writeShard(small, k, 2);
    QTemporaryDir large;
    writeLargeSeries(large.path(), 4);

    const auto [smallPeak, smallExit] = mergePeakMegabytes(small.path());
    const auto [largePeak, largeExit] = mergePeakMegabytes(large.path());
    ASSERT_EQ(smallExit, 0);
    ASSERT_EQ(largeExit, 0);
    EXPECT_EQ(fileBytes(large.filePath(QStringLiteral("ref_img_grid_2_2_2.csv"))).count('\n'),
              1 + 8 + 720000);
    // Holding the rows would take hundreds of MB here.
    EXPECT_LT(largePeak - smallPeak, 25.0) << smallPeak << " MB, then " << largePeak << " MB";
}
