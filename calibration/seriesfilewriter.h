// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

// Encodes and writes the files of a series on worker threads while the caller prepares the next
// image. Files of one name are written in the order they were handed over, so the later image
// wins; different names may finish in any order. The queue is bounded in entries and in bytes,
// so memory stays at a few images.
//
// The workers share the writer's state and are detached: a writer let go before its files are
// done leaves them to finish or fail in the background, so a write that never returns (a hung
// network share, a pipe no one reads) holds up neither the caller nor the end of the process.
class SeriesFileWriter {
public:
    struct Failure {
        int index = -1;
        QString path;
        QString reason;
    };
    // A file handed over and not yet written or failed.
    struct Pending {
        int index = -1;
        QString path;
    };

    explicit SeriesFileWriter(int threads = 2, int maxQueued = 4,
                              std::size_t maxPendingBytes = std::size_t{128} << 20);
    // Does not wait: files still pending are abandoned to the workers.
    ~SeriesFileWriter();

    SeriesFileWriter(const SeriesFileWriter &) = delete;
    SeriesFileWriter &operator=(const SeriesFileWriter &) = delete;

    // Hands over `image` (the whole matrix; the writer keeps this header, so the caller must not
    // write into its pixels afterwards) to be written to `path`, image `index` of the series.
    // Waits at most `timeout` for room in the queue; false, with nothing taken, when there was
    // none in time or the disk is full.
    bool submit(int index, const cv::Mat &image, const QString &path,
                std::chrono::milliseconds timeout);
    // A matrix of the given size and type to copy the next image into: one whose file is
    // written when there is one, so that a long series does not fault in fresh pages for every
    // image. Spare matrices of another size or type are let go.
    cv::Mat buffer(const cv::Size &size, int type);
    // Matrices that an earlier writer gave up, handed out by buffer() before any new one.
    void adoptBuffers(std::vector<cv::Mat> buffers);
    // Gives up the matrices of written images that no one else refers to, at most `maxBytes` of
    // them in all, so that the next series can start without fresh pages.
    std::vector<cv::Mat> takeSpareBuffers(std::size_t maxBytes);
    // Counts an image of the series whose file could not even be handed over.
    void recordFailure(int index, const QString &path, const QString &reason);
    // Waits at most `timeout` for every file handed over; true when all are done.
    bool waitUntilDone(std::chrono::milliseconds timeout);

    int written() const;
    int failed() const;
    // The failure of the lowest index; index -1 when nothing failed.
    Failure firstFailure() const;
    // Files handed over that are queued or being written, in the order they were handed over.
    std::vector<Pending> pending() const;
    // A write found no space left (or reached the file size limit): the first such failure, and
    // index -1 while there was none. From then on nothing more is written: files still queued
    // are dropped (counted as failed with this cause) and submit() refuses.
    Failure diskFull() const;

private:
    struct State;
    std::shared_ptr<State> state;
};
