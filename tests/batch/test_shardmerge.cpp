// SPDX-License-Identifier: GPL-3.0-or-later
#include "shardmerge.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Shard k of n as a run writes it: the rows of indices k - 1, k - 1 + n, ...
void writeShard(const QTemporaryDir &folder, int k, int n, const QByteArray &note = {}) {
    QByteArray bytes = header + note;
    for (int index = k - 1; index < 8; index += n)
        bytes += row(index);
    writeFile(folder.filePath(QStringLiteral("%1.shard-%2-of-%3.csv").arg(series).arg(k).arg(n)),
              bytes);
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ShardMerge, ShardsJoinInSeriesOrderWithTheirNote) {
    QTemporaryDir folder;
    const QByteArray note = "# measured over the overlap\n";
    for (int k = 1; k <= 3; ++k)
        writeShard(folder, k, 3, note);
    const std::vector<SeriesMerge> merges = mergeShardManifests(folder.path());
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_TRUE(merges[0].succeeded()) << merges[0].refusal.toStdString();
    EXPECT_EQ(merges[0].rows, 8);
    QByteArray expected = header + note;
    for (int index = 0; index < 8; ++index)
        expected += row(index);
    EXPECT_EQ(fileBytes(folder.filePath(series + QStringLiteral(".csv"))), expected);
}

TEST(ShardMerge, MissingAndDuplicatedImagesAreRefused) {
    QTemporaryDir missingFolder;
    writeShard(missingFolder, 1, 3);
    writeShard(missingFolder, 3, 3);
    std::vector<SeriesMerge> merges = mergeShardManifests(missingFolder.path());
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_FALSE(merges[0].succeeded());
    EXPECT_EQ(merges[0].missing,
              (QStringList{QString::fromLatin1(gridNames[1]), QString::fromLatin1(gridNames[4]),
                           QString::fromLatin1(gridNames[7])}));
    EXPECT_FALSE(QFile::exists(missingFolder.filePath(series + QStringLiteral(".csv"))));

    QTemporaryDir twiceFolder;
    for (int k = 1; k <= 3; ++k)
        writeShard(twiceFolder, k, 3);
    writeShard(twiceFolder, 2, 2);
    merges = mergeShardManifests(twiceFolder.path());
    ASSERT_EQ(merges.size(), 1u);
    EXPECT_TRUE(merges[0].missing.isEmpty());
    EXPECT_EQ(merges[0].duplicated,
              (QStringList{QString::fromLatin1(gridNames[1]), QString::fromLatin1(gridNames[3]),
                           QString::fromLatin1(gridNames[5]), QString::fromLatin1(gridNames[7])}));
    EXPECT_FALSE(QFile::exists(twiceFolder.filePath(series + QStringLiteral(".csv"))));

    // A stopped shard lacks its last rows; a row of another image is refused outright.
    QTemporaryDir shortFolder;
    writeShard(shortFolder, 1, 2);
    writeFile(shortFolder.filePath(series + QStringLiteral(".shard-2-of-2.csv")),
              header + row(1) + row(3));
    merges = mergeShardManifests(shortFolder.path());
    EXPECT_EQ(merges[0].missing,
              (QStringList{QString::fromLatin1(gridNames[5]), QString::fromLatin1(gridNames[7])}));
    writeFile(shortFolder.filePath(series + QStringLiteral(".shard-2-of-2.csv")),
              header + row(1) + row(2));
    merges = mergeShardManifests(shortFolder.path());
    EXPECT_EQ(merges[0].refusal.toStdString(),
              (series + QStringLiteral(".shard-2-of-2.csv, row 2: \"ref_img_0_0_-120.png\" is not "
                                       "image 3 of the series."))
                  .toStdString());
}
