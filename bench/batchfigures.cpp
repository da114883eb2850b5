// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "meanlabadjustment.h"
#include "measure.h"

#include <QDir>
#include <QProcess>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
