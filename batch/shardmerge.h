// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Joining the manifests that the shards of a series wrote into the manifest one run would have
// written: shard K of N holds, in order, the rows of the images whose index i has
// i mod N = K - 1, so the whole series is their rows interleaved by index. The shards are read
// side by side a row at a time, so memory does not grow with the series.

// Image names kept for a message; the counts are whole.
inline constexpr int namedImagesKept = 10;

struct SeriesMerge {
    // The series' manifest name without ".csv", e.g. "ref_img_grid_10_24_24".
    QString series;
    // The shard manifests found, by file name.
    QStringList shardFiles;
    // Images of the series with no row in any shard, and with rows in more than one: how many,
    // and the first of them by name, in series order.
    int missingCount = 0;
    int duplicatedCount = 0;
    QStringList missing;
    QStringList duplicated;
    // Why the shards cannot be read, disagree on the series' parameters or do not belong to the
    // series; empty when they can be merged.
    QString refusal;
    // The merged manifest's path; empty unless written.
    QString mergedPath;
    int rows = 0;
    // Rows whose status says the file failed, and the first of them.
    int failedRows = 0;
    QString firstFailedFile;
    QString firstFailure;

    bool succeeded() const {
        return refusal.isEmpty() && missingCount == 0 && duplicatedCount == 0;
    }
};

// Merges every series whose shard manifests ("<series>.shard-K-of-N.csv") lie in `folder`, one
// result per series in name order, writing "<series>.csv" atomically for each series whose
// shards agree on the series' parameters ("# series ..." lines) and cover every image exactly
// once. Notes ("#" lines) that every shard shares head the merged manifest once; differing notes
// are kept per shard. Empty when the folder holds no shard manifest.
std::vector<SeriesMerge> mergeShardManifests(const QString &folder);
