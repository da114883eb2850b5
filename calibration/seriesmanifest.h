// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "meanlabadjustment.h"

#include <QFile>
#include <QString>
#include <opencv2/core/matx.hpp>
#include <opencv2/core/types.hpp>

#include <optional>

// The CSV file a series writes beside its images: one row per image, in series order, saying
// what the file as written holds.

// Above this share of clipped pixels a file is out of gamut.
inline constexpr double outOfGamutPercent = 1.0;

struct ManifestRow {
    QString file;
    LabValue target;
    // Nothing when the file was never encoded.
    std::optional<cv::Vec3d> measured;
    double clippedPercent = 0;
    // Empty: the file was written; its status follows from the clipping.
    QString failure;
};

// "file,target_L,...,status".
QString manifestHeader();
// "ok", "out_of_gamut" or "failed: <reason>".
QString manifestStatus(const ManifestRow &row);
// The row's line with ΔE76 and ΔE2000 of the measured value from the target, no line end.
QString manifestLine(const ManifestRow &row);

// The line that follows the header when the files hold only part of the re-coloured pixels (or
// the re-coloured rectangle only part of the file): "# measured over the overlap of the
// re-coloured and saved rectangles: <w>x<h> at <x>,<y> of each file".
QString manifestOverlapNote(const cv::Rect &measuredInFile);

// `base` + ".csv", or `base` + ".shard-K-of-N.csv" for shard K of N (N > 1).
QString manifestFileName(const QString &base, int shard, int shardCount);

// Appends lines and flushes each at once: a series that stops or crashes leaves every row it
// finished on disk. (Rewriting the whole file atomically per row would cost the square of the
// series' length; a crash can at worst leave the last line cut short.)
class ManifestFile {
public:
    // Starts the file afresh with its header; false with the cause in error().
    bool open(const QString &path);
    bool isOpen() const { return file.isOpen(); }
    // False with the cause in error(); later rows are then dropped.
    bool append(const QString &line);
    QString error() const { return lastError; }

private:
    QFile file;
    QString lastError;
};
