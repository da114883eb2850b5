// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

// The distinct pixels of an 8-bit three-channel picture part, each packed as
// byte 0 << 16 | byte 1 << 8 | byte 2. Re-coloured patches, decoded series files and Lab codes
// repeat a few thousand values over a million pixels, so work done once per distinct value
// instead of once per pixel costs little.
//
// One bit per possible value (2 MB) and the count of values below each word of bits (1 MB) are
// kept between calls; each find() clears what the previous one set.
class DistinctCodes {
public:
    // Finds the distinct values of `part` (CV_8UC3), or of its pixels where `mask` (CV_8UC1 of
    // the part's size, when not empty) is non-zero. False, with nothing found, as soon as there
    // are more than `maxCodes`. May throw std::bad_alloc before it finds anything.
    bool find(const cv::Mat &part, const cv::Mat &mask, std::size_t maxCodes);

    // The values found, ascending.
    const std::vector<std::uint32_t> &codes() const { return found; }

    // The position in codes() of a value found by the last successful find().
    std::uint32_t indexOf(std::uint32_t code) const {
        const std::uint32_t word = code >> 6;
        return codesBelow[word] + bitCount(present[word] & (bitOf(code) - 1));
    }

    // How many pixels of `part` (where `mask` is non-zero) hold each value of codes(); `part`
    // and `mask` are those of the last successful find().
    std::vector<std::uint32_t> pixelCounts(const cv::Mat &part, const cv::Mat &mask) const;

    static std::uint32_t packed(const uchar *pixel) {
        return std::uint32_t{pixel[0]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[2];
    }

private:
    static std::uint64_t bitOf(std::uint32_t code) { return std::uint64_t{1} << (code & 63); }
    // Inline: without a POPCNT target, __builtin_popcountll is a library call per pixel.
    static std::uint32_t bitCount(std::uint64_t bits) {
        bits -= (bits >> 1) & 0x5555555555555555u;
        bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
        bits = (bits + (bits >> 4)) & 0x0f0f0f0f0f0f0f0fu;
        return static_cast<std::uint32_t>((bits * 0x0101010101010101u) >> 56);
    }
    void clear();

    std::vector<std::uint64_t> present;
    std::vector<std::uint32_t> codesBelow;
    std::vector<std::uint32_t> found;
    // The words of `present` that may hold bits: [firstWord, lastWord].
    std::uint32_t firstWord = 1;
    std::uint32_t lastWord = 0;
};
