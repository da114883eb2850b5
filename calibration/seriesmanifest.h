// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "meanlabadjustment.h"
#include "quad.h"
#include "seriesoptions.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <opencv2/core/matx.hpp>
#include <opencv2/core/types.hpp>

#include <chrono>
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
    // Pixels clipped in the scaled codes or in the RGB channels after the conversion back.
    double clippedPercent = 0;
    // The ΔE76 from its name within which the file is on target (seriesGoal()).
    double goal = defaultMethodGoal;
    // Empty: the file was written; its status follows from the clipping and the measurement.
    QString failure;
};

// "file,target_L,...,status".
QString manifestHeader();
// "failed: <reason>"; "out_of_gamut" when more than outOfGamutPercent of the pixels clipped;
// "ok" when the measured mean lies within the row's goal of the target; "off_target" otherwise
// (or when nothing was measured).
QString manifestStatus(const ManifestRow &row);
// The row's line with ΔE76 and ΔE2000 of the measured value from the target, no line end.
QString manifestLine(const ManifestRow &row);

// What a manifest's series is, for joining shards: what made its files.
struct SeriesParameters {
    SeriesPlan plan;
    SeriesOptions options;
    Quad corners;
    // The source picture's file name without its folder; empty when it has none.
    QString sourceName;
    cv::Size sourceSize;
};

// The lines that follow the header: "# series kind: grid", "# series steps: 10,24,24" (or
// "# series centre: 50,0,0"), then format, encoding, precise, corners, source and source size.
QStringList manifestSeriesLines(const SeriesParameters &parameters);

// The line that follows the series lines when the files hold only part of the re-coloured pixels
// (or the re-coloured rectangle only part of the file): "# measured over the overlap of the
// re-coloured and saved rectangles: <w>x<h> at <x>,<y> of each file".
QString manifestOverlapNote(const cv::Rect &measuredInFile);

// `base` + ".csv", or `base` + ".shard-K-of-N.csv" for shard K of N (N > 1).
QString manifestFileName(const QString &base, int shard, int shardCount);

// Appends lines and flushes each at once: a series that stops or crashes leaves every row it
// finished with the system. The file and its folder go to the disk when it is opened, at least
// every syncInterval while rows come, and at finish(), so that a power loss costs the rows of a
// few seconds at most. (Rewriting the whole file atomically per row would cost the square of
// the series' length; a crash can at worst leave the last line cut short.)
class ManifestFile {
public:
    static constexpr std::chrono::seconds syncInterval{2};

    // Starts the file afresh with its header; false with the cause in error().
    bool open(const QString &path);
    bool isOpen() const { return file.isOpen(); }
    // False with the cause in error(); later rows are then dropped.
    bool append(const QString &line);
    // Syncs the rows to the disk and closes the file; false with the cause in error().
    bool finish();
    QString error() const { return lastError; }

private:
    bool sync();
    bool fail(const QString &what);

    QFile file;
    QString lastError;
    std::chrono::steady_clock::time_point lastSync;
};
