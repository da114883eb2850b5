// SPDX-License-Identifier: GPL-3.0-or-later
#include "declaredpicturesize.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>

namespace {

bool startsWith(const QByteArray &bytes, const char *prefix, int length) {
    return bytes.size() >= length && std::equal(prefix, prefix + length, bytes.constData());
}

// Qt's readers know these headers; the decoded depth is estimated from Qt's own format.
std::optional<DeclaredPicture> readWithQt(QFile &file, const char *format) {
    QImageReader reader(&file, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    const int bits = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
    return DeclaredPicture{size.width(), size.height(), std::max(1, bits / 8)};
}

std::int64_t littleEndian(const QByteArray &bytes, int at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | uchar(bytes[at + i]);
    return size == 4 ? std::int64_t(std::int32_t(value)) : std::int64_t(value);
}

// Qt's reader gives no size for bitmaps over 16384 x 16384, so the header is read here: the
// old OS/2 form with 16-bit sides, or the Windows forms with signed 32-bit ones (negative height
// for rows stored top down). The image library decodes them to three channels, or four from 32
// bits per pixel.
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

std::optional<DeclaredPicture> readDeclaredPicture(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.peek(8);
    if (startsWith(head, "\x89PNG\r\n\x1a\n", 8))
        return readWithQt(file, "png");
    if (startsWith(head, "\xff\xd8\xff", 3))
        return readWithQt(file, "jpeg");
    if (startsWith(head, "BM", 2))
        return readBitmapHeader(file);
    if (startsWith(head, "II", 2) || startsWith(head, "MM", 2))
        return TiffHeader(file).read();
    return std::nullopt;
}
