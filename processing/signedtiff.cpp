// SPDX-License-Identifier: GPL-3.0-or-later
#include "signedtiff.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <limits>

namespace {

enum FieldType : std::uint16_t { Short = 3, Long = 4 };

struct Field {
    std::uint16_t tag;
    FieldType type;
    std::uint32_t count;
    // The value itself, or the offset of the values when they do not fit in four bytes.
    std::uint32_t value;
};

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::vector<uchar> &out) : bytes(out) {}
    void put16(std::uint16_t value) {
        bytes.push_back(uchar(value & 0xff));
        bytes.push_back(uchar(value >> 8));
    }
    void put32(std::uint32_t value) {
        put16(std::uint16_t(value & 0xffff));
        put16(std::uint16_t(value >> 16));
    }

private:
    std::vector<uchar> &bytes;
};

bool isSigned(int depth) {
    return depth == CV_8S || depth == CV_16S || depth == CV_32S;
}

} // namespace

std::vector<uchar> encodeSignedTiff(const cv::Mat &image) {
    const int channels = image.channels();
    if (image.empty() || image.dims != 2 || !isSigned(image.depth()) || channels > 4)
        return {};
    const std::uint64_t pixelBytes = std::uint64_t(image.total()) * image.elemSize();
    const std::uint16_t bits = std::uint16_t(8 * image.elemSize1());
    const bool colour = channels >= 3;
    const bool extraSample = channels == 2 || channels == 4;

    std::vector<Field> fields = {
        {256, Long, 1, std::uint32_t(image.cols)},
        {257, Long, 1, std::uint32_t(image.rows)},
        {258, Short, std::uint32_t(channels), bits},
        {259, Short, 1, 1},                // no compression
        {262, Short, 1, colour ? 2u : 1u}, // RGB, or black is zero
        {273, Long, 1, 0},                 // strip offset, set below
        {277, Short, 1, std::uint32_t(channels)},
        {278, Long, 1, std::uint32_t(image.rows)},
        {279, Long, 1, std::uint32_t(pixelBytes)},
        {284, Short, 1, 1}, // samples interleaved
    };
    if (extraSample)
        fields.push_back({338, Short, 1, 2});                   // unassociated alpha
    fields.push_back({339, Short, std::uint32_t(channels), 2}); // signed integers

    const std::uint32_t directoryOffset = 8;
    const std::uint32_t arraysOffset = directoryOffset + 2 + 12 * std::uint32_t(fields.size()) + 4;
    // Bits per sample and sample format need an array each when there are more than two.
    const bool arrays = channels > 2;
    const std::uint32_t pixelOffset = arraysOffset + (arrays ? 4u * channels : 0u);
    if (pixelOffset + pixelBytes > std::numeric_limits<std::uint32_t>::max())
        return {};

    std::vector<uchar> out;
    out.reserve(pixelOffset + std::size_t(pixelBytes));
    LittleEndianWriter put(out);
    out.push_back('I');
    out.push_back('I');
    put.put16(42);
    put.put32(directoryOffset);
    put.put16(std::uint16_t(fields.size()));
    for (const Field &field : fields) {
        put.put16(field.tag);
        put.put16(field.type);
        put.put32(field.count);
        const bool perChannel = field.tag == 258 || field.tag == 339;
        if (field.tag == 273) {
            put.put32(pixelOffset);
        } else if (perChannel && arrays) {
            put.put32(field.tag == 258 ? arraysOffset : arraysOffset + 2u * channels);
        } else if (field.type == Short) {
            // Values of SHORT fields sit left-justified in the four bytes.
            put.put16(std::uint16_t(field.value));
            put.put16(perChannel && channels == 2 ? std::uint16_t(field.value) : 0);
        } else {
            put.put32(field.value);
        }
    }
    put.put32(0); // no further directory
    if (arrays) {
        for (int i = 0; i < channels; ++i)
            put.put16(bits);
        for (int i = 0; i < channels; ++i)
            put.put16(2);
    }

    out.resize(pixelOffset + std::size_t(pixelBytes));
    cv::Mat pixels(image.size(), image.type(), out.data() + pixelOffset);
    if (colour) {
        // Blue-green-red(-alpha) to red-green-blue(-alpha).
        const int order[] = {0, 2, 1, 1, 2, 0, 3, 3};
        cv::mixChannels(&image, 1, &pixels, 1, order, std::size_t(channels));
    } else {
        image.copyTo(pixels);
    }
    return out;
}
