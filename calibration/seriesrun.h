// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atomicfilewrite.h"
#include "preciseloop.h"
#include "quad.h"
#include "seriesmanifest.h"
#include "seriesoptions.h"

#include <QString>
#include <QStringList>
#include <opencv2/core/mat.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A whole reference series without widgets: the viewer's panel and the batch program both run
// it, so for the same picture, corners and options they write the same bytes.

// Shard K of N writes the images whose index i has i mod N = K - 1.
struct SeriesShard {
    int index = 1;
    int count = 1;

    bool isValid() const { return count >= 1 && index >= 1 && index <= count; }
    bool contains(int imageIndex) const { return imageIndex % count == index - 1; }
    // Images of a series of `seriesSize` that fall to this shard.
    int size(int seriesSize) const;
};

struct SeriesRequest {
    // The picture whose rectangle is re-coloured; any type that can be brought to 8-bit BGR.
    cv::Mat image;
    Quad corners;
    SeriesPlan plan;
    SeriesOptions options;
    SeriesShard shard;
    // The source picture's file name without its folder, for the manifest; may be empty.
    QString sourceName;
    // Off: the files are written without being decoded and measured, and no manifest is written.
    bool manifest = true;
};

struct SeriesProgress {
    // Images finished (written or failed, in any order) and images of this run.
    int done = 0;
    int total = 0;
    // The file last finished, without its folder, and the codes it was adjusted to (nothing
    // when it was not).
    QString file;
    std::optional<cv::Vec3d> target;
};

// A target and what its file measured, for plots.
struct SeriesPoint {
    cv::Vec3f target;
    cv::Vec3f measured;
};

struct SeriesResult {
    // Why the series did not start; empty when it ran. Nothing was written when refused.
    QString refusal;
    QString folder;
    // Images of this run (of the shard), images that got a row, files written.
    int total = 0;
    int processed = 0;
    int written = 0;
    // Files not written; files handed to a write that had not ended when the series was given
    // up (counted apart from `failed`).
    int failed = 0;
    int notConfirmed = 0;
    QStringList notConfirmedFiles;
    // Files written and measured that clipped (out of gamut), or that lie further from their
    // names than the mode's goal without clipping (off target).
    int outOfGamut = 0;
    int offTarget = 0;
    bool stopped = false;
    // The disk (or the size a process may write) ran out; nothing was tried after that.
    bool diskFull = false;
    QString diskFullCause;
    // ΔE76 from their names of the files written and measured.
    double meanDeltaE76 = 0;
    double maxDeltaE76 = 0;
    // Empty when no manifest was asked for.
    QString manifestPath;
    // Why the manifest is missing or incomplete; the images do not depend on it.
    QString manifestError;
    // The failure first in series order.
    QString firstFailedFile;
    QString firstFailure;
    // Rows written and measured, in series order.
    std::vector<SeriesPoint> points;
    // The codes the last row's file was adjusted to (rounded to the nearest code in the precise
    // mode, cut toward zero otherwise); nothing when no row was adjusted.
    std::optional<cv::Vec3d> lastTarget;
};

// Test seams: where free space and file writes come from, and how many threads work.
struct SeriesEnvironment {
    std::function<std::optional<std::int64_t>(const QString &folder)> freeBytes;
    std::function<FileWriteResult(const QString &path, const std::vector<uchar> &bytes)> writeFile;
    int threads = 0;
    // How long a stopped series waits for writes in hand before it gives them up.
    std::chrono::milliseconds stopGrace{1000};
};

// Why a series cannot run on `image` with these corners; empty when it can. The re-coloured
// rectangle (corner 0 to the x of corner 3 and the y of corner 1) and the saved one (corner 0
// to corner 2) must be non-empty and inside the image; both start at corner 0, so they overlap.
QString seriesRefusal(const cv::Mat &image, const Quad &corners);

// An estimate of the bytes `count` files of the saved rectangle take in `format`, with their
// manifest: the rectangle as it is (at most 512 x 512 pixels of its middle, scaled by area),
// encoded, times the count. Nothing when the rectangle cannot be encoded.
std::optional<std::int64_t> estimateSeriesBytes(const cv::Mat &image, const Quad &corners,
                                                SeriesFormat format, int count);

// Runs the series on worker threads and returns when it has ended. `progress` is called on the
// calling thread a few times a second (a panel processes events there; `stop` may be set from
// it or from any thread). Stop ends the series after the images in hand; writes that have not
// ended within the environment's grace are given up to threads that finish them alone, and
// counted as not confirmed.
SeriesResult runReferenceSeries(const SeriesRequest &request, const std::atomic<bool> &stop,
                                const std::function<void(const SeriesProgress &)> &progress,
                                const SeriesEnvironment &environment = {});
