// SPDX-License-Identifier: GPL-3.0-or-later
#include "palettefill.h"

#include <opencv2/core.hpp>

#include <cstring>

void packBgr(const cv::Mat &colours, int count, std::vector<std::uint32_t> &packed) {
    packed.resize(static_cast<std::size_t>(count));
    packBgr(colours, count, packed.data());
}

void packBgr(const cv::Mat &colours, int count, std::uint32_t *packed) {
    CV_Assert(colours.type() == CV_8UC3 && colours.isContinuous() &&
              static_cast<int>(colours.total()) >= count);
    const uchar *bgr = colours.ptr();
    for (std::uint32_t *colour = packed; colour != packed + count; ++colour, bgr += 3)
        *colour = std::uint32_t{bgr[0]} | std::uint32_t{bgr[1]} << 8 | std::uint32_t{bgr[2]} << 16;
}

void fillFromPalette(cv::Mat &picture, const cv::Rect &rect, const cv::Mat &index,
                     const std::vector<std::uint32_t> &colours) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                  "packed pixels are stored as little-endian words");
    // Sixteen pixels are 48 bytes, stored at once: the rectangle is rarely in cache, and wide
    // stores keep the writes from stalling.
    constexpr int pixelsPerStore = 16;
    const std::uint32_t *colour = colours.data();
    cv::parallel_for_(cv::Range(0, rect.height), [&](const cv::Range &rows) {
        for (int row = rows.start; row < rows.end; ++row) {
            const auto *at = index.ptr<std::int32_t>(row);
            uchar *pixel = picture.ptr(rect.y + row) + 3 * rect.x;
            int col = 0;
            for (; col + pixelsPerStore <= rect.width; col += pixelsPerStore) {
                std::uint32_t words[pixelsPerStore / 4 * 3];
                for (int quad = 0; quad < pixelsPerStore / 4; ++quad) {
                    const std::int32_t *four = at + col + 4 * quad;
                    const std::uint32_t p0 = colour[four[0]];
                    const std::uint32_t p1 = colour[four[1]];
                    const std::uint32_t p2 = colour[four[2]];
                    const std::uint32_t p3 = colour[four[3]];
                    words[3 * quad] = p0 | p1 << 24;
                    words[3 * quad + 1] = p1 >> 8 | p2 << 16;
                    words[3 * quad + 2] = p2 >> 16 | p3 << 8;
                }
                std::memcpy(pixel, words, sizeof words);
                pixel += sizeof words;
            }
            for (; col < rect.width; ++col, pixel += 3) {
                const std::uint32_t p = colour[at[col]];
                pixel[0] = static_cast<uchar>(p);
                pixel[1] = static_cast<uchar>(p >> 8);
                pixel[2] = static_cast<uchar>(p >> 16);
            }
        }
    });
}
