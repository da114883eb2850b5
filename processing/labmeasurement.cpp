// SPDX-License-Identifier: GPL-3.0-or-later
#include "labmeasurement.h"

#include "distinctcodes.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

// Parts smaller than this are converted pixel by pixel: finding their distinct colours costs
// more than it saves.
constexpr std::size_t minDistinctPixels = 4096;
// Finding and counting the colours runs on one thread, converting every pixel on all cores:
// past one distinct colour per eight pixels, converting every pixel is about as fast. Decoded
// re-coloured patches hold one per twenty or more; photographs with noise give up early.
constexpr std::size_t pixelsPerDistinctColour = 8;
// Colours converted at a time, in rows of this length.
constexpr int colourRowLength = 1024;

// Rows converted at a time: a strip of a wide rectangle stays in the caches between its
// conversion and its sums.
constexpr int stripRows = 16;

struct Sums {
    std::array<double, 3> sum{};
    std::array<double, 3> squares{};
    std::int64_t count = 0;

    void add(const Sums &other) {
        for (int c = 0; c < 3; ++c) {
            sum[c] += other.sum[c];
            squares[c] += other.squares[c];
        }
        count += other.count;
    }
};

void accumulate(const cv::Mat &lab, const cv::Mat &mask, Sums &sums) {
    for (int y = 0; y < lab.rows; ++y) {
        const float *pixel = lab.ptr<float>(y);
        const uchar *selected = mask.empty() ? nullptr : mask.ptr<uchar>(y);
        double sum[3] = {0, 0, 0};
        double squares[3] = {0, 0, 0};
        int count = 0;
        for (int x = 0; x < lab.cols; ++x, pixel += 3) {
            if (selected && !selected[x])
                continue;
            for (int c = 0; c < 3; ++c) {
                const double value = pixel[c];
                sum[c] += value;
                squares[c] += value * value;
            }
            ++count;
        }
        for (int c = 0; c < 3; ++c) {
            sums.sum[c] += sum[c];
            sums.squares[c] += squares[c];
        }
        sums.count += count;
    }
}

// The sums of an 8-bit BGR part through its distinct colours, each converted once and weighted by
// its pixel count: what converting every pixel gives. Nothing when the colours hardly repeat.
std::optional<Sums> distinctColourSums(const cv::Mat &part, const cv::Mat &mask,
                                       const LabSpace &space) {
    if (part.type() != CV_8UC3 || part.total() < minDistinctPixels)
        return std::nullopt;
    const std::size_t pixels =
        mask.empty() ? part.total() : static_cast<std::size_t>(cv::countNonZero(mask));
    thread_local DistinctCodes distinct;
    if (!distinct.find(part, mask, pixels / pixelsPerDistinctColour))
        return std::nullopt;
    const std::vector<std::uint32_t> &colours = distinct.codes();
    const std::vector<std::uint32_t> counts = distinct.pixelCounts(part, mask);

    Sums sums;
    cv::Mat row(1, colourRowLength, CV_8UC3);
    for (std::size_t first = 0; first < colours.size(); first += colourRowLength) {
        const int length =
            static_cast<int>(std::min<std::size_t>(colourRowLength, colours.size() - first));
        uchar *pixel = row.ptr();
        for (int i = 0; i < length; ++i, pixel += 3) {
            const std::uint32_t colour = colours[first + static_cast<std::size_t>(i)];
            pixel[0] = static_cast<uchar>(colour >> 16);
            pixel[1] = static_cast<uchar>(colour >> 8);
            pixel[2] = static_cast<uchar>(colour);
        }
        const cv::Mat lab = space.toLab(row.colRange(0, length));
        const float *value = lab.ptr<float>();
        for (int i = 0; i < length; ++i, value += 3) {
            const std::uint32_t count = counts[first + static_cast<std::size_t>(i)];
            const double weight = count;
            for (int c = 0; c < 3; ++c) {
                sums.sum[c] += weight * value[c];
                sums.squares[c] += weight * value[c] * value[c];
            }
            sums.count += count;
        }
    }
    return sums;
}

// The sums of `part` converted strip by strip, in parallel.
Sums convertedSums(const cv::Mat &part, const cv::Mat &mask, const LabSpace &space) {
    const int strips = (part.rows + stripRows - 1) / stripRows;
    std::vector<Sums> stripSums(static_cast<size_t>(strips));
    cv::parallel_for_(cv::Range(0, strips), [&](const cv::Range &range) {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows(s * stripRows, std::min(part.rows, (s + 1) * stripRows));
            const cv::Mat lab = space.toLab(part.rowRange(rows));
            accumulate(lab, mask.empty() ? mask : mask.rowRange(rows),
                       stripSums[static_cast<size_t>(s)]);
        }
    });
    Sums total;
    for (const Sums &sums : stripSums)
        total.add(sums);
    return total;
}

} // namespace

bool isLabMeasurable(int type) {
    const int depth = CV_MAT_DEPTH(type);
    const int channels = CV_MAT_CN(type);
    return (depth == CV_8U || depth == CV_16U || depth == CV_32F || depth == CV_64F) &&
           (channels == 1 || channels == 3 || channels == 4);
}

cv::Mat floatLab(const cv::Mat &part, const LabSpace &space) {
    return space.toLab(part);
}

std::optional<cv::Vec3d> pixelLab(const cv::Mat &image, const cv::Point &point,
                                  const LabSpace &space) {
    if (!cv::Rect(0, 0, image.cols, image.rows).contains(point))
        return std::nullopt;
    const cv::Mat lab = floatLab(image(cv::Rect(point, cv::Size(1, 1))), space);
    if (lab.empty())
        return std::nullopt;
    return cv::Vec3d(lab.at<cv::Vec3f>(0, 0));
}

std::optional<LabStats> measureLab(const cv::Mat &image, const cv::Rect &rect,
                                   const LabSpace &space, const cv::Mat &mask) {
    if (rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0 ||
        rect.x + rect.width > image.cols || rect.y + rect.height > image.rows ||
        !isLabMeasurable(image.type()) || !space.converts(image.channels()))
        return std::nullopt;
    if (!mask.empty() && (mask.type() != CV_8UC1 || mask.size() != rect.size()))
        return std::nullopt;

    const cv::Mat part = image(rect);
    std::optional<Sums> distinct = distinctColourSums(part, mask, space);
    const Sums total = distinct ? *distinct : convertedSums(part, mask, space);
    if (total.count == 0)
        return std::nullopt;
    LabStats stats;
    stats.count = total.count;
    const double n = static_cast<double>(total.count);
    for (int c = 0; c < 3; ++c) {
        stats.mean[c] = total.sum[c] / n;
        stats.stdDev[c] =
            std::sqrt(std::max(0.0, total.squares[c] / n - stats.mean[c] * stats.mean[c]));
    }
    return stats;
}
