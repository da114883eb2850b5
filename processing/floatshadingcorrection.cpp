// SPDX-License-Identifier: GPL-3.0-or-later
#include "floatshadingcorrection.h"

#include "labmeasurement.h"
#include "shadingcorrection.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace {

// Rows per strip: a strip's float L*a*b* stays small enough for the cache.
constexpr std::size_t stripBytes = 1024 * 1024;

void refuse(QString *problem, const QString &reason) {
    if (problem)
        *problem = reason;
}

// The cells' mean L* and their mean, and the reference of every pixel of the grid.
class FloatLightness {
public:
    FloatLightness(const ShadingGrid &cells, const std::vector<double> &rowSums);

    // Corrects L* (channel 0) of grid row y of a float L*a*b* row.
    void correctRow(cv::Vec3f *row, int y) const;

private:
    ShadingGrid grid;
    std::vector<double> means;
    double globalMean = 0;
};

FloatLightness::FloatLightness(const ShadingGrid &cells, const std::vector<double> &rowSums)
    : grid(cells), means(std::size_t(cells.rows) * cells.columns) {
    const double cellArea = double(grid.cellWidth) * grid.cellHeight;
    for (int p = 0; p < grid.rows; ++p) {
        for (int q = 0; q < grid.columns; ++q) {
            double sum = 0;
            for (int j = 0; j < grid.cellHeight; ++j)
                sum += rowSums[(std::size_t(p) * grid.cellHeight + j) * grid.columns + q];
            means[std::size_t(p) * grid.columns + q] = sum / cellArea;
            globalMean += sum / cellArea;
        }
    }
    globalMean /= double(grid.columns) * grid.rows;
}

void FloatLightness::correctRow(cv::Vec3f *row, int y) const {
    const int nx = grid.columns;
    const int cw = grid.cellWidth;
    const int ch = grid.cellHeight;
    const int p = y / ch;
    const int fy = y % ch;
    const double *up = means.data() + std::size_t(std::max(p - 1, 0)) * nx;
    const double *mid = means.data() + std::size_t(p) * nx;
    const double *down = means.data() + std::size_t(std::min(p + 1, grid.rows - 1)) * nx;
    const double divisor = 2.0 * (cw + ch);
    for (int q = 0; q < nx; ++q) {
        const int left = std::max(q - 1, 0);
        const int right = std::min(q + 1, nx - 1);
        const double tl = (up[left] + up[q] + mid[q] + mid[left]) / 4;
        const double tr = (up[q] + up[right] + mid[right] + mid[q]) / 4;
        const double bl = (down[left] + down[q] + mid[q] + mid[left]) / 4;
        const double br = (down[q] + down[right] + mid[q] + mid[right]) / 4;
        for (int fx = 0; fx < cw; ++fx, ++row) {
            const double ref = (tl * (cw - fx + ch - fy) + tr * (fx + ch - fy) +
                                bl * (cw - fx + fy) + br * (fx + fy)) /
                               divisor;
            if (ref > 0)
                (*row)[0] = float(std::min((*row)[0] * globalMean / ref, 100.0));
        }
    }
}

// Picture values (CV_32F, 0..1) back to `depth`: codes rounded for integer depths.
void toDepth(const cv::Mat &values, int depth, cv::Mat &out) {
    const double scale = depth == CV_8U ? 255.0 : depth == CV_16U ? 65535.0 : 1.0;
    values.convertTo(out, depth, scale);
}

// `picture` with the channels the result has: alpha kept, grey made three channels when the
// profile has three.
cv::Mat withOutputChannels(const cv::Mat &picture, int profileChannels) {
    if (picture.channels() != 1 || profileChannels == 1)
        return picture.clone();
    cv::Mat colour;
    cv::cvtColor(picture, colour, cv::COLOR_GRAY2BGR);
    return colour;
}

} // namespace

cv::Mat floatShadingCorrected(const cv::Mat &picture, const Quad &corners, int cellSize,
                              const LabSpace &space, QString *problem) {
    if (picture.dims != 2 || picture.empty() || !isLabMeasurable(picture.type()) ||
        !space.converts(picture.channels())) {
        refuse(problem, QStringLiteral("The image is of a type the shading correction does not "
                                       "take in this encoding."));
        return {};
    }
    const ShadingGrid grid = shadingGrid(corners, cellSize);
    if (grid.isEmpty() || !rectInside(rectFromCorners013(corners), picture.size())) {
        refuse(problem, QStringLiteral("The region of the corners holds no whole cell or does "
                                       "not lie inside the image."));
        return {};
    }
    const cv::Rect area = grid.covered();
    const cv::Mat source = picture(area);
    const int stripRows =
        int(std::max<std::size_t>(1, stripBytes / (std::size_t(area.width) * sizeof(cv::Vec3f))));
    const int stripCount = (area.height + stripRows - 1) / stripRows;
    const auto stripAt = [&](int strip) {
        return cv::Range(strip * stripRows, std::min(area.height, (strip + 1) * stripRows));
    };

    // L* is not kept between the passes: converting twice costs less than holding a float
    // L*a*b* copy of a large picture.
    std::vector<double> rowSums(std::size_t(area.height) * grid.columns);
    cv::parallel_for_(cv::Range(0, stripCount), [&](const cv::Range &strips) {
        for (int strip = strips.start; strip < strips.end; ++strip) {
            const cv::Range rows = stripAt(strip);
            const cv::Mat lab = space.toLab(source.rowRange(rows));
            for (int y = rows.start; y < rows.end; ++y) {
                const cv::Vec3f *pixel = lab.ptr<cv::Vec3f>(y - rows.start);
                double *sums = &rowSums[std::size_t(y) * grid.columns];
                for (int q = 0; q < grid.columns; ++q) {
                    double sum = 0;
                    for (int i = 0; i < grid.cellWidth; ++i, ++pixel)
                        sum += (*pixel)[0];
                    sums[q] = sum;
                }
            }
        }
    });
    const FloatLightness lightness(grid, rowSums);

    const int profileChannels = space.isIcc() ? space.profile()->channels() : 3;
    cv::Mat out = withOutputChannels(picture, profileChannels);
    cv::Mat target = out(area);
    const bool keepsAlpha = picture.channels() == 4;
    std::atomic<bool> noWayBack{false};
    cv::parallel_for_(cv::Range(0, stripCount), [&](const cv::Range &strips) {
        for (int strip = strips.start; strip < strips.end && !noWayBack; ++strip) {
            const cv::Range rows = stripAt(strip);
            cv::Mat lab = space.toLab(source.rowRange(rows));
            for (int y = rows.start; y < rows.end; ++y)
                lightness.correctRow(lab.ptr<cv::Vec3f>(y - rows.start), y);
            const cv::Mat values = space.fromLab(lab, true);
            if (values.empty()) {
                noWayBack = true;
                return;
            }
            cv::Mat corrected;
            toDepth(values, picture.depth(), corrected);
            cv::Mat rowsOut = target.rowRange(rows);
            if (keepsAlpha) {
                // The colour channels from the correction, alpha from the source.
                const int fromTo[] = {0, 0, 1, 1, 2, 2};
                cv::mixChannels(&corrected, 1, &rowsOut, 1, fromTo, 3);
            } else {
                corrected.copyTo(rowsOut);
            }
        }
    });
    if (noWayBack) {
        refuse(problem, QStringLiteral("The picture's profile converts only to L*a*b*, not "
                                       "back, so the corrected colours cannot be written in it."));
        return {};
    }
    return out;
}
