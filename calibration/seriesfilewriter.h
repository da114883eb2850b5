// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/mat.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Encodes and writes the files of a series on worker threads while the caller prepares the next
// image. Files of one name are written in the order they were handed over, so the later image
// wins; different names may finish in any order. The queue is bounded in entries and in bytes,
// so memory stays at a few images.
class SeriesFileWriter {
public:
    struct Failure {
        int index = -1;
        QString path;
        QString reason;
    };

    explicit SeriesFileWriter(int threads = 2, int maxQueued = 4,
                              std::size_t maxPendingBytes = std::size_t{128} << 20);
    // Waits for every file handed over.
    ~SeriesFileWriter();

    SeriesFileWriter(const SeriesFileWriter &) = delete;
    SeriesFileWriter &operator=(const SeriesFileWriter &) = delete;

    // Hands over `image` (the whole matrix; the writer keeps this header, so the caller must not
    // write into its pixels afterwards) to be written to `path`, image `index` of the series.
    // Waits at most `timeout` for room in the queue; false, with nothing taken, when there was
    // none in time.
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

private:
    struct Job {
        int index;
        cv::Mat image;
        QString path;
        std::size_t bytes;
    };

    void work();
    void stopWorkers();
    // The oldest job whose name is neither being written nor queued before it.
    std::deque<Job>::iterator nextWritable();
    void recordFailureLocked(int index, const QString &path, const QString &reason);

    const int maxQueued;
    const std::size_t maxPendingBytes;
    // Every buffer that can be in use at once: queued, being written and being filled.
    const int maxSpare;
    mutable std::mutex mutex;
    std::condition_variable jobsChanged;
    std::condition_variable jobDone;
    std::deque<Job> queue;
    std::vector<QString> inFlight;
    // Written images, handed out again once no one else refers to them.
    std::vector<cv::Mat> spare;
    // Queued and being written.
    int pendingJobs = 0;
    std::size_t pendingBytes = 0;
    bool closing = false;
    int writtenCount = 0;
    int failedCount = 0;
    Failure first;
    std::vector<std::thread> workers;
};
