// SPDX-License-Identifier: GPL-3.0-or-later
// PNG: the profile is the zlib-compressed iCCP chunk, which must come before PLTE and IDAT.
#include "embeddedprofilecodecs.h"

#include <QCoreApplication>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("EmbeddedProfile", text);
}

constexpr std::size_t messageSize = 256;

// Plain data only: libpng leaves its calls with longjmp.
struct PngReading {
    QIODevice *device;
    char error[messageSize];
    char profileWarning[messageSize];
};

void copyMessage(char *to, const char *message) {
    std::strncpy(to, message, messageSize - 1);
    to[messageSize - 1] = '\0';
}

void readBytes(png_structp png, png_bytep data, std::size_t length) {
    auto *reading = static_cast<PngReading *>(png_get_io_ptr(png));
    if (reading->device->read(reinterpret_cast<char *>(data), qint64(length)) != qint64(length))
        png_error(png, "the file ends inside its header");
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    copyMessage(static_cast<PngReading *>(png_get_error_ptr(png))->error, message);
    png_longjmp(png, 1);
}

// libpng drops a damaged or unfitting iCCP chunk with a warning that names the chunk.
void onWarning(png_structp png, png_const_charp message) {
    if (std::strncmp(message, "iCCP", 4) == 0)
        copyMessage(static_cast<PngReading *>(png_get_error_ptr(png))->profileWarning, message);
}

// Reads the chunks up to the first IDAT; true when that worked, with the profile in `icc`.
bool readHeader(PngReading &reading, std::vector<unsigned char> &icc) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, onError, onWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    volatile bool read = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &reading, readBytes);
        png_read_info(png, info);
        png_charp name = nullptr;
        int compression = 0;
        png_bytep data = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png, info, &name, &compression, &data, &length) != 0 && data)
            icc.assign(data, data + length);
        read = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return read;
}

std::uint32_t bigEndian32(const unsigned char *bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

void appendBigEndian32(std::vector<unsigned char> &out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(value >> shift));
}

void appendChunk(std::vector<unsigned char> &out, const char type[4],
                 const std::vector<unsigned char> &data) {
    appendBigEndian32(out, std::uint32_t(data.size()));
    const std::size_t typeStart = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32_z(0, out.data() + typeStart, 4 + data.size());
    appendBigEndian32(out, std::uint32_t(crc));
}

// The iCCP chunk's data: a name, the compression method 0 and the deflated profile.
std::optional<std::vector<unsigned char>> iccpData(const std::vector<unsigned char> &icc) {
    static const char name[] = "ICC profile";
    std::vector<unsigned char> data(name, name + sizeof name); // with its terminating zero
    data.push_back(0);
    const std::size_t head = data.size();
    uLongf packed = compressBound(uLong(icc.size()));
    data.resize(head + packed);
    if (compress2(data.data() + head, &packed, icc.data(), uLong(icc.size()), Z_BEST_COMPRESSION) !=
        Z_OK)
        return std::nullopt;
    data.resize(head + packed);
    return data;
}

bool isChunk(const unsigned char *type, const char *name) {
    return std::memcmp(type, name, 4) == 0;
}

} // namespace

EmbeddedProfile readPngProfile(QIODevice &device) {
    PngReading reading{&device, {}, {}};
    EmbeddedProfile profile;
    if (!readHeader(reading, profile.icc)) {
        profile.icc.clear();
        profile.error =
            tr("The PNG header cannot be read: %1").arg(QString::fromUtf8(reading.error));
    } else if (profile.icc.empty() || std::strstr(reading.profileWarning, "CRC")) {
        // libpng keeps a profile whose chunk fails its checksum; it may be any bytes.
        profile.icc.clear();
        if (reading.profileWarning[0] != '\0')
            profile.error =
                tr("The PNG file's ICC profile is damaged or does not fit the picture: %1")
                    .arg(QString::fromUtf8(reading.profileWarning));
    }
    return profile;
}

std::optional<std::vector<unsigned char>> embedPngProfile(const std::vector<unsigned char> &png,
                                                          const std::vector<unsigned char> &icc,
                                                          QString *error) {
    const auto refuse = [error](const QString &text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    const std::optional<std::vector<unsigned char>> data = iccpData(icc);
    if (!data || data->size() > 0x7fffffffu)
        return refuse(tr("The ICC profile is too large for a PNG file."));

    constexpr std::size_t signatureSize = 8;
    std::vector<unsigned char> out(png.begin(), png.begin() + signatureSize);
    out.reserve(png.size() + data->size() + 12);
    std::size_t at = signatureSize;
    bool placed = false;
    while (at < png.size()) {
        if (png.size() - at < 12)
            return refuse(tr("The PNG data is damaged: a chunk is cut short."));
        const std::uint32_t length = bigEndian32(&png[at]);
        if (length > png.size() - at - 12)
            return refuse(tr("The PNG data is damaged: a chunk is cut short."));
        const unsigned char *type = &png[at + 4];
        const std::size_t end = at + 12 + length;
        if (!placed && !isChunk(type, "IHDR"))
            return refuse(tr("The PNG data is damaged: it does not begin with IHDR."));
        // A picture has one profile; an sRGB chunk would contradict the new one.
        if (!isChunk(type, "iCCP") && !isChunk(type, "sRGB"))
            out.insert(out.end(), png.begin() + std::ptrdiff_t(at),
                       png.begin() + std::ptrdiff_t(end));
        if (!placed) {
            appendChunk(out, "iCCP", *data);
            placed = true;
        }
        at = end;
    }
    if (!placed)
        return refuse(tr("The PNG data is damaged: it holds no chunk."));
    return out;
}
