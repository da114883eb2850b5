// SPDX-License-Identifier: GPL-3.0-or-later
#include "labtestsupport.h"
#include "rgbgamut.h"
#include "seriesrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <condition_variable>
#include <map>
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

// The rows of a manifest's lines: neither the header nor the "#" lines after it.
QStringList dataRows(const QStringList &lines) {
    QStringList rows;
    for (const QString &line : lines.mid(1))
        if (!line.startsWith('#'))
            rows << line;
    return rows;
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

// How far an 8-bit Lab code moves through OpenCV's float conversion to linear BGR, which clips
// at 0 and 1, and back: far for a code outside the RGB cube, nothing for one inside.
double floatRoundTripError(const cv::Vec3b &code) {
    const cv::Mat lab(1, 1, CV_32FC3,
                      cv::Scalar(code[0] * 100.0 / 255.0, code[1] - 128.0, code[2] - 128.0));
    cv::Mat bgr;
    cv::Mat back;
    cv::cvtColor(lab, bgr, cv::COLOR_Lab2LBGR);
    cv::cvtColor(bgr, back, cv::COLOR_LBGR2Lab);
    return cv::norm(back.at<cv::Vec3f>(0, 0) - lab.at<cv::Vec3f>(0, 0));
}

// Share of pixels of `rect` in which f x code reached 256 for some channel (f = target / mean
// as a float, counted from the 8-bit Lab codes), or whose scaled code does not survive the
// float round trip through BGR.
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
            cv::Vec3b scaled;
            for (int c = 0; c < 3; ++c) {
                const double product =
                    static_cast<double>(static_cast<float>(targets[c] / mean[c])) * code[c];
                any = any || product >= 256;
                scaled[c] = static_cast<uchar>(std::min(255.0, std::trunc(product)));
            }
            clipped += any || floatRoundTripError(scaled) > 0.001;
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
    // Thirty colours, faded toward grey so that most targets need no clipping.
    cv::Mat source;
    cv::addWeighted(imageOfColours(40, 60, 30, 7), 0.3,
                    cv::Mat(40, 60, CV_8UC3, cv::Scalar::all(128)), 0.7, 0, source);
    // The files hold columns 10..49 and rows 5..34; the re-coloured rectangle ends at column 40.
    const Quad corners{cv::Point(10, 5), cv::Point(10, 35), cv::Point(50, 35), cv::Point(40, 5)};
    const cv::Rect recoloured(10, 5, 30, 30);
    SeriesRequest request =
        requestFor(source, corners, dir.path(), SeriesFormat::Png, {5, 120, 120});
    request.sourceName = "colours.tif";
    const SeriesResult result = run(request);
    ASSERT_TRUE(result.refusal.isEmpty()) << result.refusal.toStdString();
    ASSERT_EQ(result.total, 80);
    EXPECT_EQ(result.written, 80);
    EXPECT_EQ(result.manifestPath, dir.filePath("ref_img_grid_5_120_120.csv"));

    const QStringList lines = manifestLines(result.manifestPath);
    ASSERT_EQ(lines.size(), 1 + 8 + 1 + 80);
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines.mid(1, 8),
              (QStringList{"# series kind: grid", "# series steps: 5,120,120",
                           "# series format: png", "# series encoding: linear",
                           "# series precise: no", "# series corners: 10,5,10,35,50,35,40,5",
                           "# series source: colours.tif", "# series source size: 60x40"}));
    EXPECT_EQ(lines[9], "# measured over the overlap of the re-coloured and saved rectangles: "
                        "30x30 at 0,0 of each file");
    std::map<QString, int> statuses;
    for (int i = 0; i < 80; ++i) {
        SCOPED_TRACE(i);
        const QStringList fields = lines[10 + i].split(',');
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
        const double deltaE = cv::norm(target - expected);
        EXPECT_NEAR(fields[7].toDouble(), deltaE, 2e-3);
        EXPECT_NEAR(fields[8].toDouble(), lcmsDeltaE2000(target, expected), 2e-3);
        // Codes that lie on the edge of the RGB cube may be counted either way.
        const double clipped = clippedPercent(source, recoloured, reference.target);
        EXPECT_NEAR(fields[9].toDouble(), clipped, 0.5);
        // Honest: ok only within the default method's 4 ΔE76.
        const QString status =
            clipped > 1.0 ? "out_of_gamut" : (deltaE <= 4.0 ? "ok" : "off_target");
        EXPECT_EQ(fields[10], status);
        ++statuses[status];
    }
    // Among the rows, ref_img_0_-120_-120.png: black cannot hold a* and b* of -120.
    EXPECT_GT(statuses["ok"], 10);
    EXPECT_GT(statuses["out_of_gamut"], 10);
    EXPECT_EQ(result.outOfGamut, statuses["out_of_gamut"]);
    EXPECT_EQ(result.offTarget, statuses["off_target"]);
    EXPECT_EQ(static_cast<int>(result.points.size()), 80);

    // A delta series names its centre.
    request.plan = {SeriesPlan::Kind::Delta, {50, 0, -4}};
    request.options = {dir.path(), SeriesFormat::Jpeg, true, LabEncoding::Srgb};
    request.shard = {2, 500};
    request.sourceName.clear();
    const QStringList delta = manifestLines(run(request).manifestPath);
    ASSERT_GE(delta.size(), 9);
    EXPECT_EQ(delta.mid(1, 8),
              (QStringList{"# series kind: delta", "# series centre: 50,0,-4",
                           "# series format: jpg", "# series encoding: srgb",
                           "# series precise: yes", "# series corners: 10,5,10,35,50,35,40,5",
                           "# series source: ", "# series source size: 60x40"}));
}

TEST(SeriesRun, StatusSaysWhetherTheFileHoldsItsName) {
    struct Case {
        std::optional<cv::Vec3d> measured;
        double clipped;
        double goal;
        QString failure;
        const char *status;
    };
    const cv::Vec3d off3(53, 0, 0);
    const cv::Vec3d off5(50, 3, 4);
    for (const Case &c :
         {Case{off3, 0, 4.0, {}, "ok"}, Case{off5, 0, 4.0, {}, "off_target"},
          Case{off3, 0, 0.5, {}, "off_target"}, Case{off3, 1.0, 4.0, {}, "ok"},
          Case{off3, 1.01, 4.0, {}, "out_of_gamut"}, Case{{}, 0, 4.0, {}, "off_target"},
          Case{off3, 0, 4.0, "disk", "failed: disk"}}) {
        ManifestRow row;
        row.target = {50, 0, 0};
        row.measured = c.measured;
        row.clippedPercent = c.clipped;
        row.goal = c.goal;
        row.failure = c.failure;
        EXPECT_EQ(manifestStatus(row), c.status) << c.goal << ' ' << c.clipped;
    }
    // The goals of the modes.
    EXPECT_EQ(seriesGoal({{}, SeriesFormat::Png, true, {}}), 0.5);
    EXPECT_EQ(seriesGoal({{}, SeriesFormat::Tiff, true, {}}), 0.5);
    EXPECT_EQ(seriesGoal({{}, SeriesFormat::Jpeg, true, {}}), 1.0);
    EXPECT_EQ(seriesGoal({{}, SeriesFormat::Png, false, {}}), 4.0);
}

// Every code the RGB cube cannot hold is told apart from those it holds, as OpenCV's own float
// conversion to linear BGR (which clips) shows by the round trip: a code outside moves, a code
// inside stays. The sRGB encoding shares the cube.
TEST(SeriesRun, CodesOutsideTheRgbCubeAgreeWithTheFloatRoundTrip) {
    EXPECT_EQ(&RgbGamut::of(LabEncoding::Linear), &RgbGamut::of(LabEncoding::Srgb));
    const RgbGamut &gamut = RgbGamut::of(LabEncoding::Linear);
    std::vector<cv::Vec3b> codes;
    for (int l = 0; l < 256; l += 5)
        for (int a = 0; a < 256; a += 5)
            for (int b = 0; b < 256; b += 5)
                codes.emplace_back(l, a, b);
    cv::Mat lab(1, static_cast<int>(codes.size()), CV_32FC3);
    for (std::size_t i = 0; i < codes.size(); ++i)
        lab.at<cv::Vec3f>(0, static_cast<int>(i)) =
            cv::Vec3f(codes[i][0] * 100.0f / 255.0f, codes[i][1] - 128.0f, codes[i][2] - 128.0f);
    cv::Mat bgr;
    cv::Mat back;
    cv::cvtColor(lab, bgr, cv::COLOR_Lab2LBGR);
    cv::cvtColor(bgr, back, cv::COLOR_LBGR2Lab);
    int outside = 0;
    int inside = 0;
    int insideFlagged = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int at = static_cast<int>(i);
        const double moved = cv::norm(back.at<cv::Vec3f>(0, at) - lab.at<cv::Vec3f>(0, at));
        const bool flagged = gamut.outside(codes[i][0], codes[i][1], codes[i][2]);
        if (moved > 0.5) {
            EXPECT_TRUE(flagged) << cv::Vec3i(codes[i]);
            ++outside;
        } else if (moved < 0.001) {
            ++inside;
            insideFlagged += flagged;
        }
    }
    // Few codes lie on the edge, where either answer is right: OpenCV computes in single
    // precision, so a code a hair outside may come back unmoved.
    EXPECT_LT(insideFlagged, inside / 1000);
    EXPECT_GT(outside + inside, static_cast<int>(codes.size() * 0.97));
    EXPECT_GT(inside, 10000);
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
    const QStringList rows = dataRows(manifestLines(result.manifestPath));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[1].startsWith("ref_img_0_110_-120.png,"));
    EXPECT_TRUE(rows[1].endsWith(",out_of_gamut")) << rows[1].toStdString();
    EXPECT_GT(rows[1].split(',')[9].toDouble(), 1.0);
    // L* 0 with a* and b* of -120 lies outside the RGB cube: every pixel clips on the way back.
    EXPECT_TRUE(rows[0].endsWith(",out_of_gamut")) << rows[0].toStdString();
    EXPECT_EQ(rows[0].split(',')[9], "100.00");
    EXPECT_EQ(result.outOfGamut, 2);
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
    EXPECT_EQ(lines[0], header);
    const QStringList rows = dataRows(lines);
    ASSERT_EQ(rows.size(), result.processed);
    for (int i = 0; i < result.processed; ++i) {
        const QString name = seriesFileName(request.plan.image(i), SeriesFormat::Png);
        EXPECT_TRUE(rows[i].startsWith(name + ',')) << i;
        EXPECT_FALSE(rows[i].contains(",failed")) << i;
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
    const QStringList rows = dataRows(manifestLines(result.manifestPath));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[1].startsWith("ref_img_0_-120_-110.png,0,-120,-110,"));
    EXPECT_TRUE(rows[1].endsWith(",failed: not confirmed")) << rows[1].toStdString();
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
    const QStringList rows = dataRows(manifestLines(result.manifestPath));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_TRUE(rows[2].endsWith(",failed: There is no space left.")) << rows[2].toStdString();
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
    const QStringList allRows = dataRows(manifestLines(all.manifestPath));

    request.options.folder = sharded.path();
    QStringList shardRows;
    for (int k = 1; k <= 3; ++k) {
        request.shard = {k, 3};
        const SeriesResult part = run(request);
        EXPECT_EQ(part.manifestPath,
                  sharded.filePath(QString("ref_img_grid_50_120_120.shard-%1-of-3.csv").arg(k)));
        const QStringList rows = dataRows(manifestLines(part.manifestPath));
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
