// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "meanlabadjustment.h"
#include "measure.h"
#include "referenceseries.h"
#include "seriesmanifest.h"
#include "shardmerge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <vector>

namespace {

// The grid with steps 10, 24, 24: 10 x 10 x 10 images.
constexpr int seriesSize = 1000;
const cv::Size patch(1000, 1000);

struct BatchSeries {
    QString photo;
    QString corners;
    QString out;
};

// The photograph as a file, and the 1000 x 1000 rectangle in its middle as corners.
BatchSeries prepareSeries(const cv::Mat &photo, const QString &folder) {
    BatchSeries series;
    series.photo = QDir(folder).filePath(QStringLiteral("batch-photo.bmp"));
    if (!cv::imwrite(series.photo.toStdString(), photo))
        throw BenchFailure("the photograph could not be written for vexmira-batch");
    const cv::Point topLeft((photo.cols - patch.width) / 2, (photo.rows - patch.height) / 2);
    const cv::Point bottomRight = topLeft + cv::Point(patch.width, patch.height);
    series.corners = QStringLiteral("%1,%2,%1,%3,%4,%3,%4,%2")
                         .arg(topLeft.x)
                         .arg(topLeft.y)
                         .arg(bottomRight.y)
                         .arg(bottomRight.x);
    series.out = QDir(folder).filePath(QStringLiteral("batch-series"));
    return series;
}

// Runs the whole process for the grid series, or one shard of it; throws unless it wrote every
// image it had to.
void runSeries(const BatchSeries &series, const QString &shard = QString()) {
    QStringList arguments{QStringLiteral("series"),
                          QStringLiteral("grid"),
                          series.photo,
                          QStringLiteral("--steps"),
                          QStringLiteral("10,24,24"),
                          QStringLiteral("--corners"),
                          series.corners,
                          QStringLiteral("--out"),
                          series.out,
                          QStringLiteral("--quiet")};
    if (!shard.isEmpty())
        arguments << QStringLiteral("--shard") << shard;
    QProcess batch;
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    batch.start(QStringLiteral(VEXMIRA_BATCH), arguments);
    if (!batch.waitForFinished(-1) || batch.exitStatus() != QProcess::NormalExit ||
        batch.exitCode() != 0)
        throw BenchFailure("vexmira-batch series did not write its images");
}

void clearOutput(const BatchSeries &series) {
    QDir(series.out).removeRecursively();
}

} // namespace

double batchSeriesVsFloor(const cv::Mat &photo, const QString &folder) {
    const BatchSeries series = prepareSeries(photo, folder);
    // What a file holds: the rectangle re-coloured to a mid grey.
    MeanLabAdjustment adjustment;
    const cv::Rect rect((photo.cols - patch.width) / 2, (photo.rows - patch.height) / 2,
                        patch.width, patch.height);
    if (!adjustment.bind(photo(rect)) ||
        !adjustment.adjust(cv::Rect(cv::Point(), patch), labCodes({50, 0, 0})))
        throw BenchFailure("the rectangle could not be re-coloured");
    const cv::Mat recoloured = adjustment.workImage();

    // The unavoidable work, one file after the other on one thread: encode, decode, float Lab
    // mean.
    const Timed floor{[&] {
        const int threads = cv::getNumThreads();
        cv::setNumThreads(1);
        std::vector<uchar> bytes;
        cv::Mat scaled;
        cv::Mat lab;
        for (int i = 0; i < seriesSize; ++i) {
            cv::imencode(".jpg", recoloured, bytes);
            cv::imdecode(bytes, cv::IMREAD_UNCHANGED).convertTo(scaled, CV_32F, 1.0 / 255);
            cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
            if (cv::mean(lab)[0] < 0)
                throw BenchFailure("negative lightness");
        }
        cv::setNumThreads(threads);
    }};
    const Timed batch{[&] { runSeries(series); }, [&] { clearOutput(series); }};
    const double ratio = medianRatio(floor, batch, 3);
    clearOutput(series);
    return ratio;
}

double shardOverhead(const cv::Mat &photo, const QString &folder) {
    const BatchSeries series = prepareSeries(photo, folder);
    const Timed twoShards{[&] {
                              runSeries(series, QStringLiteral("1/2"));
                              runSeries(series, QStringLiteral("2/2"));
                          },
                          [&] { clearOutput(series); }};
    const Timed whole{[&] { runSeries(series); }, [&] { clearOutput(series); }};
    const double ratio = medianRatio(twoShards, whole, 3);
    clearOutput(series);
    return ratio;
}

namespace {

// The grid series with these steps as eight shard manifests, as eight runs would write them.
void writeShardManifests(const QString &folder, const LabValue &steps) {
    constexpr int shardCount = 8;
    const int size = gridSeriesSize(steps);
    const QString series =
        QStringLiteral("ref_img_grid_%1_%2_%3").arg(steps.l).arg(steps.a).arg(steps.b);
    const QByteArray head =
        manifestHeader().toUtf8() + "\n# series kind: grid\n# series steps: " +
        QStringLiteral("%1,%2,%3\n").arg(steps.l).arg(steps.a).arg(steps.b).toUtf8() +
        "# series format: jpg\n# series encoding: linear\n";
    for (int k = 1; k <= shardCount; ++k) {
        QFile file(QDir(folder).filePath(
            QStringLiteral("%1.shard-%2-of-%3.csv").arg(series).arg(k).arg(shardCount)));
        if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size())
            throw BenchFailure("the shard manifests could not be written");
        for (int index = k - 1; index < size; index += shardCount) {
            const QByteArray row =
                QFileInfo(gridSeriesImage(steps, index).fileName).fileName().toUtf8() +
                ",50,0,0,50.100,0.200,-0.100,0.245,0.300,0.00,ok\n";
            if (file.write(row) != row.size())
                throw BenchFailure("the shard manifests could not be written");
        }
    }
}

// A size line of /proc/self/status ("VmRSS:", "VmHWM:") in MB.
double statusMegabytes(const char *field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        throw BenchFailure("/proc/self/status cannot be read");
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toDouble() /
                   1024.0;
    throw BenchFailure("/proc/self/status has no such line");
}

} // namespace

double mergeGrowthMegabytes(const QString &folder, const LabValue &steps) {
    const QString shards = QDir(folder).filePath(QStringLiteral("merge-shards"));
    QDir(shards).removeRecursively();
    if (!QDir().mkpath(shards))
        throw BenchFailure("no folder for the shard manifests");
    writeShardManifests(shards, steps);
    // The high-water mark starts again from what is resident now.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        throw BenchFailure("the peak resident size cannot be reset");
    clear.close();
    const double before = statusMegabytes("VmRSS:");
    const std::vector<SeriesMerge> merges = mergeShardManifests(shards);
    const double peak = statusMegabytes("VmHWM:");
    QDir(shards).removeRecursively();
    if (merges.size() != 1 || !merges[0].succeeded() || merges[0].rows != gridSeriesSize(steps))
        throw BenchFailure("the shard manifests were not merged");
    return peak - before;
}
