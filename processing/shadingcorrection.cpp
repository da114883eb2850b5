// SPDX-License-Identifier: GPL-3.0-or-later
#include "shadingcorrection.h"

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr int labChannels = 3;

// The colour conversions and the grid work go strip by strip of full rows, small enough that a
// strip written by one step is still in cache when the next step reads it.
constexpr std::size_t stripBytes = 256 * 1024;

// Sums channel 0 over each cell's columns of one image row; `row` points at the grid's first
// pixel in that row.
void sumCellRow(const uchar *row, const ShadingGrid &grid, int *sums) {
    for (int q = 0; q < grid.columns; ++q) {
        int sum = 0;
        for (int i = 0; i < grid.cellWidth; ++i, row += labChannels)
            sum += row[0];
        sums[q] = sum;
    }
}

// The cell means, the global mean and the correction of single rows, built from the sums of
// channel 0 over each cell's columns in every row of the grid (rows x columns ints).
class LightnessCorrector {
public:
    LightnessCorrector(const ShadingGrid &cells, const std::vector<int> &rowSums);

    // Corrects channel 0 of grid row y; `row` points at the grid's first pixel in that row.
    void correctRow(uchar *row, int y) const;

private:
    ShadingGrid grid;
    std::vector<uchar> means;  // one per cell, grid row by grid row
    std::vector<uchar> scaled; // at ref x 256 + L: the corrected L
};

LightnessCorrector::LightnessCorrector(const ShadingGrid &cells, const std::vector<int> &rowSums)
    : grid(cells), means(std::size_t(cells.rows) * cells.columns), scaled(256 * 256) {
    const int nx = grid.columns;
    const std::int64_t cellArea = std::int64_t(grid.cellWidth) * grid.cellHeight;
    std::int64_t total = 0;
    for (int p = 0; p < grid.rows; ++p) {
        for (int q = 0; q < nx; ++q) {
            std::int64_t sum = 0;
            for (int j = 0; j < grid.cellHeight; ++j)
                sum += rowSums[(std::size_t(p) * grid.cellHeight + j) * nx + q];
            const uchar mean = uchar(sum / cellArea);
            means[std::size_t(p) * nx + q] = mean;
            total += mean;
        }
    }
    const int globalMean = int(total / (std::int64_t(nx) * grid.rows));
    // A reference is a weighted mean of 8-bit means, so 0..255: L x G / ref for every pair is
    // one lookup per pixel instead of a division.
    for (int ref = 0; ref < 256; ++ref) {
        for (int lightness = 0; lightness < 256; ++lightness) {
            scaled[std::size_t(ref) * 256 + lightness] =
                ref == 0 ? uchar(lightness) : uchar(std::min(lightness * globalMean / ref, 255));
        }
    }
}

void LightnessCorrector::correctRow(uchar *row, int y) const {
    const int nx = grid.columns;
    const int cw = grid.cellWidth;
    const int ch = grid.cellHeight;
    const int p = y / ch;
    const int fy = y % ch;
    // Local copies: the pixel stores through uchar* could alias the vectors' own pointers.
    const uchar *table = scaled.data();
    const uchar *up = means.data() + std::size_t(std::max(p - 1, 0)) * nx;
    const uchar *mid = means.data() + std::size_t(p) * nx;
    const uchar *down = means.data() + std::size_t(std::min(p + 1, grid.rows - 1)) * nx;
    const std::int64_t divisor = 2 * (std::int64_t(cw) + ch);

    for (int q = 0; q < nx; ++q) {
        const int left = std::max(q - 1, 0);
        const int right = std::min(q + 1, nx - 1);
        const std::int64_t tl = (up[left] + up[q] + mid[q] + mid[left]) / 4;
        const std::int64_t tr = (up[q] + up[right] + mid[right] + mid[q]) / 4;
        const std::int64_t bl = (down[left] + down[q] + mid[q] + mid[left]) / 4;
        const std::int64_t br = (down[q] + down[right] + mid[q] + mid[right]) / 4;
        // Along the row the weighted sum is start + fx x step; its quotient by the divisor is
        // carried along with the remainder, so no pixel divides. The sum is never negative, so
        // the floor kept here is the truncating quotient.
        const std::int64_t start = tl * (cw + ch - fy) + tr * (ch - fy) + bl * (cw + fy) + br * fy;
        const std::int64_t step = tr + br - tl - bl;
        const std::int64_t stepRef = step / divisor;
        const std::int64_t stepRest = step % divisor;
        std::int64_t ref = start / divisor;
        std::int64_t rest = start % divisor;
        for (int fx = 0; fx < cw; ++fx, row += labChannels) {
            row[0] = table[ref * 256 + row[0]];
            ref += stepRef;
            rest += stepRest;
            if (rest >= divisor) {
                rest -= divisor;
                ++ref;
            } else if (rest < 0) {
                rest += divisor;
                --ref;
            }
        }
    }
}

} // namespace

ShadingGrid shadingGrid(const Quad &corners, int cellSize) {
    ShadingGrid grid;
    grid.origin = corners[0];
    const cv::Rect region = rectFromCorners013(corners);
    if (cellSize <= 0 || region.width < cellSize || region.height < cellSize)
        return grid;
    grid.columns = region.width / cellSize;
    grid.rows = region.height / cellSize;
    grid.cellWidth = region.width / grid.columns;
    grid.cellHeight = region.height / grid.rows;
    return grid;
}

bool correctLabLightness(cv::Mat &lab, const ShadingGrid &grid) {
    if (lab.dims != 2 || lab.type() != CV_8UC3 || grid.isEmpty() ||
        !rectInside(grid.covered(), lab.size()))
        return false;
    const cv::Rect area = grid.covered();
    std::vector<int> rowSums(std::size_t(area.height) * grid.columns);
    for (int y = 0; y < area.height; ++y)
        sumCellRow(lab.ptr(area.y + y) + labChannels * area.x, grid,
                   &rowSums[std::size_t(y) * grid.columns]);
    const LightnessCorrector corrector(grid, rowSums);
    for (int y = 0; y < area.height; ++y)
        corrector.correctRow(lab.ptr(area.y + y) + labChannels * area.x, y);
    return true;
}

cv::Mat shadingCorrected(const cv::Mat &bgr, const Quad &corners, int cellSize,
                         LabEncoding encoding) {
    if (bgr.dims != 2 || bgr.depth() != CV_8U || (bgr.channels() != 3 && bgr.channels() != 4))
        return {};
    const ShadingGrid grid = shadingGrid(corners, cellSize);
    if (grid.isEmpty() || !rectInside(rectFromCorners013(corners), bgr.size()))
        return {};

    const cv::Rect area = grid.covered();
    const int stripRows =
        int(std::max<std::size_t>(1, stripBytes / (std::size_t(bgr.cols) * labChannels)));
    const int stripCount = (bgr.rows + stripRows - 1) / stripRows;
    const auto stripAt = [&](int strip) {
        return cv::Range(strip * stripRows, std::min(bgr.rows, (strip + 1) * stripRows));
    };
    const auto firstGridRow = [&](const cv::Range &rows) { return std::max(rows.start, area.y); };
    const auto endGridRow = [&](const cv::Range &rows) {
        return std::min(rows.end, area.y + area.height);
    };

    // The output buffer holds the Lab picture until the second pass; the cell sums of a strip
    // are taken while it is still in cache.
    cv::Mat out(bgr.size(), CV_8UC3);
    std::vector<int> rowSums(std::size_t(area.height) * grid.columns);
    cv::parallel_for_(cv::Range(0, stripCount), [&](const cv::Range &strips) {
        for (int strip = strips.start; strip < strips.end; ++strip) {
            const cv::Range rows = stripAt(strip);
            cv::Mat lab = out.rowRange(rows);
            cv::cvtColor(bgr.rowRange(rows), lab, bgrToLabConversion(encoding));
            for (int y = firstGridRow(rows); y < endGridRow(rows); ++y)
                sumCellRow(out.ptr(y) + labChannels * area.x, grid,
                           &rowSums[std::size_t(y - area.y) * grid.columns]);
        }
    });

    const LightnessCorrector corrector(grid, rowSums);
    // Each strip is corrected in a small Lab buffer and converted from there into the output.
    cv::parallel_for_(cv::Range(0, stripCount), [&](const cv::Range &strips) {
        cv::Mat labStrip(stripRows, bgr.cols, CV_8UC3);
        for (int strip = strips.start; strip < strips.end; ++strip) {
            const cv::Range rows = stripAt(strip);
            cv::Mat outRows = out.rowRange(rows);
            cv::Mat lab = labStrip.rowRange(0, rows.size());
            outRows.copyTo(lab);
            for (int y = firstGridRow(rows); y < endGridRow(rows); ++y)
                corrector.correctRow(lab.ptr(y - rows.start) + labChannels * area.x, y - area.y);
            cv::cvtColor(lab, outRows, labToBgrConversion(encoding));
        }
    });
    return out;
}
