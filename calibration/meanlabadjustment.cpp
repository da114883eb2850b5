// SPDX-License-Identifier: GPL-3.0-or-later
#include "meanlabadjustment.h"

#include "matconversion.h"
#include "quad.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cstddef>
#include <exception>
#include <vector>

namespace {

constexpr std::size_t labCodeCount = std::size_t{256} * 256 * 256;

// COLOR_Lab2LBGR of every 8-bit Lab code, three bytes at (L << 16 | a << 8 | b) x 3 (48 MB),
// built once on first use. OpenCV converts each pixel on its own, so a lookup gives the very
// bytes that converting any image holding that code gives, at the cost of a memory read.
const uchar *labToLinearBgr() {
    static const std::vector<uchar> table = [] {
        constexpr int planesPerChunk = 16;
        std::vector<uchar> bgr(labCodeCount * 3);
        cv::Mat codes(planesPerChunk * 256, 256, CV_8UC3);
        for (int firstL = 0; firstL < 256; firstL += planesPerChunk) {
            for (int row = 0; row < codes.rows; ++row) {
                auto *pixel = codes.ptr<cv::Vec3b>(row);
                for (int b = 0; b < 256; ++b)
                    pixel[b] = cv::Vec3b(static_cast<uchar>(firstL + row / 256),
                                         static_cast<uchar>(row % 256), static_cast<uchar>(b));
            }
            uchar *chunk = bgr.data() + static_cast<std::size_t>(firstL) * 256 * 256 * 3;
            cv::cvtColor(codes, cv::Mat(codes.size(), CV_8UC3, chunk), cv::COLOR_Lab2LBGR);
        }
        return bgr;
    }();
    return table.data();
}

// f x code for every code, cut toward zero and saturated; f = target / mean in double, kept as a
// float. A mean of 0 means every code is 0, which stays 0 (target / 0 would be infinite).
std::array<uchar, 256> scaleTable(double mean, int target) {
    const float factor = mean > 0 ? static_cast<float>(target / mean) : 0.0f;
    std::array<uchar, 256> table;
    for (int code = 0; code < 256; ++code) {
        const double product = static_cast<double>(factor) * code;
        table[code] = product <= 0 ? 0 : product >= 255 ? 255 : static_cast<uchar>(product);
    }
    return table;
}

} // namespace

LabCodes labCodes(const LabValue &value) {
    return {value.l * 255 / 100, value.a + 128, value.b + 128};
}

bool MeanLabAdjustment::bind(const cv::Mat &image) {
    try {
        cv::Mat bgr = toBgr8(image);
        if (bgr.empty())
            return false;
        cv::Mat newLab;
        cv::Mat newRoundTrip;
        cv::cvtColor(bgr, newLab, cv::COLOR_LBGR2Lab);
        cv::cvtColor(newLab, newRoundTrip, cv::COLOR_Lab2LBGR);
        cv::Mat newWork = newRoundTrip.clone();

        bgrSource = bgr;
        lab = newLab;
        roundTrip = newRoundTrip;
        work = newWork;
        lastRect = cv::Rect();
        meanRect = cv::Rect();
        return true;
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc
        return false;
    }
}

std::optional<cv::Rect> MeanLabAdjustment::adjust(const cv::Rect &rect, const LabCodes &target) {
    if (!isBound() || !rectInside(rect, work.size()))
        return std::nullopt;
    const uchar *toBgr = nullptr;
    try {
        // Everything that can fail happens before the work image is touched.
        toBgr = labToLinearBgr();
        if (!rect.empty() && rect != meanRect) {
            mean = cv::mean(lab(rect));
            meanRect = rect;
        }
    } catch (const std::exception &) { // cv::Exception, or std::bad_alloc for the table
        return std::nullopt;
    }

    const cv::Rect previous = lastRect;
    if (!previous.empty() && (previous & rect) != previous)
        roundTrip(previous).copyTo(work(previous));
    if (!rect.empty()) {
        const std::array<uchar, 256> scaleL = scaleTable(mean[0], target.l);
        const std::array<uchar, 256> scaleA = scaleTable(mean[1], target.a);
        const std::array<uchar, 256> scaleB = scaleTable(mean[2], target.b);
        cv::parallel_for_(cv::Range(rect.y, rect.y + rect.height), [&](const cv::Range &rows) {
            for (int row = rows.start; row < rows.end; ++row) {
                const uchar *code = lab.ptr(row) + 3 * rect.x;
                uchar *pixel = work.ptr(row) + 3 * rect.x;
                for (int col = 0; col < rect.width; ++col, code += 3, pixel += 3) {
                    const std::size_t index = std::size_t{scaleL[code[0]]} << 16 |
                                              std::size_t{scaleA[code[1]]} << 8 | scaleB[code[2]];
                    const uchar *bgr = toBgr + 3 * index;
                    pixel[0] = bgr[0];
                    pixel[1] = bgr[1];
                    pixel[2] = bgr[2];
                }
            }
        });
    }
    lastRect = rect;
    return previous | rect;
}
