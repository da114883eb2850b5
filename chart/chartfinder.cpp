// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartfinder.h"

#include "colourdifference.h"
#include "labmeasurement.h"
#include "patchmeasurement.h"

#include <QCoreApplication>
#include <QStringList>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/mcc/checker_detector.hpp>

#include <algorithm>
#include <cmath>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ChartFinder", text);
}

// The detector is slow on large pictures and gains nothing from detail beyond these; it misses
// a chart at one size that it finds at another, so a miss is tried again larger.
constexpr std::array<double, 3> detectionLongSides = {1000, 1200, 1400};
// Patch windows are measured at about this pitch in pixels: finer adds cost, not accuracy.
constexpr double refinementPitch = 80;

cv::mcc::TYPECHART detectorType(ChartKind kind) {
    switch (kind) {
    case ChartKind::ColorChecker24:
        return cv::mcc::MCC24;
    case ChartKind::ColorCheckerSG:
        return cv::mcc::SG140;
    case ChartKind::Vinyl18:
        return cv::mcc::VINYL18;
    }
    return cv::mcc::MCC24;
}

// 8-bit BGR, as the detector and the flood fill take it; empty for a type they cannot use.
cv::Mat bgr8(const cv::Mat &part) {
    if (!isLabMeasurable(part.type()))
        return {};
    cv::Mat scaled;
    switch (part.depth()) {
    case CV_8U:
        scaled = part;
        break;
    case CV_16U:
        part.convertTo(scaled, CV_8U, 1.0 / 257);
        break;
    default:
        part.convertTo(scaled, CV_8U, 255);
        break;
    }
    if (scaled.channels() == 3)
        return scaled;
    cv::Mat bgr;
    cv::cvtColor(scaled, bgr, scaled.channels() == 1 ? cv::COLOR_GRAY2BGR : cv::COLOR_BGRA2BGR);
    return bgr;
}

cv::Point2d mapped(const cv::Matx33d &homography, double x, double y) {
    const cv::Vec3d point = homography * cv::Vec3d(x, y, 1);
    return {point[0] / point[2], point[1] / point[2]};
}

// Grid units (x along the columns, y along the rows, one per cell) onto the picture, from the
// detector's outline. For the ColorChecker 24 and the Vinyl chart its first corner lies at
// patch 1 and its second along the first row; the SG's outline starts at the first patch of
// the last row and runs along that row.
std::optional<cv::Matx33d> gridFromOutline(const std::vector<cv::Point2f> &box, double scale,
                                           ChartKind kind) {
    if (box.size() != 4)
        return std::nullopt;
    const ChartKindInfo info = chartKindInfo(kind);
    const float columns = float(info.columns);
    const float rows = float(info.rows);
    const cv::Point2f grid[4] = {{0, 0}, {columns, 0}, {columns, rows}, {0, rows}};
    const std::array<size_t, 4> order = kind == ChartKind::ColorCheckerSG
                                            ? std::array<size_t, 4>{3, 2, 1, 0}
                                            : std::array<size_t, 4>{0, 1, 2, 3};
    cv::Point2f image[4];
    for (size_t i = 0; i < 4; ++i)
        image[i] = box[order[i]] * float(scale);
    const cv::Mat homography = cv::getPerspectiveTransform(grid, image);
    if (homography.empty())
        return std::nullopt;
    return cv::Matx33d(homography);
}

// The centre of the patch around `centre`: the region of like colour flood-filled from it in a
// window one and a half cells wide. Nothing when that region does not look like a patch (it
// leaks into the gaps or is a speck of noise).
std::optional<cv::Point2d> patchCentre(const cv::Mat &image, const cv::Point2d &centre,
                                       double pitch) {
    const double half = 0.75 * pitch;
    const cv::Rect window(
        cv::Point(int(std::floor(centre.x - half)), int(std::floor(centre.y - half))),
        cv::Point(int(std::ceil(centre.x + half)), int(std::ceil(centre.y + half))));
    if ((window & cv::Rect(cv::Point(), image.size())) != window || window.width < 8)
        return std::nullopt;

    const cv::Mat part = bgr8(image(window));
    const double scale = std::min(1.0, refinementPitch / pitch);
    cv::Mat small;
    cv::resize(part, small, cv::Size(), scale, scale, cv::INTER_AREA);
    cv::GaussianBlur(small, small, cv::Size(5, 5), 1.5);

    const cv::Point seed((centre.x - window.x) * scale, (centre.y - window.y) * scale);
    if (!cv::Rect(cv::Point(), small.size()).contains(seed))
        return std::nullopt;
    cv::Mat mask = cv::Mat::zeros(small.rows + 2, small.cols + 2, CV_8U);
    const cv::Scalar tolerance(10, 10, 10);
    cv::Rect filled;
    const int area =
        cv::floodFill(small, mask, seed, cv::Scalar(), &filled, tolerance, tolerance,
                      4 | cv::FLOODFILL_FIXED_RANGE | cv::FLOODFILL_MASK_ONLY | (255 << 8));
    const double cellArea = (pitch * scale) * (pitch * scale);
    const bool inside =
        filled.x > 0 && filled.y > 0 && filled.br().x < small.cols && filled.br().y < small.rows;
    if (!inside || area < 0.15 * cellArea || area > 0.95 * cellArea)
        return std::nullopt;

    const cv::Moments moments = cv::moments(mask(cv::Rect(1, 1, small.cols, small.rows)), true);
    // Pixel centres lie on integers, in the window and in the picture alike.
    const double x = (moments.m10 / moments.m00 + 0.5) / scale - 0.5;
    const double y = (moments.m01 / moments.m00 + 0.5) / scale - 0.5;
    return cv::Point2d(window.x + x, window.y + y);
}

// The grid's homography fitted to the patch centres measured around the ones `grid` predicts;
// nothing when too few patches were found to trust it.
std::optional<cv::Matx33d> refinedGrid(const cv::Mat &image, const cv::Matx33d &grid,
                                       const ChartKindInfo &info) {
    std::vector<cv::Point2f> cells;
    std::vector<cv::Point2f> found;
    double pitchSum = 0;
    for (int row = 0; row < info.rows; ++row) {
        for (int column = 0; column < info.columns; ++column) {
            const cv::Point2d centre = mapped(grid, column + 0.5, row + 0.5);
            const double across =
                cv::norm(mapped(grid, column + 1, row + 0.5) - mapped(grid, column, row + 0.5));
            const double down =
                cv::norm(mapped(grid, column + 0.5, row + 1) - mapped(grid, column + 0.5, row));
            const double pitch = std::min(across, down);
            pitchSum += pitch;
            if (const auto measured = patchCentre(image, centre, pitch)) {
                cells.emplace_back(float(column + 0.5), float(row + 0.5));
                found.emplace_back(*measured);
            }
        }
    }
    const size_t needed = std::max<size_t>(6, size_t(info.patchCount()) / 3);
    if (found.size() < needed)
        return std::nullopt;
    const double threshold = 0.1 * pitchSum / info.patchCount();
    cv::Mat inliers;
    const cv::Mat homography = cv::findHomography(cells, found, cv::RANSAC, threshold, inliers);
    if (homography.empty() || size_t(cv::countNonZero(inliers)) < needed)
        return std::nullopt;
    return cv::Matx33d(homography);
}

std::array<cv::Point2d, 4> fieldCorners(const cv::Matx33d &grid, const ChartKindInfo &info) {
    return {mapped(grid, 0, 0), mapped(grid, 0, info.rows), mapped(grid, info.columns, info.rows),
            mapped(grid, info.columns, 0)};
}

// The mean ΔE2000 of the grid over `corners` to the reference; nothing when a patch is unread.
std::optional<double> meanDeltaE(const FoundChart &chart, const ChartFindOptions &options) {
    const PatchGrid grid = patchGrid(chart.quad(), chart.layout(options.insetPercent));
    if (!grid.problem.isEmpty())
        return std::nullopt;
    const auto readings = options.readPatches(grid.areas);
    if (readings.size() != options.reference->size())
        return std::nullopt;
    double sum = 0;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i])
            return std::nullopt;
        sum += deltaE2000(*readings[i], (*options.reference)[i]);
    }
    return sum / double(readings.size());
}

// Turns the chart half round when the reference reads better that way.
void orientByReference(FoundChart &chart, const ChartFindOptions &options) {
    if (!options.reference || !options.readPatches ||
        int(options.reference->size()) != chart.rows * chart.columns)
        return;
    FoundChart turned = chart;
    turned.corners = {chart.corners[2], chart.corners[3], chart.corners[0], chart.corners[1]};
    const auto asFound = meanDeltaE(chart, options);
    const auto asTurned = meanDeltaE(turned, options);
    if (asTurned && (!asFound || *asTurned < *asFound)) {
        chart = turned;
        chart.meanDeltaE2000 = *asTurned;
    } else if (asFound) {
        chart.meanDeltaE2000 = *asFound;
    } else {
        return;
    }
    chart.orientedByReference = true;
}

std::vector<ChartKind> kindsToTry(const ChartFindOptions &options) {
    std::vector<ChartKind> kinds = options.kinds;
    if (kinds.empty())
        kinds.assign(knownChartKinds().begin(), knownChartKinds().end());
    // The kind the reference fits goes first.
    if (options.reference) {
        if (const auto fitting = chartKindWithPatchCount(int(options.reference->size()))) {
            const auto at = std::find(kinds.begin(), kinds.end(), *fitting);
            if (at != kinds.end())
                std::rotate(kinds.begin(), at, at + 1);
        }
    }
    return kinds;
}

std::optional<FoundChart> detect(const cv::Mat &image, const cv::Mat &reduced, double scale,
                                 ChartKind kind) {
    const cv::Ptr<cv::mcc::CCheckerDetector> detector = cv::mcc::CCheckerDetector::create();
    const cv::Ptr<cv::mcc::DetectorParameters> parameters = cv::mcc::DetectorParameters::create();
    // Sized for the reduced copy: patches of some ten pixels upwards, no enlarging.
    parameters->minImageSize = 100;
    parameters->adaptiveThreshWinSizeStep = 40;
    parameters->minContoursArea = 50;
    parameters->minContourLengthAllowed = 20;
    parameters->minInterContourDistance = 20;
    if (!detector->process(reduced, detectorType(kind), 1, false, parameters))
        return std::nullopt;
    const cv::Ptr<cv::mcc::CChecker> checker = detector->getBestColorChecker();
    if (!checker)
        return std::nullopt;

    const ChartKindInfo info = chartKindInfo(kind);
    auto grid = gridFromOutline(checker->getBox(), 1 / scale, kind);
    if (!grid)
        return std::nullopt;
    FoundChart chart;
    chart.kind = kind;
    chart.rows = info.rows;
    chart.columns = info.columns;
    // The Vinyl chart's first row is twice as tall as the others, so its patches do not sit on
    // an even grid to fit.
    if (kind != ChartKind::Vinyl18) {
        // Twice: the detector's outline may be a third of a cell off, the first fit is not.
        for (int pass = 0; pass < 2; ++pass) {
            const auto refined = refinedGrid(image, *grid, info);
            if (!refined)
                break;
            grid = refined;
            chart.refined = true;
        }
    }
    chart.corners = fieldCorners(*grid, info);
    return chart;
}

} // namespace

ChartKindInfo chartKindInfo(ChartKind kind) {
    switch (kind) {
    case ChartKind::ColorChecker24:
        return {tr("ColorChecker Classic 24"), 4, 6};
    case ChartKind::ColorCheckerSG:
        return {tr("ColorChecker SG"), 10, 14};
    case ChartKind::Vinyl18:
        return {tr("Vinyl chart 18"), 3, 6};
    }
    return {};
}

const std::array<ChartKind, 3> &knownChartKinds() {
    static const std::array<ChartKind, 3> kinds = {ChartKind::ColorChecker24,
                                                   ChartKind::ColorCheckerSG, ChartKind::Vinyl18};
    return kinds;
}

std::optional<ChartKind> chartKindWithPatchCount(int patchCount) {
    for (const ChartKind kind : knownChartKinds())
        if (chartKindInfo(kind).patchCount() == patchCount)
            return kind;
    return std::nullopt;
}

PatchLabReader patchLabReader(const cv::Mat &image, const LabSpace &space) {
    return [image, space](const std::vector<PatchArea> &areas) {
        std::vector<std::optional<cv::Vec3d>> means;
        for (const auto &stats : measurePatches(image, areas, space))
            means.push_back(stats ? std::optional<cv::Vec3d>(stats->mean) : std::nullopt);
        return means;
    };
}

Quad FoundChart::quad() const {
    Quad rounded;
    for (size_t i = 0; i < 4; ++i)
        rounded[i] = cv::Point(cvRound(corners[i].x), cvRound(corners[i].y));
    return rounded;
}

ChartSearch findChart(const cv::Mat &image, const ChartFindOptions &options) {
    ChartSearch search;
    search.problem = tr("No chart found.");
    if (image.empty() || !isLabMeasurable(image.type()))
        return search;
    try {
        // Each reduced copy is made when first needed: most charts are found in the first.
        std::array<cv::Mat, detectionLongSides.size()> reduced;
        std::array<double, detectionLongSides.size()> scales{};
        const auto reducedCopy = [&](size_t size) {
            if (reduced[size].empty()) {
                scales[size] =
                    std::min(1.0, detectionLongSides[size] / std::max(image.cols, image.rows));
                cv::resize(image, reduced[size], cv::Size(), scales[size], scales[size],
                           cv::INTER_AREA);
                reduced[size] = bgr8(reduced[size]);
            }
            return scales[size];
        };
        // Pictures no larger than a reduced size are searched once, as they are.
        size_t sizes = 1;
        while (sizes < detectionLongSides.size() &&
               detectionLongSides[sizes - 1] < std::max(image.cols, image.rows))
            ++sizes;
        // A chart whose patches were not found where the outline puts them is kept only when
        // no size gives a better one.
        std::optional<FoundChart> unrefined;
        for (const ChartKind kind : kindsToTry(options)) {
            // The Vinyl chart is never refined, and the detector sees it in other charts too.
            if (kind == ChartKind::Vinyl18 && unrefined)
                break;
            for (size_t size = 0; size < sizes; ++size) {
                const double scale = reducedCopy(size);
                auto chart = detect(image, reduced[size], scale, kind);
                if (!chart)
                    continue;
                if (!chart->refined && kind != ChartKind::Vinyl18) {
                    if (!unrefined)
                        unrefined = chart;
                    continue;
                }
                search.chart = chart;
                break;
            }
            if (search.chart)
                break;
        }
        if (!search.chart)
            search.chart = unrefined;
        if (search.chart) {
            orientByReference(*search.chart, options);
            search.problem.clear();
        }
    } catch (const cv::Exception &) {
        // A picture the detector cannot take holds no chart it can find.
        search.chart.reset();
    }
    return search;
}

QString foundChartText(const FoundChart &chart) {
    QStringList points;
    for (const cv::Point &corner : chart.quad())
        points << QStringLiteral("(%1, %2)").arg(corner.x).arg(corner.y);
    return tr("%1 (%2 x %3) at %4")
        .arg(chartKindInfo(chart.kind).name)
        .arg(chart.rows)
        .arg(chart.columns)
        .arg(points.join(QStringLiteral(", ")));
}
