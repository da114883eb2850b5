// SPDX-License-Identifier: GPL-3.0-or-later
// Headers of binary layout: bitmaps, TIFF, WebP, JPEG 2000, Sun raster and OpenEXR.
#include "declaredpicturesizereaders.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>

namespace {

std::int64_t littleEndian(const QByteArray &bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes[at + i]);
    return size == 4 ? std::int64_t(std::int32_t(value)) : std::int64_t(value);
}

std::uint32_t bigEndian(const QByteArray &bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = (value << 8) | uchar(bytes[at + i]);
    return value;
}

std::optional<DeclaredPicture> declared(std::int64_t width, std::int64_t height,
                                        int bytesPerPixel) {
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return DeclaredPicture{width, height, bytesPerPixel};
}

// The content of the first box of the given type among the JP2 boxes between `from` and `to`:
// its offset and length.
std::optional<std::pair<qint64, qint64>> findBox(QFile &file, qint64 from, qint64 to,
                                                 const char *type) {
    // Real files hold a handful of boxes; a forged chain of empty ones ends here.
    for (int box = 0; box < 1024 && from + 8 <= to; ++box) {
        if (!file.seek(from))
            return std::nullopt;
        const QByteArray header = file.read(16);
        if (header.size() < 8)
            return std::nullopt;
        qint64 length = bigEndian(header, 0, 4);
        qint64 headerLength = 8;
        if (length == 1) {
            if (header.size() < 16)
                return std::nullopt;
            length =
                qint64(std::uint64_t(bigEndian(header, 8, 4)) << 32 | bigEndian(header, 12, 4));
            headerLength = 16;
        } else if (length == 0) {
            length = to - from;
        }
        if (length < headerLength || length > to - from)
            return std::nullopt;
        if (header.mid(4, 4) == type)
            return std::pair(from + headerLength, length - headerLength);
        from += length;
    }
    return std::nullopt;
}

// A TIFF file's first directory, classic or BigTIFF, in either byte order.
class TiffHeader {
public:
    explicit TiffHeader(QFile &tiff) : file(tiff) {}

    std::optional<DeclaredPicture> read() {
        const QByteArray head = file.read(16);
        if (head.size() < 8)
            return std::nullopt;
        bigEndian = head.startsWith("MM");
        const std::uint64_t version = number(head, 2, 2);
        big = version == 43;
        if (version != 42 && !big)
            return std::nullopt;
        const std::uint64_t directory = big ? number(head, 8, 8) : number(head, 4, 4);
        const int entrySize = big ? 20 : 12;
        const int countSize = big ? 8 : 2;
        if (!file.seek(qint64(directory)))
            return std::nullopt;
        const std::uint64_t count = number(file.read(countSize), 0, countSize);
        if (count == 0 || count > 4096)
            return std::nullopt;
        const QByteArray entries = file.read(qint64(count) * entrySize);
        if (entries.size() != qint64(count) * entrySize)
            return std::nullopt;

        DeclaredPicture picture;
        std::uint64_t bitsPerSample = 1;
        std::uint64_t samplesPerPixel = 1;
        for (std::uint64_t i = 0; i < count; ++i) {
            const int at = int(i) * entrySize;
            const std::uint64_t tag = number(entries, at, 2);
            const std::uint64_t type = number(entries, at + 2, 2);
            const std::uint64_t value = firstValue(entries, at + 4, at + (big ? 12 : 8), int(type));
            if (tag == 256)
                picture.width = std::int64_t(value);
            else if (tag == 257)
                picture.height = std::int64_t(value);
            else if (tag == 258)
                bitsPerSample = std::max<std::uint64_t>(value, 1);
            else if (tag == 277)
                samplesPerPixel = std::max<std::uint64_t>(value, 1);
        }
        if (picture.width <= 0 || picture.height <= 0 || picture.width > (std::int64_t(1) << 32) ||
            picture.height > (std::int64_t(1) << 32))
            return std::nullopt;
        // Every sample is taken to be as large as the first.
        picture.bytesPerPixel =
            int(std::max<std::uint64_t>(1, std::min<std::uint64_t>(samplesPerPixel, 64) *
                                               std::min<std::uint64_t>(bitsPerSample, 64) / 8));
        return picture;
    }

private:
    static int typeSize(int type) {
        switch (type) {
        case 3: // SHORT
            return 2;
        case 4: // LONG
            return 4;
        case 16: // LONG8
            return 8;
        default:
            return 0;
        }
    }

    // The first value of an entry: in the entry itself when all its values fit there, otherwise
    // at the offset the entry holds.
    std::uint64_t firstValue(const QByteArray &entries, int countAt, int valueAt, int type) {
        const int size = typeSize(type);
        if (size == 0)
            return 0;
        const int inlineBytes = big ? 8 : 4;
        const std::uint64_t count = number(entries, countAt, big ? 8 : 4);
        if (count * std::uint64_t(size) <= std::uint64_t(inlineBytes))
            return number(entries, valueAt, size);
        const std::uint64_t offset = number(entries, valueAt, inlineBytes);
        const qint64 back = file.pos();
        const QByteArray value = file.seek(qint64(offset)) ? file.read(size) : QByteArray();
        file.seek(back);
        return number(value, 0, size);
    }

    std::uint64_t number(const QByteArray &bytes, int at, int size) const {
        if (at + size > bytes.size())
            return 0;
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            const auto byte = std::uint64_t(uchar(bytes[bigEndian ? at + i : at + size - 1 - i]));
            value = (value << 8) | byte;
        }
        return value;
    }

    QFile &file;
    bool bigEndian = false;
    bool big = false;
};

} // namespace

// The old OS/2 form with 16-bit sides, or the Windows forms with signed 32-bit ones (negative
// height for rows stored top down). The image library decodes them to three channels, or four from
// 32 bits per pixel.
std::optional<DeclaredPicture> readBitmapHeader(QFile &file) {
    const QByteArray head = file.read(30);
    if (head.size() < 26)
        return std::nullopt;
    const std::int64_t infoSize = littleEndian(head, 14, 4);
    const bool core = infoSize == 12;
    if (!core && (infoSize < 40 || head.size() < 30))
        return std::nullopt;
    DeclaredPicture picture;
    picture.width = core ? littleEndian(head, 18, 2) : littleEndian(head, 18, 4);
    picture.height = core ? littleEndian(head, 20, 2) : std::abs(littleEndian(head, 22, 4));
    const std::int64_t bits = core ? littleEndian(head, 24, 2) : littleEndian(head, 28, 2);
    if (picture.width <= 0 || picture.height <= 0)
        return std::nullopt;
    picture.bytesPerPixel = bits == 32 ? 4 : 3;
    return picture;
}

std::optional<DeclaredPicture> readTiffHeader(QFile &file) {
    return TiffHeader(file).read();
}

std::optional<DeclaredPicture> readWebpHeader(QFile &file) {
    const QByteArray head = file.read(30);
    if (head.size() < 25 || !head.startsWith("RIFF") || head.mid(8, 4) != "WEBP")
        return std::nullopt;
    const QByteArray chunk = head.mid(12, 4);
    // Decoded to four channels at most.
    if (chunk == "VP8L") {
        if (uchar(head[20]) != 0x2f)
            return std::nullopt;
        const auto bits = std::uint32_t(littleEndian(head, 21, 4));
        return declared((bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1, 4);
    }
    if (head.size() < 30)
        return std::nullopt;
    if (chunk == "VP8X")
        return declared(littleEndian(head, 24, 3) + 1, littleEndian(head, 27, 3) + 1, 4);
    if (chunk == "VP8 " && head.mid(23, 3) == "\x9d\x01\x2a")
        return declared(littleEndian(head, 26, 2) & 0x3fff, littleEndian(head, 28, 2) & 0x3fff, 4);
    return std::nullopt;
}

std::optional<DeclaredPicture> readJp2Header(QFile &file) {
    const qint64 end = file.size();
    const auto header = findBox(file, 0, end, "jp2h");
    if (!header)
        return std::nullopt;
    const auto image = findBox(file, header->first, header->first + header->second, "ihdr");
    if (!image || image->second < 11 || !file.seek(image->first))
        return std::nullopt;
    const QByteArray ihdr = file.read(11);
    if (ihdr.size() < 11)
        return std::nullopt;
    const int components = int(std::clamp<std::uint32_t>(bigEndian(ihdr, 8, 2), 1, 4));
    // Bits per component less one; 255 when the components differ.
    const int bits = uchar(ihdr[10]) == 255 ? 16 : (uchar(ihdr[10]) & 0x7f) + 1;
    return declared(bigEndian(ihdr, 4, 4), bigEndian(ihdr, 0, 4), components * (bits > 8 ? 2 : 1));
}

std::optional<DeclaredPicture> readJ2kHeader(QFile &file) {
    const QByteArray siz = file.read(43);
    if (siz.size() < 43)
        return std::nullopt;
    const std::int64_t width = std::int64_t(bigEndian(siz, 8, 4)) - bigEndian(siz, 16, 4);
    const std::int64_t height = std::int64_t(bigEndian(siz, 12, 4)) - bigEndian(siz, 20, 4);
    const int components = int(std::clamp<std::uint32_t>(bigEndian(siz, 40, 2), 1, 4));
    const int bits = (uchar(siz[42]) & 0x7f) + 1;
    return declared(width, height, components * (bits > 8 ? 2 : 1));
}

std::optional<DeclaredPicture> readSunRasterHeader(QFile &file) {
    const QByteArray head = file.read(24);
    if (head.size() < 24)
        return std::nullopt;
    const std::uint32_t bits = bigEndian(head, 12, 4);
    // Decoded to three channels, or four from 32 bits per pixel.
    std::optional<DeclaredPicture> picture =
        declared(bigEndian(head, 4, 4), bigEndian(head, 8, 4), bits == 32 ? 4 : 3);
    // All but the run-length encoded kind (2) store their rows as they are.
    constexpr std::uint32_t runLengthEncoded = 2;
    if (picture && bigEndian(head, 20, 4) != runLengthEncoded)
        picture->leastFileBytes = DeclaredPicture::saturatedProduct(
            DeclaredPicture::saturatedProduct(picture->width, bits) / 8, picture->height);
    return picture;
}

std::optional<DeclaredPicture> readExrHeader(QFile &file) {
    const QByteArray start = file.read(8);
    // Deep data and multi-part files are beyond the image library's reader.
    constexpr std::int64_t deepOrMultiPart = 0x800 | 0x1000;
    if (start.size() < 8 || (littleEndian(start, 4, 4) & deepOrMultiPart) != 0)
        return std::nullopt;
    std::optional<DeclaredPicture> picture;
    int channels = 0;
    qint64 at = 8;
    // Attributes: name, type name (each at most 255 bytes and a zero), size, value; an empty
    // name ends them.
    for (int attribute = 0; attribute < 4096 && file.seek(at); ++attribute) {
        const QByteArray head = file.read(2 * 256 + 4 + 16);
        const qsizetype nameEnd = head.indexOf('\0');
        if (nameEnd == 0)
            break;
        const qsizetype typeEnd = nameEnd < 0 ? -1 : head.indexOf('\0', nameEnd + 1);
        if (typeEnd < 0 || typeEnd + 5 > head.size())
            return std::nullopt;
        const QByteArray name = head.left(nameEnd);
        const std::int64_t size = littleEndian(head, int(typeEnd) + 1, 4);
        const qint64 value = at + typeEnd + 5;
        if (size < 0 || value + size > file.size())
            return std::nullopt;
        if (name == "dataWindow" && size == 16 && typeEnd + 21 <= head.size()) {
            const int box = int(typeEnd) + 5;
            picture =
                declared(littleEndian(head, box + 8, 4) - littleEndian(head, box, 4) + 1,
                         littleEndian(head, box + 12, 4) - littleEndian(head, box + 4, 4) + 1, 0);
        } else if (name == "channels" && file.seek(value)) {
            // Each channel: its name, a zero and 16 bytes.
            const QByteArray list = file.read(std::min<std::int64_t>(size, 64 * 1024));
            for (qsizetype i = 0; i < list.size() && list[i] != '\0'; i += 17) {
                i = list.indexOf('\0', i);
                if (i < 0)
                    break;
                ++channels;
            }
        }
        at = value + size;
    }
    if (!picture || channels == 0)
        return std::nullopt;
    // Decoded to 32-bit floats, four channels at most.
    picture->bytesPerPixel = 4 * std::min(channels, 4);
    return picture;
}
