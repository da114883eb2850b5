// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesfilewriter.h"

#include "atomicfilewrite.h"
#include "imageencoding.h"

#include <QCoreApplication>
#include <opencv2/core.hpp>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

// No other header shares the matrix's pixels, so it may be handed out again. Other threads change
// the count atomically, so it is read the same way.
bool heldOnlyHere(const cv::Mat &image) {
    return image.u && CV_XADD(&image.u->refcount, 0) == 1;
}

// Encodes the whole image in memory first, then commits the bytes, so a failure replaces nothing.
FileWriteResult writeImage(const cv::Mat &image, const QString &path) {
    QString error;
    const std::optional<std::vector<uchar>> bytes =
        encodeImageRect(image, cv::Rect(0, 0, image.cols, image.rows), path, &error);
    if (!bytes)
        return {FileWriteOutcome::Failed, error};
    return writeFileAtomically(path, reinterpret_cast<const char *>(bytes->data()), bytes->size());
}

} // namespace

struct SeriesFileWriter::State {
    struct Job {
        int index;
        cv::Mat image;
        QString path;
        std::size_t bytes;
    };

    State(int maxQueuedJobs, std::size_t maxBytes, int threads)
        : maxQueued(std::max(1, maxQueuedJobs)), maxPendingBytes(maxBytes),
          maxSpare(maxQueued + threads + 1) {}

    void work();
    // The oldest job whose name is neither being written nor queued before it.
    std::deque<Job>::iterator nextWritable();
    void recordFailureLocked(int index, const QString &path, const QString &reason);
    void finishLocked(Job &job, const FileWriteResult &result);

    const int maxQueued;
    const std::size_t maxPendingBytes;
    // Every buffer that can be in use at once: queued, being written and being filled.
    const int maxSpare;
    std::mutex mutex;
    std::condition_variable jobsChanged;
    std::condition_variable jobDone;
    std::deque<Job> queue;
    std::vector<Pending> inFlight;
    // Written images, handed out again once no one else refers to them.
    std::vector<cv::Mat> spare;
    // Queued and being written.
    int pendingJobs = 0;
    std::size_t pendingBytes = 0;
    bool closing = false;
    int writtenCount = 0;
    int failedCount = 0;
    Failure first;
    Failure full;
};

SeriesFileWriter::SeriesFileWriter(int threads, int maxQueuedJobs, std::size_t maxBytes)
    : state(std::make_shared<State>(maxQueuedJobs, maxBytes, std::max(1, threads))) {
    try {
        for (int i = 0; i < std::max(1, threads); ++i)
            std::thread([shared = state] { shared->work(); }).detach();
    } catch (...) {
        // The threads that started end on their own once told.
        {
            const std::lock_guard lock(state->mutex);
            state->closing = true;
        }
        state->jobsChanged.notify_all();
        throw;
    }
}

SeriesFileWriter::~SeriesFileWriter() {
    {
        const std::lock_guard lock(state->mutex);
        state->closing = true;
    }
    state->jobsChanged.notify_all();
}

bool SeriesFileWriter::submit(int index, const cv::Mat &image, const QString &path,
                              std::chrono::milliseconds timeout) {
    const std::size_t bytes = image.total() * image.elemSize();
    State &s = *state;
    std::unique_lock lock(s.mutex);
    // One image always fits when nothing is pending, however large it is.
    const bool hasRoom = s.jobDone.wait_for(lock, timeout, [&] {
        return s.full.index >= 0 ||
               (int(s.queue.size()) < s.maxQueued &&
                (s.pendingJobs == 0 || s.pendingBytes + bytes <= s.maxPendingBytes));
    });
    if (!hasRoom || s.full.index >= 0)
        return false;
    s.queue.push_back({index, image, path, bytes});
    s.pendingBytes += bytes;
    ++s.pendingJobs;
    lock.unlock();
    s.jobsChanged.notify_one();
    return true;
}

cv::Mat SeriesFileWriter::buffer(const cv::Size &size, int type) {
    const auto sameShape = [&](const cv::Mat &image) {
        return image.size() == size && image.type() == type;
    };
    // Let go outside the lock: freeing large matrices takes a while.
    std::vector<cv::Mat> stale;
    {
        const std::lock_guard lock(state->mutex);
        std::vector<cv::Mat> &spare = state->spare;
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
    const std::lock_guard lock(state->mutex);
    for (cv::Mat &image : buffers)
        if (int(state->spare.size()) < state->maxSpare)
            state->spare.push_back(std::move(image));
}

std::vector<cv::Mat> SeriesFileWriter::takeSpareBuffers(std::size_t maxBytes) {
    std::vector<cv::Mat> taken;
    const std::lock_guard lock(state->mutex);
    std::size_t bytes = 0;
    for (cv::Mat &image : state->spare) {
        if (!heldOnlyHere(image))
            continue;
        bytes += image.total() * image.elemSize();
        if (bytes > maxBytes)
            break;
        taken.push_back(std::move(image));
    }
    state->spare.clear();
    return taken;
}

void SeriesFileWriter::recordFailure(int index, const QString &path, const QString &reason) {
    const std::lock_guard lock(state->mutex);
    state->recordFailureLocked(index, path, reason);
}

bool SeriesFileWriter::waitUntilDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state->mutex);
    return state->jobDone.wait_for(lock, timeout, [this] { return state->pendingJobs == 0; });
}

int SeriesFileWriter::written() const {
    const std::lock_guard lock(state->mutex);
    return state->writtenCount;
}

int SeriesFileWriter::failed() const {
    const std::lock_guard lock(state->mutex);
    return state->failedCount;
}

SeriesFileWriter::Failure SeriesFileWriter::firstFailure() const {
    const std::lock_guard lock(state->mutex);
    return state->first;
}

std::vector<SeriesFileWriter::Pending> SeriesFileWriter::pending() const {
    const std::lock_guard lock(state->mutex);
    std::vector<Pending> files = state->inFlight;
    for (const State::Job &job : state->queue)
        files.push_back({job.index, job.path});
    std::stable_sort(files.begin(), files.end(),
                     [](const Pending &a, const Pending &b) { return a.index < b.index; });
    return files;
}

SeriesFileWriter::Failure SeriesFileWriter::diskFull() const {
    const std::lock_guard lock(state->mutex);
    return state->full;
}

std::deque<SeriesFileWriter::State::Job>::iterator SeriesFileWriter::State::nextWritable() {
    for (auto job = queue.begin(); job != queue.end(); ++job) {
        const bool busy = std::any_of(inFlight.begin(), inFlight.end(),
                                      [&](const Pending &file) { return file.path == job->path; });
        const bool queuedBefore = std::any_of(
            queue.begin(), job, [&](const Job &earlier) { return earlier.path == job->path; });
        if (!busy && !queuedBefore)
            return job;
    }
    return queue.end();
}

void SeriesFileWriter::State::recordFailureLocked(int index, const QString &path,
                                                  const QString &reason) {
    ++failedCount;
    if (first.index < 0 || index < first.index)
        first = {index, path, reason};
}

void SeriesFileWriter::State::finishLocked(Job &job, const FileWriteResult &result) {
    // Kept for reuse once the caller has let go of it too; the oldest goes when there are more
    // than can be in use at once.
    if (job.image.u) {
        if (int(spare.size()) >= maxSpare)
            spare.erase(spare.begin());
        spare.push_back(std::move(job.image));
    }
    job.image.release();
    pendingBytes -= job.bytes;
    --pendingJobs;
    if (result.written()) {
        ++writtenCount;
        return;
    }
    recordFailureLocked(job.index, job.path,
                        result.error.isEmpty() ? QCoreApplication::translate(
                                                     "SeriesFileWriter", "the file was not written")
                                               : result.error);
    if (result.outcome != FileWriteOutcome::DiskFull || full.index >= 0)
        return;
    full = {job.index, job.path, result.error};
    // Every later file would fail the same way.
    for (Job &dropped : queue)
        finishLocked(dropped, {FileWriteOutcome::Failed, result.error});
    queue.clear();
}

void SeriesFileWriter::State::work() {
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
        inFlight.push_back({current.index, current.path});
        lock.unlock();

        FileWriteResult result;
        try {
            result = writeImage(current.image, current.path);
        } catch (const std::exception &e) {
            result = {FileWriteOutcome::Failed, QString::fromLocal8Bit(e.what())};
        }

        lock.lock();
        inFlight.erase(std::find_if(inFlight.begin(), inFlight.end(), [&](const Pending &file) {
            return file.index == current.index && file.path == current.path;
        }));
        finishLocked(current, result);
        // A job of this name may have been waiting for this one.
        jobsChanged.notify_all();
        jobDone.notify_all();
    }
}
