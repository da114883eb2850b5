// SPDX-License-Identifier: GPL-3.0-or-later
#include "labtestsupport.h"
#include "seriesrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// Corners whose re-coloured and saved rectangles are the same.
Quad cornersOf(const cv::Rect &rect) {
    return {rect.tl(), cv::Point(rect.x, rect.br().y), rect.br(), cv::Point(rect.br().x, rect.y)};
}

SeriesRequest requestFor(const cv::Mat &image, const Quad &corners, const QString &folder,
                         SeriesFormat format, const LabValue &steps) {
    SeriesRequest request;
    request.image = image;
    request.corners = corners;
    request.plan = {SeriesPlan::Kind::Grid, steps};
    request.options.folder = folder;
    request.options.format = format;
    return request;
}

SeriesResult run(const SeriesRequest &request, const SeriesEnvironment &environment = {}) {
    const std::atomic<bool> noStop{false};
    return runReferenceSeries(request, noStop, {}, environment);
}

QStringList manifestLines(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    EXPECT_EQ(lines.takeLast(), QString()) << "the last line ends";
    return lines;
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString header = "file,target_L,target_a,target_b,measured_L,measured_a,measured_b,dE76,"
                       "dE2000,clipped_percent,status";

// Mean float L*a*b* of a part of a decoded file, the plain way.
cv::Vec3d floatLabMean(const cv::Mat &bgr8) {
    cv::Mat scaled;
    bgr8.convertTo(scaled, CV_32F, 1.0 / 255.0);
    cv::Mat lab;
    cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
    const cv::Scalar mean = cv::mean(lab);
    return {mean[0], mean[1], mean[2]};
}

// Share of pixels of `rect` in which f x code reached 256 for some channel, f = target / mean
// as a float, counted from the 8-bit Lab codes.
double clippedPercent(const cv::Mat &source, const cv::Rect &rect, const LabCodes &target) {
    cv::Mat lab;
    cv::cvtColor(source(rect), lab, cv::COLOR_LBGR2Lab);
    const cv::Scalar mean = cv::mean(lab);
    const int targets[3] = {target.l, target.a, target.b};
    int clipped = 0;
    for (int row = 0; row < lab.rows; ++row)
        for (int col = 0; col < lab.cols; ++col) {
            const cv::Vec3b code = lab.at<cv::Vec3b>(row, col);
            bool any = false;
            for (int c = 0; c < 3; ++c)
                any =
                    any ||
                    static_cast<double>(static_cast<float>(targets[c] / mean[c])) * code[c] >= 256;
            clipped += any;
        }
    return 100.0 * clipped / rect.area();
}

double lcmsDeltaE2000(const cv::Vec3d &x, const cv::Vec3d &y) {
    const cmsCIELab a{x[0], x[1], x[2]};
    const cmsCIELab b{y[0], y[1], y[2]};
    return cmsCIE2000DeltaE(&a, &b, 1, 1, 1);
}

} // namespace

TEST(SeriesRun, NamesOfFilesManifestsAndShards) {
    const SeriesPlan grid{SeriesPlan::Kind::Grid, {10, 24, 24}};
    const SeriesPlan delta{SeriesPlan::Kind::Delta, {50, -3, 7}};
    EXPECT_EQ(grid.manifestBaseName(), "ref_img_grid_10_24_24");
    EXPECT_EQ(delta.manifestBaseName(), "ref_img_(50_-3_7)");
    EXPECT_EQ(manifestFileName(grid.manifestBaseName(), 1, 1), "ref_img_grid_10_24_24.csv");
    EXPECT_EQ(manifestFileName(delta.manifestBaseName(), 2, 8),
              "ref_img_(50_-3_7).shard-2-of-8.csv");
    EXPECT_EQ(seriesFileName(grid.image(0), SeriesFormat::Jpeg), "ref_img_0_-120_-120.jpg");
    EXPECT_EQ(seriesFileName(delta.image(0), SeriesFormat::Png), "ref_img_(50_-3_7)_34_-19_-9.png");
    EXPECT_EQ(seriesFileName(grid.image(1), SeriesFormat::Tiff), "ref_img_0_-120_-96.tif");
    EXPECT_EQ(seriesFormatFromKey("tiff"), SeriesFormat::Tiff);
    EXPECT_FALSE(seriesFormatFromKey("gif"));

    // 10 images in 3 shards: indices 0 3 6 9, 1 4 7, 2 5 8.
    EXPECT_EQ((SeriesShard{1, 3}.size(10)), 4);
    EXPECT_EQ((SeriesShard{2, 3}.size(10)), 3);
    EXPECT_EQ((SeriesShard{3, 3}.size(10)), 3);
    EXPECT_EQ((SeriesShard{5, 8}.size(4)), 0);
    EXPECT_FALSE((SeriesShard{0, 3}.isValid()));
    EXPECT_FALSE((SeriesShard{4, 3}.isValid()));
}

TEST(SeriesRun, ManifestRowsMatchAnIndependentMeasurementOfTheFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat source = imageOfColours(40, 60, 30, 7);
    // The files hold columns 10..49 and rows 5..34; the re-coloured rectangle ends at column 40.
    const Quad corners{cv::Point(10, 5), cv::Point(10, 35), cv::Point(50, 35), cv::Point(40, 5)};
    const cv::Rect recoloured(10, 5, 30, 30);
    const SeriesRequest request =
        requestFor(source, corners, dir.path(), SeriesFormat::Png, {50, 230, 230});
    const SeriesResult result = run(request);
    ASSERT_TRUE(result.refusal.isEmpty()) << result.refusal.toStdString();
    ASSERT_EQ(result.total, 8);
    EXPECT_EQ(result.written, 8);
    EXPECT_EQ(result.manifestPath, dir.filePath("ref_img_grid_50_230_230.csv"));

    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 2 + 8);
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines[1], "# measured over the overlap of the re-coloured and saved rectangles: "
                        "30x30 at 0,0 of each file");
    int outOfGamut = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const QStringList fields = lines[2 + i].split(',');
        ASSERT_EQ(fields.size(), 11);
        const ReferenceImage reference = request.plan.image(i);
        EXPECT_EQ(fields[0], seriesFileName(reference, SeriesFormat::Png));
        EXPECT_EQ(fields[1].toInt(), reference.value.l);
        EXPECT_EQ(fields[2].toInt(), reference.value.a);
        EXPECT_EQ(fields[3].toInt(), reference.value.b);

        const cv::Mat file =
            cv::imread(dir.filePath(fields[0]).toStdString(), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(file.size(), cv::Size(40, 30));
        const cv::Vec3d expected = floatLabMean(file(cv::Rect(0, 0, 30, 30)));
        const cv::Vec3d measured(fields[4].toDouble(), fields[5].toDouble(), fields[6].toDouble());
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(measured[c], expected[c], 6e-4) << c;
        const cv::Vec3d target(reference.value.l, reference.value.a, reference.value.b);
        EXPECT_NEAR(fields[7].toDouble(), cv::norm(target - expected), 2e-3);
        EXPECT_NEAR(fields[8].toDouble(), lcmsDeltaE2000(target, expected), 2e-3);
        const double clipped = clippedPercent(source, recoloured, reference.target);
        EXPECT_NEAR(fields[9].toDouble(), clipped, 6e-3);
        EXPECT_EQ(fields[10], clipped > 1.0 ? "out_of_gamut" : "ok");
        outOfGamut += clipped > 1.0;
    }
    EXPECT_EQ(result.outOfGamut, outOfGamut);
    EXPECT_EQ(static_cast<int>(result.points.size()), 8);
}

TEST(SeriesRun, TargetThatMustClipIsOutOfGamut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Noise has a* codes spread around 128: a* 110 (code 238) needs a factor of almost two, so
    // the codes well above the mean saturate.
    const cv::Mat source = noisyImage(16, 16, 3);
    const SeriesResult result = run(requestFor(source, cornersOf({0, 0, 16, 16}), dir.path(),
                                               SeriesFormat::Png, {100, 230, 240}));
    ASSERT_EQ(result.total, 2);
    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].endsWith(",ok")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("ref_img_0_110_-120.png,"));
    EXPECT_TRUE(lines[2].endsWith(",out_of_gamut")) << lines[2].toStdString();
    EXPECT_GT(lines[2].split(',')[9].toDouble(), 1.0);
    EXPECT_EQ(result.outOfGamut, 1);
}

TEST(SeriesRun, DefaultFilesAreTheDescribedArithmeticByteForByte) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat source = noisyImage(48, 64, 11);
    const Quad corners{cv::Point(8, 6), cv::Point(8, 40), cv::Point(56, 40), cv::Point(56, 6)};
    const LabValue steps{50, 120, 120};
    for (const bool manifest : {true, false}) {
        SCOPED_TRACE(manifest);
        SeriesRequest request = requestFor(source, corners, dir.path(), SeriesFormat::Jpeg, steps);
        request.manifest = manifest;
        const SeriesResult result = run(request);
        ASSERT_EQ(result.written, 8);
        EXPECT_EQ(QFile::exists(dir.filePath("ref_img_grid_50_120_120.csv")), manifest);
        for (int i = 0; i < 8; ++i) {
            const ReferenceImage reference = request.plan.image(i);
            const cv::Mat adjusted =
                straightforwardAdjust(source, rectFromCorners013(corners), reference.target);
            std::vector<uchar> expected;
            ASSERT_TRUE(cv::imencode(".jpg", adjusted(rectFromCorners02(corners)), expected));
            const QByteArray written =
                fileBytes(dir.filePath(seriesFileName(reference, SeriesFormat::Jpeg)));
            EXPECT_EQ(written, QByteArray(reinterpret_cast<const char *>(expected.data()),
                                          static_cast<int>(expected.size())))
                << i;
        }
        QFile::remove(dir.filePath("ref_img_grid_50_120_120.csv"));
    }
}

TEST(SeriesRun, SrgbSeriesRecoloursThroughTheSrgbPair) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat source = noisyImage(40, 50, 12);
    const Quad corners{cv::Point(5, 4), cv::Point(5, 30), cv::Point(44, 33), cv::Point(40, 4)};
    SeriesRequest request =
        requestFor(source, corners, dir.path(), SeriesFormat::Png, {50, 120, 120});
    request.options.encoding = LabEncoding::Srgb;
    const SeriesResult result = run(request);
    ASSERT_EQ(result.written, 8);
    for (int i = 0; i < 8; ++i) {
        const ReferenceImage reference = request.plan.image(i);
        const cv::Mat adjusted = straightforwardAdjust(source, rectFromCorners013(corners),
                                                       reference.target, LabEncoding::Srgb);
        const cv::Mat written =
            cv::imread(dir.filePath(seriesFileName(reference, SeriesFormat::Png)).toStdString(),
                       cv::IMREAD_UNCHANGED);
        EXPECT_TRUE(identical(written, adjusted(rectFromCorners02(corners)))) << i;
        EXPECT_FALSE(
            identical(written, straightforwardAdjust(source, rectFromCorners013(corners),
                                                     reference.target)(rectFromCorners02(corners))))
            << i;
    }
}

TEST(SeriesRun, StoppedSeriesLeavesAValidManifest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat source = noisyImage(24, 24, 5);
    const SeriesRequest request =
        requestFor(source, cornersOf({4, 4, 16, 16}), dir.path(), SeriesFormat::Png, {10, 10, 10});
    std::atomic<bool> stop{false};
    const SeriesResult result = runReferenceSeries(request, stop, [&](const SeriesProgress &p) {
        if (p.done >= 3)
            stop = true;
    });
    EXPECT_TRUE(result.stopped);
    EXPECT_GE(result.processed, 3);
    EXPECT_LT(result.processed, result.total);
    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 1 + result.processed);
    EXPECT_EQ(lines[0], header);
    for (int i = 0; i < result.processed; ++i) {
        const QString name = seriesFileName(request.plan.image(i), SeriesFormat::Png);
        EXPECT_TRUE(lines[1 + i].startsWith(name + ',')) << i;
        EXPECT_TRUE(lines[1 + i].endsWith(",ok") || lines[1 + i].endsWith(",out_of_gamut"));
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << i;
    }
    EXPECT_EQ(QDir(dir.path()).entryList({"*.png"}).size(), result.processed);
}

TEST(SeriesRun, StopGivesUpAWriteThatHangs) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The second file's write blocks until the test lets it go, after the series has ended.
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<bool> entered{false};
    };
    const auto gate = std::make_shared<Gate>();
    SeriesEnvironment environment;
    environment.threads = 1;
    environment.stopGrace = std::chrono::milliseconds(50);
    environment.writeFile = [gate](const QString &path, const std::vector<uchar> &bytes) {
        if (path.endsWith("ref_img_0_-120_-110.png")) {
            gate->entered = true;
            std::unique_lock lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        return writeFileAtomically(path, reinterpret_cast<const char *>(bytes.data()),
                                   bytes.size());
    };
    const SeriesRequest request = requestFor(noisyImage(8, 8, 2), cornersOf({0, 0, 8, 8}),
                                             dir.path(), SeriesFormat::Png, {10, 10, 10});
    std::atomic<bool> stop{false};
    const SeriesResult result = runReferenceSeries(
        request, stop, [&](const SeriesProgress &) { stop = stop || gate->entered; }, environment);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(result.notConfirmed, 1);
    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].startsWith("ref_img_0_-120_-110.png,0,-120,-110,"));
    EXPECT_TRUE(lines[2].endsWith(",failed: not confirmed")) << lines[2].toStdString();
    {
        const std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
}

TEST(SeriesRun, RefusalsBeforeTheFirstFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const cv::Mat source = noisyImage(20, 20, 1);
    const auto refusal = [&](SeriesRequest request, const SeriesEnvironment &environment = {}) {
        const SeriesResult result = run(request, environment);
        EXPECT_EQ(result.written + result.failed, 0);
        return result.refusal;
    };
    const SeriesRequest good = requestFor(source, cornersOf({2, 2, 10, 10}), dir.path(),
                                          SeriesFormat::Jpeg, {50, 120, 120});

    SeriesEnvironment tight;
    tight.freeBytes = [](const QString &) { return std::optional<std::int64_t>(1000); };
    const QString space = refusal(good, tight);
    EXPECT_TRUE(space.contains("1000 bytes")) << space.toStdString();
    EXPECT_TRUE(space.contains(QDir::toNativeSeparators(dir.path())));
    SeriesEnvironment roomy;
    roomy.freeBytes = [](const QString &) { return std::optional<std::int64_t>(1 << 30); };
    EXPECT_TRUE(run(good, roomy).refusal.isEmpty());

    SeriesRequest emptyRecoloured = good;
    emptyRecoloured.corners[3].x = emptyRecoloured.corners[0].x;
    EXPECT_TRUE(refusal(emptyRecoloured).contains("re-coloured rectangle"));
    SeriesRequest emptySaved = good;
    emptySaved.corners[2].y = emptySaved.corners[0].y;
    EXPECT_TRUE(refusal(emptySaved).contains("corner 0 to corner 2"));
    SeriesRequest badShard = good;
    badShard.shard = {3, 2};
    EXPECT_TRUE(refusal(badShard).contains("Shard 3 of 2"));
    SeriesRequest badSteps = good;
    badSteps.plan.parameters = {0, 10, 10};
    EXPECT_EQ(refusal(badSteps), "The L step must be positive.");
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    SeriesRequest unmakeable = good;
    unmakeable.options.folder = dir.filePath("file/sub");
    EXPECT_TRUE(refusal(unmakeable).contains("cannot be made"));
    // Nothing but the blocker was written.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 8 + 1 + 1);
}

TEST(SeriesRun, FullDiskEndsTheSeriesAtOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int calls = 0;
    SeriesEnvironment environment;
    environment.threads = 1;
    environment.writeFile = [&](const QString &path, const std::vector<uchar> &bytes) {
        if (++calls == 3)
            return FileWriteResult{FileWriteOutcome::DiskFull, "There is no space left."};
        return writeFileAtomically(path, reinterpret_cast<const char *>(bytes.data()),
                                   bytes.size());
    };
    const SeriesResult result = run(requestFor(noisyImage(8, 8, 4), cornersOf({0, 0, 8, 8}),
                                               dir.path(), SeriesFormat::Png, {10, 10, 10}),
                                    environment);
    EXPECT_TRUE(result.diskFull);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.firstFailure, "There is no space left.");
    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[3].endsWith(",failed: There is no space left.")) << lines[3].toStdString();
}

TEST(SeriesRun, ShardsTogetherWriteTheWholeSeries) {
    QTemporaryDir whole;
    QTemporaryDir sharded;
    ASSERT_TRUE(whole.isValid() && sharded.isValid());
    const cv::Mat source = imageOfColours(20, 20, 12, 9);
    SeriesRequest request = requestFor(source, cornersOf({3, 3, 12, 12}), whole.path(),
                                       SeriesFormat::Png, {50, 120, 120});
    const SeriesResult all = run(request);
    ASSERT_EQ(all.written, 8);
    const QStringList allRows = manifestLines(all.manifestPath).mid(1);

    request.options.folder = sharded.path();
    QStringList shardRows;
    for (int k = 1; k <= 3; ++k) {
        request.shard = {k, 3};
        const SeriesResult part = run(request);
        EXPECT_EQ(part.manifestPath,
                  sharded.filePath(QString("ref_img_grid_50_120_120.shard-%1-of-3.csv").arg(k)));
        const QStringList rows = manifestLines(part.manifestPath).mid(1);
        ASSERT_EQ(rows.size(), part.total);
        for (int j = 0; j < rows.size(); ++j)
            EXPECT_EQ(rows[j], allRows[k - 1 + 3 * j]);
        shardRows += rows;
    }
    EXPECT_EQ(shardRows.size(), allRows.size());
    for (const QString &name : QDir(whole.path()).entryList({"*.png"}))
        EXPECT_EQ(fileBytes(whole.filePath(name)), fileBytes(sharded.filePath(name)))
            << name.toStdString();
}

TEST(SeriesRun, ManifestThatCannotBeWrittenDoesNotStopTheImages) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("ref_img_grid_50_120_120.csv"));
    const SeriesResult result = run(requestFor(noisyImage(8, 8, 6), cornersOf({0, 0, 8, 8}),
                                               dir.path(), SeriesFormat::Png, {50, 120, 120}));
    EXPECT_EQ(result.written, 8);
    EXPECT_FALSE(result.manifestError.isEmpty());
}
