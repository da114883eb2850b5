// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Joining the manifests that the shards of a series wrote into the manifest one run would have
// written: shard K of N holds, in order, the rows of the images whose index i has
// i mod N = K - 1, so the whole series is their rows interleaved by index.

struct SeriesMerge {
    // The series' manifest name without ".csv", e.g. "ref_img_grid_10_24_24".
    QString series;
    // The shard manifests found, by file name.
    QStringList shardFiles;
    // Images of the series with no row in any shard, and with rows in more than one, by name,
    // in series order.
    QStringList missing;
    QStringList duplicated;
    // Why the shards cannot be read or do not belong to the series; empty when they can.
    QString refusal;
    // The merged manifest's path; empty unless written.
    QString mergedPath;
    int rows = 0;

    bool succeeded() const {
        return refusal.isEmpty() && missing.isEmpty() && duplicated.isEmpty();
    }
};

// Merges every series whose shard manifests ("<series>.shard-K-of-N.csv") lie in `folder`, one
// result per series in name order, writing "<series>.csv" atomically for each series whose
// shards cover every image exactly once. Empty when the folder holds no shard manifest.
std::vector<SeriesMerge> mergeShardManifests(const QString &folder);
