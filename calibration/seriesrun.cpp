// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesrun.h"

#include "imageencoding.h"
#include "labmeasurement.h"
#include "matconversion.h"
#include "picturefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QStorageInfo>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ReferenceSeries", text);
}

// How often the calling thread reports progress and looks at the stop request.
constexpr std::chrono::milliseconds progressInterval{40};
// Images that may be finished ahead of the first one still in hand: rows wait in memory for
// the manifest, which takes them in series order.
constexpr int maxAhead = 64;
// The largest side of the part of a rectangle encoded to estimate a series' size.
constexpr int maxSampleSide = 512;
// Workers of a series at most, and the crop area above which a series has one per core only.
constexpr unsigned maxWorkers = 6;
constexpr int largeCropArea = 4'000'000;
// Bytes a manifest row takes, about.
constexpr std::int64_t manifestRowBytes = 120;

// The rectangles of a series: the part of the picture it needs (crop, in the picture), the
// re-coloured and the saved rectangle in the crop, and the re-coloured pixels in the file.
struct Geometry {
    cv::Rect crop;
    cv::Rect recoloured;
    cv::Rect saved;
    cv::Rect measuredInFile;
};

Geometry geometryOf(const Quad &corners) {
    const cv::Rect recoloured = rectFromCorners013(corners);
    const cv::Rect saved = rectFromCorners02(corners);
    const cv::Rect crop = recoloured | saved;
    return {crop, recoloured - crop.tl(), saved - crop.tl(), (recoloured & saved) - saved.tl()};
}

std::string encoderExtension(SeriesFormat format) {
    return '.' + seriesFormatExtension(format).toStdString();
}

QString sizeText(std::int64_t bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

std::optional<std::int64_t> storageFreeBytes(const QString &folder) {
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return storage.bytesAvailable();
}

// The pixels a file of `format` holds: 8 or 16 bits a channel. 8-bit pixels in an 8-bit format
// are shared as they are; 16-bit ones in a 16-bit format too.
cv::Mat fileDepthPixels(const cv::Mat &pixels, SeriesFormat format) {
    const int depth = isSixteenBitFormat(format) ? CV_16U : CV_8U;
    if (pixels.depth() == depth)
        return pixels;
    const double full = depth == CV_16U ? 65535.0 : 255.0;
    const double scale = pixels.depth() == CV_8U    ? full / 255.0
                         : pixels.depth() == CV_16U ? full / 65535.0
                                                    : full;
    cv::Mat converted;
    pixels.convertTo(converted, depth, scale);
    return converted;
}

// The ICC bytes the files carry: the profile their numbers are in, none in the OpenCV modes.
std::vector<unsigned char> embeddedBytes(const SeriesOptions &options) {
    const LabSpace space = seriesLabSpace(options);
    if (!space.isIcc())
        return {};
    const QByteArray &bytes = space.profile()->bytes();
    return {bytes.begin(), bytes.end()};
}

FileWriteResult writeAtomically(const QString &path, const std::vector<uchar> &bytes) {
    return writeFileAtomically(path, reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

// Each file waits for the disk twice (the file synced before its rename, its folder after);
// with three workers per core, one computes while the others wait. A worker holds three copies
// of the crop, so large crops get one worker per core.
int workerCount(const cv::Size &crop) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned perCore = crop.area() > largeCropArea ? 1 : 3;
    return static_cast<int>(std::min(maxWorkers, cores * perCore));
}

struct Slot {
    ManifestRow row;
    cv::Vec3d target;
    bool adjusted = false;
    bool finished = false;
    bool written = false;
};

// What the workers share with the calling thread. Workers hold it too, so a write given up
// when the series stops can end on its own thread after the series has returned.
struct Work {
    cv::Mat crop;
    Geometry geometry;
    SeriesPlan plan;
    SeriesOptions options;
    double goal = defaultMethodGoal;
    SeriesShard shard;
    QString folder;
    bool verify = true;
    int count = 0;
    std::function<FileWriteResult(const QString &, const std::vector<uchar> &)> writeFile;
    LabSpace space;
    std::vector<unsigned char> icc;

    std::mutex mutex;
    std::condition_variable changed;
    // Under the mutex: the next slot to take, the first slot not yet taken by the manifest,
    // the slots taken and not yet handed on, workers still running.
    int next = 0;
    int handedOn = 0;
    std::map<int, Slot> pending;
    int running = 0;
    // Images finished, in any order.
    int finishedCount = 0;
    bool abandon = false;
    bool diskFull = false;
    QString diskFullCause;
};

void publish(Work &work, int slot, const Slot &state) {
    {
        const std::lock_guard lock(work.mutex);
        const auto found = work.pending.find(slot);
        // Gone when the calling thread has given this write up.
        if (found != work.pending.end()) {
            found->second = state;
            work.finishedCount += state.finished;
        }
    }
    work.changed.notify_all();
}

// A file of the series in memory, with what it measures when decoded.
struct EncodedImage {
    // Empty, with the cause in `failure`, when the writer refused.
    std::vector<uchar> bytes;
    QString failure;
    std::optional<cv::Vec3d> measured;
    double clippedPercent = 0;
};

// Re-colours the rectangle to `target` (codes) and encodes the saved rectangle; when asked,
// measures the decoded bytes and the share clipped. Nothing when the rectangle cannot be
// re-coloured. May throw
// (cv::Exception, std::bad_alloc).
std::optional<EncodedImage> encodeImage(const Work &work, MeanLabAdjustment &adjustment,
                                        const QString &path, const cv::Vec3d &target,
                                        bool measure) {
    const Geometry &g = work.geometry;
    const CodeRounding rounding =
        work.options.precise ? CodeRounding::Nearest : CodeRounding::Truncate;
    if (!adjustment.adjust(g.recoloured, target, rounding))
        return std::nullopt;
    EncodedImage encoded;
    if (measure) {
        const cv::Rect measured = g.measuredInFile + g.saved.tl();
        encoded.clippedPercent =
            100.0 * static_cast<double>(adjustment.clippedPixels(measured)) / measured.area();
    }
    const cv::Mat pixels = fileDepthPixels(adjustment.workImage()(g.saved), work.options.format);
    std::optional<std::vector<uchar>> bytes = encodeImageRectWithProfile(
        pixels, cv::Rect(cv::Point(), pixels.size()), path, work.icc, &encoded.failure);
    if (!bytes)
        return encoded;
    encoded.bytes = std::move(*bytes);
    if (measure) {
        const cv::Mat decoded = cv::imdecode(encoded.bytes, cv::IMREAD_UNCHANGED);
        if (const auto stats = measureLab(decoded, g.measuredInFile, work.space))
            encoded.measured = stats->mean;
    }
    return encoded;
}

// The precise mode's closed loop; `target` ends as the codes of the file kept, or of the round
// that failed.
std::optional<EncodedImage> encodePrecisely(const Work &work, MeanLabAdjustment &adjustment,
                                            const QString &path, const LabValue &value,
                                            cv::Vec3d &target) {
    std::vector<EncodedImage> rounds;
    std::optional<EncodedImage> unmeasured;
    const std::optional<KeptRound> kept =
        holdToName(cv::Vec3d(value.l, value.a, value.b), [&](const cv::Vec3d &codes) {
            target = codes;
            std::optional<EncodedImage> encoded = encodeImage(work, adjustment, path, codes, true);
            if (!encoded || !encoded->measured) {
                unmeasured = std::move(encoded);
                return std::optional<cv::Vec3d>();
            }
            rounds.push_back(std::move(*encoded));
            return rounds.back().measured;
        });
    if (!kept)
        return unmeasured;
    target = kept->codes;
    return std::move(rounds[static_cast<std::size_t>(kept->round)]);
}

void makeImage(Work &work, MeanLabAdjustment &adjustment, bool bound, int slot) {
    const ReferenceImage reference =
        work.plan.image(work.shard.index - 1 + slot * work.shard.count);
    Slot state;
    state.row.file = seriesFileName(reference, work.options.format);
    state.row.target = reference.value;
    state.row.goal = work.goal;
    const auto fail = [&](const QString &reason) {
        state.row.failure = reason;
        state.finished = true;
        publish(work, slot, state);
    };
    if (!bound)
        return fail(tr("There is not enough memory to re-colour the rectangle."));

    const QString path = QDir(work.folder).filePath(state.row.file);
    std::optional<EncodedImage> encoded;
    try {
        cv::Vec3d target(reference.target.l, reference.target.a, reference.target.b);
        encoded = work.options.precise
                      ? encodePrecisely(work, adjustment, path, reference.value, target)
                      : encodeImage(work, adjustment, path, target, work.verify);
        state.target = target;
    } catch (const cv::Exception &exception) {
        return fail(tr("The image library could not encode the file: %1")
                        .arg(QString::fromStdString(exception.err)));
    } catch (const std::bad_alloc &) {
        return fail(tr("There is not enough memory to encode the file."));
    }
    if (!encoded)
        return fail(tr("The rectangle could not be re-coloured to this value."));
    state.adjusted = true;
    if (!encoded->failure.isEmpty())
        return fail(encoded->failure);
    state.row.clippedPercent = encoded->clippedPercent;
    state.row.measured = encoded->measured;
    if (work.verify && !encoded->measured)
        return fail(tr("The encoded file does not decode to the rectangle written."));
    publish(work, slot, state);

    const FileWriteResult result = work.writeFile(path, encoded->bytes);
    if (result.outcome == FileWriteOutcome::DiskFull) {
        const std::lock_guard lock(work.mutex);
        if (!work.diskFull)
            work.diskFullCause = result.error;
        work.diskFull = true;
        work.abandon = true;
    }
    state.finished = true;
    state.written = result.written();
    state.row.failure = result.written() ? QString() : result.error;
    publish(work, slot, state);
}

void runWorker(const std::shared_ptr<Work> &work) {
    MeanLabAdjustment adjustment;
    const bool bound = adjustment.bind(work->crop, work->space);
    for (;;) {
        int slot = 0;
        {
            std::unique_lock lock(work->mutex);
            work->changed.wait(lock, [&] {
                return work->abandon || work->next >= work->count ||
                       work->next < work->handedOn + maxAhead;
            });
            if (work->abandon || work->next >= work->count)
                break;
            slot = work->next++;
            work->pending.emplace(slot, Slot());
        }
        makeImage(*work, adjustment, bound, slot);
    }
    {
        const std::lock_guard lock(work->mutex);
        --work->running;
    }
    work->changed.notify_all();
}

// Counts a finished row into the result and the manifest.
class ResultCollector {
public:
    ResultCollector(SeriesResult &into, ManifestFile &manifestFile)
        : result(into), manifest(manifestFile) {}

    void add(const Slot &slot) {
        ++result.processed;
        if (slot.adjusted)
            result.lastTarget = slot.target;
        const ManifestRow &row = slot.row;
        if (!row.failure.isEmpty()) {
            if (result.firstFailure.isEmpty()) {
                result.firstFailedFile = QDir(result.folder).filePath(row.file);
                result.firstFailure = row.failure;
            }
        } else {
            ++result.written;
            const QString status = manifestStatus(row);
            if (row.measured && status == QLatin1String("out_of_gamut"))
                ++result.outOfGamut;
            else if (row.measured && status == QLatin1String("off_target"))
                ++result.offTarget;
            if (row.measured) {
                const cv::Vec3d target(row.target.l, row.target.a, row.target.b);
                const double deltaE = cv::norm(target - *row.measured);
                deltaE76Sum += deltaE;
                result.maxDeltaE76 = std::max(result.maxDeltaE76, deltaE);
                result.points.push_back({cv::Vec3f(target), cv::Vec3f(*row.measured)});
                result.meanDeltaE76 = deltaE76Sum / static_cast<double>(result.points.size());
            }
        }
        if (manifest.isOpen() && !manifest.append(manifestLine(row)))
            result.manifestError = manifest.error();
    }

private:
    SeriesResult &result;
    ManifestFile &manifest;
    double deltaE76Sum = 0;
};

QString refusalBeforeStart(const SeriesRequest &request) {
    const QString picture = seriesRefusal(request.image, request.corners);
    if (!picture.isEmpty())
        return picture;
    if (request.plan.size() == 0) {
        QStringList lines;
        for (const QString &channel : nonPositiveGridSteps(request.plan.parameters))
            lines << tr("The %1 step must be positive.").arg(channel);
        return lines.join(QLatin1Char('\n'));
    }
    if (!request.shard.isValid())
        return tr("Shard %1 of %2 does not exist: it must lie between 1 and the number of "
                  "shards.")
            .arg(request.shard.index)
            .arg(request.shard.count);
    return {};
}

// Makes the folder and checks that the series fits in it; the refusal, or empty.
QString prepareFolder(const SeriesRequest &request, const SeriesEnvironment &environment,
                      QString &folder) {
    folder = seriesFolder(request.options);
    if (!QDir(folder).exists() && !QDir().mkpath(folder))
        return tr("The folder %1 does not exist and cannot be made.")
            .arg(QDir::toNativeSeparators(folder));
    const auto freeBytes =
        environment.freeBytes ? environment.freeBytes(folder) : storageFreeBytes(folder);
    const auto needed = estimateSeriesBytes(request.image, request.corners, request.options.format,
                                            request.shard.size(request.plan.size()));
    if (freeBytes && needed && *needed > *freeBytes)
        return tr("The series needs about %1, but only %2 are free in %3.")
            .arg(sizeText(*needed), sizeText(*freeBytes), QDir::toNativeSeparators(folder));
    return {};
}

// The work the workers share, with the crop of the picture they re-colour; nothing, with the
// refusal in `result`, when there is no memory for it.
std::shared_ptr<Work> prepareWork(const SeriesRequest &request,
                                  const SeriesEnvironment &environment, SeriesResult &result) {
    auto work = std::make_shared<Work>();
    work->geometry = geometryOf(request.corners);
    try {
        // The ICC mode keeps the picture's depth; the OpenCV modes work in 8-bit BGR.
        const cv::Mat crop = request.image(work->geometry.crop);
        work->space = seriesLabSpace(request.options);
        work->crop = work->space.isIcc() ? crop.clone() : toBgr8(crop);
        work->icc = embeddedBytes(request.options);
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        result.refusal = tr("There is not enough memory to start the series.");
        return nullptr;
    }
    work->plan = request.plan;
    work->options = request.options;
    work->goal = seriesGoal(request.options);
    work->shard = request.shard;
    work->folder = result.folder;
    work->verify = request.manifest;
    work->count = result.total;
    work->writeFile = environment.writeFile ? environment.writeFile : writeAtomically;
    // Built here, once per process, so that a stop's grace for the writes in hand is not spent
    // on them.
    MeanLabAdjustment::prepareTables(request.options.encoding);
    return work;
}

// Starts the manifest with its header, the series' parameters and, where the files hold only
// part of the re-coloured pixels, the note that says so.
void openManifest(const SeriesRequest &request, const Work &work, ManifestFile &manifest,
                  SeriesResult &result) {
    result.manifestPath = QDir(result.folder)
                              .filePath(manifestFileName(request.plan.manifestBaseName(),
                                                         request.shard.index, request.shard.count));
    QStringList notes = manifestSeriesLines(
        {request.plan, request.options, request.corners, request.sourceName, request.image.size()});
    const Geometry &g = work.geometry;
    if (g.measuredInFile != cv::Rect(cv::Point(), g.saved.size()) ||
        g.measuredInFile.size() != g.recoloured.size())
        notes << manifestOverlapNote(g.measuredInFile);
    if (!manifest.open(result.manifestPath))
        result.manifestError = manifest.error();
    for (const QString &note : notes)
        if (manifest.isOpen() && !manifest.append(note))
            result.manifestError = manifest.error();
}

// The workers, as many as the crop wants or the environment says; none, with the refusal in
// `result`, when no thread could start.
std::vector<std::thread> startWorkers(const std::shared_ptr<Work> &work,
                                      const SeriesEnvironment &environment, SeriesResult &result) {
    const int threads =
        environment.threads > 0 ? environment.threads : workerCount(work->crop.size());
    std::vector<std::thread> workers;
    try {
        for (int i = 0; i < threads; ++i) {
            {
                const std::lock_guard lock(work->mutex);
                ++work->running;
            }
            workers.emplace_back(runWorker, work);
        }
    } catch (const std::system_error &) {
        const std::lock_guard lock(work->mutex);
        --work->running;
        if (workers.empty())
            result.refusal = tr("No thread could be started for the series.");
    }
    return workers;
}

// Takes the rows in series order as the workers finish them, reports progress and passes a stop
// on, until every worker has ended or, after a stop, the grace for writes in hand is over. True
// when writes were given up.
bool collectRows(Work &work, const std::atomic<bool> &stop,
                 const std::function<void(const SeriesProgress &)> &progress,
                 const SeriesEnvironment &environment, ManifestFile &manifest,
                 SeriesResult &result) {
    ResultCollector collector(result, manifest);
    std::chrono::steady_clock::time_point giveUpAt;
    std::chrono::steady_clock::time_point lastProgress;
    QString lastFile;
    // Kept apart rather than as an optional, which GCC takes for uninitialised.
    cv::Vec3d lastTarget;
    bool lastAdjusted = false;
    int finishedCount = 0;
    bool givenUp = false;
    for (;;) {
        std::vector<Slot> finished;
        bool ended = false;
        {
            std::unique_lock lock(work.mutex);
            work.changed.wait_for(lock, progressInterval);
            while (!work.pending.empty() && work.pending.begin()->second.finished) {
                finished.push_back(std::move(work.pending.begin()->second));
                work.pending.erase(work.pending.begin());
            }
            if (!finished.empty())
                work.handedOn = work.pending.empty() ? work.next : work.pending.begin()->first;
            if (stop.load() && !work.abandon) {
                work.abandon = true;
                result.stopped = true;
            }
            if (work.abandon && giveUpAt == std::chrono::steady_clock::time_point())
                giveUpAt = std::chrono::steady_clock::now() + environment.stopGrace;
            finishedCount = work.finishedCount;
            ended = work.running == 0;
            givenUp = !ended && work.abandon && std::chrono::steady_clock::now() >= giveUpAt;
            if (ended || givenUp) {
                // Rows in series order; a write still in hand is not confirmed.
                for (auto &[slot, state] : work.pending) {
                    if (!state.finished) {
                        state.row.failure = tr("not confirmed");
                        ++result.notConfirmed;
                        result.notConfirmedFiles << QDir(result.folder).filePath(state.row.file);
                    }
                    finished.push_back(std::move(state));
                }
                work.pending.clear();
                result.diskFull = work.diskFull;
                result.diskFullCause = work.diskFullCause;
            }
        }
        work.changed.notify_all();
        for (const Slot &slot : finished) {
            collector.add(slot);
            lastFile = slot.row.file;
            lastTarget = slot.target;
            lastAdjusted = slot.adjusted;
        }
        const auto now = std::chrono::steady_clock::now();
        if (progress && (ended || givenUp || now - lastProgress >= progressInterval)) {
            progress({std::max(finishedCount, result.processed), result.total, lastFile,
                      lastAdjusted ? std::optional(lastTarget) : std::nullopt});
            lastProgress = now;
            // A stop asked for in the callback reaches the workers before their next image.
            if (stop.load()) {
                const std::lock_guard lock(work.mutex);
                result.stopped = result.stopped || !work.abandon;
                work.abandon = true;
            }
        }
        if (ended || givenUp)
            break;
    }
    result.failed = result.processed - result.written - result.notConfirmed;
    return givenUp;
}

} // namespace

int SeriesShard::size(int seriesSize) const {
    if (!isValid() || seriesSize < index)
        return 0;
    return (seriesSize - index) / count + 1;
}

QString seriesRefusal(const cv::Mat &image, const Quad &corners) {
    if (image.empty())
        return tr("There is no image to re-colour.");
    if (!convertsToBgr8(image.type()))
        return tr("The image is of a type that cannot be re-coloured.");
    const cv::Rect recoloured = rectFromCorners013(corners);
    if (recoloured.empty() || !rectInside(recoloured, image.size()))
        return tr("The re-coloured rectangle, from corner 0 to the x of corner 3 and the y of "
                  "corner 1, is empty or does not lie inside the image.");
    const cv::Rect saved = rectFromCorners02(corners);
    if (saved.empty() || !rectInside(saved, image.size()))
        return tr("The rectangle from corner 0 to corner 2, which the files hold, is empty or "
                  "does not lie inside the image.");
    return {};
}

std::optional<std::int64_t> estimateSeriesBytes(const cv::Mat &image, const Quad &corners,
                                                SeriesFormat format, int count) {
    const cv::Rect saved = rectFromCorners02(corners);
    if (image.empty() || saved.empty() || !rectInside(saved, image.size()) ||
        !convertsToBgr8(image.type()))
        return std::nullopt;
    // A sample of the middle of a large rectangle, scaled by area: the panel asks at every
    // change of the corners.
    const cv::Size sampleSize(std::min(saved.width, maxSampleSide),
                              std::min(saved.height, maxSampleSide));
    const cv::Rect sample(saved.x + (saved.width - sampleSize.width) / 2,
                          saved.y + (saved.height - sampleSize.height) / 2, sampleSize.width,
                          sampleSize.height);
    try {
        std::vector<uchar> bytes;
        const cv::Mat pixels = isSixteenBitFormat(format) ? fileDepthPixels(image(sample), format)
                                                          : toBgr8(image(sample));
        if (!cv::imencode(encoderExtension(format), pixels, bytes))
            return std::nullopt;
        const double perFile = static_cast<double>(bytes.size()) * saved.area() / sample.area();
        return (static_cast<std::int64_t>(perFile) + manifestRowBytes) * count;
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return std::nullopt;
    }
}

SeriesResult runReferenceSeries(const SeriesRequest &request, const std::atomic<bool> &stop,
                                const std::function<void(const SeriesProgress &)> &progress,
                                const SeriesEnvironment &environment) {
    SeriesResult result;
    result.total = request.shard.size(request.plan.size());
    result.refusal = refusalBeforeStart(request);
    if (result.refusal.isEmpty())
        result.refusal = prepareFolder(request, environment, result.folder);
    if (!result.refusal.isEmpty())
        return result;
    const std::shared_ptr<Work> work = prepareWork(request, environment, result);
    if (!work)
        return result;
    ManifestFile manifest;
    if (request.manifest)
        openManifest(request, *work, manifest, result);
    std::vector<std::thread> workers = startWorkers(work, environment, result);
    if (workers.empty())
        return result;

    const bool givenUp = collectRows(*work, stop, progress, environment, manifest, result);
    if (manifest.isOpen() && !manifest.finish())
        result.manifestError = manifest.error();
    for (std::thread &worker : workers) {
        // A worker still writing holds the shared work and ends on its own.
        if (givenUp)
            worker.detach();
        else
            worker.join();
    }
    return result;
}
