// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesfilewriter.h"

#include "atomicfilewrite.h"
#include "imageencoding.h"

#include <QCoreApplication>
#include <opencv2/core.hpp>

#include <algorithm>
#include <exception>
#include <iterator>

namespace {

// No other header shares the matrix's pixels, so it may be handed out again. Other threads change
// the count atomically, so it is read the same way.
bool heldOnlyHere(const cv::Mat &image) {
    return image.u && CV_XADD(&image.u->refcount, 0) == 1;
}

// Encodes the whole image in memory first, then commits the bytes, so a failure replaces nothing.
bool writeImage(const cv::Mat &image, const QString &path, QString *error) {
    const std::optional<std::vector<uchar>> bytes =
        encodeImageRect(image, cv::Rect(0, 0, image.cols, image.rows), path, error);
    if (!bytes)
        return false;
    const FileWriteResult result =
        writeFileAtomically(path, reinterpret_cast<const char *>(bytes->data()), bytes->size());
    *error = result.error;
    return result.written();
}

} // namespace

SeriesFileWriter::SeriesFileWriter(int threads, int maxQueuedJobs, std::size_t maxBytes)
    : maxQueued(std::max(1, maxQueuedJobs)), maxPendingBytes(maxBytes),
      maxSpare(maxQueued + std::max(1, threads) + 1) {
    try {
        for (int i = 0; i < std::max(1, threads); ++i)
            workers.emplace_back([this] { work(); });
    } catch (...) {
        // A thread that could not start leaves the started ones to be joined here.
        stopWorkers();
        throw;
    }
}

SeriesFileWriter::~SeriesFileWriter() {
    stopWorkers();
}

void SeriesFileWriter::stopWorkers() {
    {
        const std::lock_guard lock(mutex);
        closing = true;
    }
    jobsChanged.notify_all();
    for (std::thread &worker : workers)
        worker.join();
}

bool SeriesFileWriter::submit(int index, const cv::Mat &image, const QString &path,
                              std::chrono::milliseconds timeout) {
    const std::size_t bytes = image.total() * image.elemSize();
    std::unique_lock lock(mutex);
    // One image always fits when nothing is pending, however large it is.
    const bool hasRoom = jobDone.wait_for(lock, timeout, [&] {
        return int(queue.size()) < maxQueued &&
               (pendingJobs == 0 || pendingBytes + bytes <= maxPendingBytes);
    });
    if (!hasRoom)
        return false;
    queue.push_back({index, image, path, bytes});
    pendingBytes += bytes;
    ++pendingJobs;
    lock.unlock();
    jobsChanged.notify_one();
    return true;
}

cv::Mat SeriesFileWriter::buffer(const cv::Size &size, int type) {
    const auto sameShape = [&](const cv::Mat &image) {
        return image.size() == size && image.type() == type;
    };
    // Let go outside the lock: freeing large matrices takes a while.
    std::vector<cv::Mat> stale;
    {
        const std::lock_guard lock(mutex);
        const auto fits = std::find_if(spare.begin(), spare.end(), [&](const cv::Mat &image) {
            return sameShape(image) && heldOnlyHere(image);
        });
        if (fits != spare.end()) {
            cv::Mat reused = std::move(*fits);
            spare.erase(fits);
            return reused;
        }
        // Of an earlier rectangle: a series copies one size over and over.
        const auto others = std::stable_partition(spare.begin(), spare.end(), sameShape);
        std::move(others, spare.end(), std::back_inserter(stale));
        spare.erase(others, spare.end());
    }
    return cv::Mat(size, type);
}

void SeriesFileWriter::adoptBuffers(std::vector<cv::Mat> buffers) {
    const std::lock_guard lock(mutex);
    for (cv::Mat &image : buffers)
        if (int(spare.size()) < maxSpare)
            spare.push_back(std::move(image));
}

std::vector<cv::Mat> SeriesFileWriter::takeSpareBuffers(std::size_t maxBytes) {
    std::vector<cv::Mat> taken;
    const std::lock_guard lock(mutex);
    std::size_t bytes = 0;
    for (cv::Mat &image : spare) {
        if (!heldOnlyHere(image))
            continue;
        bytes += image.total() * image.elemSize();
        if (bytes > maxBytes)
            break;
        taken.push_back(std::move(image));
    }
    spare.clear();
    return taken;
}

void SeriesFileWriter::recordFailure(int index, const QString &path, const QString &reason) {
    const std::lock_guard lock(mutex);
    recordFailureLocked(index, path, reason);
}

bool SeriesFileWriter::waitUntilDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return jobDone.wait_for(lock, timeout, [this] { return pendingJobs == 0; });
}

int SeriesFileWriter::written() const {
    const std::lock_guard lock(mutex);
    return writtenCount;
}

int SeriesFileWriter::failed() const {
    const std::lock_guard lock(mutex);
    return failedCount;
}

SeriesFileWriter::Failure SeriesFileWriter::firstFailure() const {
    const std::lock_guard lock(mutex);
    return first;
}

std::deque<SeriesFileWriter::Job>::iterator SeriesFileWriter::nextWritable() {
    for (auto job = queue.begin(); job != queue.end(); ++job) {
        const bool busy = std::find(inFlight.begin(), inFlight.end(), job->path) != inFlight.end();
        const bool queuedBefore = std::any_of(
            queue.begin(), job, [&](const Job &earlier) { return earlier.path == job->path; });
        if (!busy && !queuedBefore)
            return job;
    }
    return queue.end();
}

void SeriesFileWriter::recordFailureLocked(int index, const QString &path, const QString &reason) {
    ++failedCount;
    if (first.index < 0 || index < first.index)
        first = {index, path, reason};
}

void SeriesFileWriter::work() {
    std::unique_lock lock(mutex);
    for (;;) {
        auto job = queue.end();
        jobsChanged.wait(lock, [&] {
            job = nextWritable();
            return job != queue.end() || (closing && queue.empty());
        });
        if (job == queue.end())
            return;
        Job current = std::move(*job);
        queue.erase(job);
        inFlight.push_back(current.path);
        lock.unlock();

        QString error;
        bool ok = false;
        try {
            ok = writeImage(current.image, current.path, &error);
        } catch (const std::exception &e) {
            error = QString::fromLocal8Bit(e.what());
        }

        lock.lock();
        // Kept for reuse once the caller has let go of it too; the oldest goes when there are
        // more than can be in use at once.
        if (current.image.u) {
            if (int(spare.size()) >= maxSpare)
                spare.erase(spare.begin());
            spare.push_back(std::move(current.image));
        }
        current.image.release();
        inFlight.erase(std::find(inFlight.begin(), inFlight.end(), current.path));
        pendingBytes -= current.bytes;
        --pendingJobs;
        if (ok)
            ++writtenCount;
        else
            recordFailureLocked(
                current.index, current.path,
                error.isEmpty()
                    ? QCoreApplication::translate("SeriesFileWriter", "the file was not written")
                    : error);
        // A job of this name may have been waiting for this one.
        jobsChanged.notify_all();
        jobDone.notify_all();
    }
}
