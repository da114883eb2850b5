// SPDX-License-Identifier: GPL-3.0-or-later
#include "demophoto.h"
#include "meanlabadjustment.h"
#include "seriesrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

// An 80 x 40 rectangle in the middle of the demo photograph's grey card.
Quad greyCardCorners(const DemoPhoto &photo) {
    const std::vector<cv::Point> card(photo.greyCard.begin(), photo.greyCard.end());
    const cv::Rect bounds = cv::boundingRect(card);
    const cv::Point centre = (bounds.tl() + bounds.br()) / 2;
    const cv::Rect patch(centre.x - 40, centre.y - 20, 80, 40);
    return {patch.tl(), cv::Point(patch.x, patch.br().y), patch.br(),
            cv::Point(patch.br().x, patch.y)};
}

// Whether the value's linear BGR lies well inside 0..1, so that the card's texture around it
// needs no clipping.
bool inGamut(const cv::Vec3d &lab) {
    const cv::Mat value(1, 1, CV_32FC3, cv::Scalar(lab[0], lab[1], lab[2]));
    cv::Mat bgr;
    cv::cvtColor(value, bgr, cv::COLOR_Lab2LBGR);
    const cv::Vec3f pixel = bgr.at<cv::Vec3f>(0, 0);
    for (int c = 0; c < 3; ++c)
        if (pixel[c] < 0.05f || pixel[c] > 0.95f)
            return false;
    return true;
}

struct Figures {
    int files = 0;
    double mean = 0;
    double max = 0;
};

// Decodes every in-gamut file of the series and measures its float Lab mean the plain way.
Figures measureFiles(const QString &folder, const SeriesPlan &plan, SeriesFormat format) {
    Figures figures;
    for (int i = 0; i < plan.size(); ++i) {
        const ReferenceImage reference = plan.image(i);
        const cv::Vec3d name(reference.value.l, reference.value.a, reference.value.b);
        if (!inGamut(name))
            continue;
        const cv::Mat file =
            cv::imread(QDir(folder).filePath(seriesFileName(reference, format)).toStdString(),
                       cv::IMREAD_UNCHANGED);
        EXPECT_FALSE(file.empty()) << i;
        if (file.empty())
            continue;
        cv::Mat scaled;
        file.convertTo(scaled, CV_32F, 1.0 / 255.0);
        cv::Mat lab;
        cv::cvtColor(scaled, lab, cv::COLOR_LBGR2Lab);
        const cv::Scalar mean = cv::mean(lab);
        const double deltaE = cv::norm(cv::Vec3d(mean[0], mean[1], mean[2]) - name);
        figures.mean += deltaE;
        figures.max = std::max(figures.max, deltaE);
        ++figures.files;
    }
    if (figures.files > 0)
        figures.mean /= figures.files;
    return figures;
}

} // namespace

TEST(PreciseSeries, FilesHoldTheirNamesOnTheDemoGreyCard) {
    const DemoPhoto photo = renderDemoPhoto();
    const SeriesPlan plan{SeriesPlan::Kind::Grid, {20, 30, 30}};
    struct Goal {
        SeriesFormat format;
        double mean;
        double max;
    };
    for (const Goal goal :
         {Goal{SeriesFormat::Png, 0.2, 0.5}, Goal{SeriesFormat::Jpeg, 0.4, 1.0}}) {
        SCOPED_TRACE(seriesFormatName(goal.format).toStdString());
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        SeriesRequest request;
        request.image = photo.image;
        request.corners = greyCardCorners(photo);
        request.plan = plan;
        request.options = {dir.path(), goal.format, true, LabEncoding::Linear};
        const std::atomic<bool> noStop{false};
        const SeriesResult precise = runReferenceSeries(request, noStop, {});
        ASSERT_EQ(precise.written, plan.size());

        const Figures figures = measureFiles(dir.path(), plan, goal.format);
        ASSERT_GT(figures.files, 20);
        std::printf("precise %s: %d in-gamut files, mean dE76 %.3f, max %.3f\n",
                    qPrintable(seriesFormatName(goal.format)), figures.files, figures.mean,
                    figures.max);
        EXPECT_LE(figures.mean, goal.mean);
        EXPECT_LE(figures.max, goal.max);

        // The default mode on the same files is far from its names: the goals test something.
        request.options.precise = false;
        const SeriesResult plain = runReferenceSeries(request, noStop, {});
        ASSERT_EQ(plain.written, plan.size());
        const Figures before = measureFiles(dir.path(), plan, goal.format);
        std::printf("default %s: mean dE76 %.3f, max %.3f\n",
                    qPrintable(seriesFormatName(goal.format)), before.mean, before.max);
        EXPECT_GT(before.mean, goal.mean);
    }
}

// A rectangle over four patches of the demo chart and the gaps between them, in sRGB: where no
// pixel clips, every precise file reaches its name within the goal of its format, and each
// row's status says what an independent measurement of the file finds.
TEST(PreciseSeries, ReachesEveryUnclippedTargetOnSeveralChartColours) {
    const DemoPhoto photo = renderDemoPhoto();
    const cv::Point from = photo.patchCentres[0];
    const cv::Point to = photo.patchCentres[chartColumns + 1];
    const Quad corners{from, cv::Point(from.x, to.y), to, cv::Point(to.x, from.y)};
    for (const SeriesFormat format : {SeriesFormat::Png, SeriesFormat::Jpeg}) {
        SCOPED_TRACE(seriesFormatName(format).toStdString());
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        SeriesRequest request;
        request.image = photo.image;
        request.corners = corners;
        // Every 40th image of the delta series around 60, 10, -10: 123 targets.
        request.plan = {SeriesPlan::Kind::Delta, {60, 10, -10}};
        request.shard = {1, 40};
        request.options = {dir.path(), format, true, LabEncoding::Srgb};
        const double goal = format == SeriesFormat::Png ? 0.5 : 1.0;
        const std::atomic<bool> noStop{false};
        const SeriesResult result = runReferenceSeries(request, noStop, {});
        ASSERT_EQ(result.written, 123);

        QFile manifest(result.manifestPath);
        ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
        int unclipped = 0;
        int offTarget = 0;
        for (const QByteArray &line : manifest.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(',');
            if (fields.size() != 11 || line.startsWith("file,"))
                continue;
            SCOPED_TRACE(line.toStdString());
            const cv::Mat file = cv::imread(dir.filePath(QString(fields[0])).toStdString());
            cv::Mat scaled;
            cv::Mat lab;
            file.convertTo(scaled, CV_32F, 1.0 / 255.0);
            cv::cvtColor(scaled, lab, cv::COLOR_BGR2Lab);
            const cv::Scalar mean = cv::mean(lab);
            const cv::Vec3d name(fields[1].toDouble(), fields[2].toDouble(), fields[3].toDouble());
            const double deltaE = cv::norm(cv::Vec3d(mean[0], mean[1], mean[2]) - name);
            const double clipped = fields[9].toDouble();
            const QByteArray status =
                clipped > 1.0 ? "out_of_gamut" : (deltaE <= goal ? "ok" : "off_target");
            EXPECT_EQ(fields[10], status);
            offTarget += status == "off_target";
            if (clipped <= 1.0) {
                EXPECT_LE(deltaE, goal);
                ++unclipped;
            }
        }
        EXPECT_GT(unclipped, 5);
        EXPECT_EQ(result.offTarget, offTarget);
        std::printf("precise %s over four patches: %d unclipped files, %d off target\n",
                    qPrintable(seriesFormatName(format)), unclipped, offTarget);
    }
}

// The loop against a fake file that comes out with a fixed error in codes, and saturates above
// code 250: it corrects by the error, stops within tolerance, keeps the closest round and ends
// when a round cannot be measured.
TEST(PreciseLoop, CorrectsByTheErrorKeepsTheClosestRoundAndStopsOnFailure) {
    const auto biased = [](const cv::Vec3d &offset) {
        return [offset](const cv::Vec3d &codes) -> std::optional<cv::Vec3d> {
            cv::Vec3d written = codes + offset;
            for (int c = 0; c < 3; ++c)
                written[c] = std::min(written[c], 250.0);
            return cv::Vec3d(written[0] / 2.55, written[1] - 128, written[2] - 128);
        };
    };
    std::vector<cv::Vec3d> tried;
    const auto recorded = [&tried](const std::function<std::optional<cv::Vec3d>(cv::Vec3d)> &f) {
        return [&tried, f](const cv::Vec3d &codes) {
            tried.push_back(codes);
            return f(codes);
        };
    };

    // A constant error is gone after one correction.
    const auto kept = holdToName({40, 10, -20}, recorded(biased({2.55, -1, 3})));
    ASSERT_TRUE(kept);
    ASSERT_EQ(tried.size(), 2u);
    EXPECT_EQ(tried[0], cv::Vec3d(102, 138, 108));
    EXPECT_EQ(kept->round, 1);
    EXPECT_LT(cv::norm(kept->measured - cv::Vec3d(40, 10, -20)), 1e-9);
    EXPECT_LT(cv::norm(kept->codes - cv::Vec3d(99.45, 139, 105)), 1e-9);

    // Beyond what the file can hold, the loop ends once the codes are pinned at 255, with the
    // closest round.
    tried.clear();
    const auto clipped = holdToName({99, 0, 0}, recorded(biased({-3, 0, 0})));
    ASSERT_TRUE(clipped);
    EXPECT_EQ(tried.size(), 2u);
    EXPECT_EQ(tried.back()[0], 255.0);
    EXPECT_EQ(clipped->round, 1);
    EXPECT_NEAR(clipped->deltaE, 99 - 250 / 2.55, 1e-9);

    // A file whose mean answers the codes at half the nominal rate (texture that dilutes the
    // change) is still brought within tolerance once the loop has learnt that rate.
    tried.clear();
    const auto halfRate = [](const cv::Vec3d &codes) -> std::optional<cv::Vec3d> {
        const cv::Vec3d start = exactLabCodes({60, 10, -10});
        const cv::Vec3d written = start + (codes - start) * 0.5 + cv::Vec3d(-6, 4, 3);
        return cv::Vec3d(written[0] / 2.55, written[1] - 128, written[2] - 128);
    };
    const auto learnt = holdToName({60, 10, -10}, recorded(halfRate));
    ASSERT_TRUE(learnt);
    EXPECT_LE(learnt->deltaE, preciseTolerance);
    EXPECT_LE(int(tried.size()), preciseRounds);

    // Rounds that bring the file no nearer end the loop before its last round.
    tried.clear();
    const auto stuck = holdToName({50, 0, 0}, recorded([](const cv::Vec3d &) {
                                      return std::optional<cv::Vec3d>(cv::Vec3d(48, 1, 1));
                                  }));
    ASSERT_TRUE(stuck);
    EXPECT_LE(int(tried.size()), 1 + preciseStallRounds);
    EXPECT_EQ(stuck->round, 0);

    // A round that cannot be measured ends the loop with nothing.
    int calls = 0;
    EXPECT_FALSE(holdToName({50, 0, 0}, [&calls](const cv::Vec3d &) {
        return ++calls == 1 ? std::optional<cv::Vec3d>(cv::Vec3d(49, 0, 0)) : std::nullopt;
    }));
    EXPECT_EQ(calls, 2);
}
