// SPDX-License-Identifier: GPL-3.0-or-later
#include "distinctcodes.h"

#include <algorithm>

namespace {

constexpr std::size_t codeCount = std::size_t{1} << 24;
constexpr std::size_t wordCount = codeCount / 64;

} // namespace

void DistinctCodes::clear() {
    if (firstWord <= lastWord)
        std::fill(present.begin() + firstWord, present.begin() + lastWord + 1, 0);
    firstWord = static_cast<std::uint32_t>(wordCount);
    lastWord = 0;
    found.clear();
}

bool DistinctCodes::find(const cv::Mat &part, const cv::Mat &mask, std::size_t maxCodes) {
    CV_Assert(part.type() == CV_8UC3 && (mask.empty() || mask.size() == part.size()));
    present.resize(wordCount);
    codesBelow.resize(wordCount);
    clear();

    std::size_t distinct = 0;
    for (int row = 0; row < part.rows; ++row) {
        const uchar *pixel = part.ptr(row);
        const uchar *selected = mask.empty() ? nullptr : mask.ptr(row);
        for (int col = 0; col < part.cols; ++col, pixel += 3) {
            if (selected && !selected[col])
                continue;
            const std::uint32_t code = packed(pixel);
            std::uint64_t &word = present[code >> 6];
            if (word & bitOf(code))
                continue;
            word |= bitOf(code);
            firstWord = std::min(firstWord, code >> 6);
            lastWord = std::max(lastWord, code >> 6);
            if (++distinct > maxCodes) {
                clear();
                return false;
            }
        }
    }

    found.reserve(distinct);
    std::uint32_t below = 0;
    for (std::uint32_t w = firstWord; w <= lastWord && distinct > 0; ++w) {
        codesBelow[w] = below;
        std::uint64_t bits = present[w];
        below += bitCount(bits);
        for (; bits != 0; bits &= bits - 1)
            found.push_back(w << 6 | static_cast<std::uint32_t>(__builtin_ctzll(bits)));
    }
    return true;
}

std::vector<std::uint32_t> DistinctCodes::pixelCounts(const cv::Mat &part,
                                                      const cv::Mat &mask) const {
    std::vector<std::uint32_t> counts(found.size());
    for (int row = 0; row < part.rows; ++row) {
        const uchar *pixel = part.ptr(row);
        const uchar *selected = mask.empty() ? nullptr : mask.ptr(row);
        for (int col = 0; col < part.cols; ++col, pixel += 3)
            if (!selected || selected[col])
                ++counts[indexOf(packed(pixel))];
    }
    return counts;
}
