// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF: the profile is the value of tag 34675 in the first directory.
#include "embeddedprofilecodecs.h"

#include <QBuffer>
#include <QCoreApplication>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("EmbeddedProfile", text);
}

// Hostile files may declare huge tag values; none that a header needs comes near this.
constexpr tmsize_t largestAllocation = tmsize_t(256) << 20;

// The last error libtiff reported for one file, and the last warning about its profile, which
// libtiff drops when its tag is damaged; nothing goes to the global handlers.
struct TiffMessages {
    char error[512] = {};
    char profileWarning[512] = {};
};

void format(char (&to)[512], const char *module, const char *text, va_list arguments) {
    const int used = std::snprintf(to, sizeof to, "%s: ", module ? module : "TIFF");
    if (used >= 0 && std::size_t(used) < sizeof to)
        std::vsnprintf(to + used, sizeof to - std::size_t(used), text, arguments);
}

int keepError(TIFF *, void *userData, const char *module, const char *text, va_list arguments) {
    format(static_cast<TiffMessages *>(userData)->error, module, text, arguments);
    return 1;
}

int keepProfileWarning(TIFF *, void *userData, const char *module, const char *text,
                       va_list arguments) {
    char message[512];
    format(message, module, text, arguments);
    // libtiff's name for tag 34675.
    if (std::strstr(message, "ICC Profile"))
        std::memcpy(static_cast<TiffMessages *>(userData)->profileWarning, message, sizeof message);
    return 1;
}

class OpenOptions {
public:
    explicit OpenOptions(TiffMessages &messages) : options(TIFFOpenOptionsAlloc()) {
        if (!options)
            return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, largestAllocation);
        TIFFOpenOptionsSetErrorHandlerExtR(options, keepError, &messages);
        TIFFOpenOptionsSetWarningHandlerExtR(options, keepProfileWarning, &messages);
    }
    ~OpenOptions() { TIFFOpenOptionsFree(options); }
    OpenOptions(const OpenOptions &) = delete;
    OpenOptions &operator=(const OpenOptions &) = delete;
    TIFFOpenOptions *get() const { return options; }

private:
    TIFFOpenOptions *options;
};

// libtiff's client procedures over a QIODevice, read only.
tmsize_t deviceRead(thandle_t handle, void *data, tmsize_t size) {
    return tmsize_t(static_cast<QIODevice *>(handle)->read(static_cast<char *>(data), size));
}

tmsize_t refuseWrite(thandle_t, void *, tmsize_t) {
    return -1;
}

toff_t deviceSeek(thandle_t handle, toff_t offset, int whence) {
    auto *device = static_cast<QIODevice *>(handle);
    qint64 target = qint64(offset);
    if (whence == SEEK_CUR)
        target += device->pos();
    else if (whence == SEEK_END)
        target += device->size();
    if (offset > toff_t(INT64_MAX) || target < 0 || target > device->size() ||
        !device->seek(target))
        return toff_t(-1);
    return toff_t(target);
}

toff_t deviceSize(thandle_t handle) {
    return toff_t(static_cast<QIODevice *>(handle)->size());
}

// libtiff's client procedures over bytes in memory that writing may extend.
struct MemoryFile {
    std::vector<unsigned char> bytes;
    std::size_t position = 0;
};

tmsize_t memoryRead(thandle_t handle, void *data, tmsize_t size) {
    auto *file = static_cast<MemoryFile *>(handle);
    if (size < 0 || file->position >= file->bytes.size())
        return 0;
    const std::size_t count = std::min(std::size_t(size), file->bytes.size() - file->position);
    std::memcpy(data, file->bytes.data() + file->position, count);
    file->position += count;
    return tmsize_t(count);
}

tmsize_t memoryWrite(thandle_t handle, void *data, tmsize_t size) {
    auto *file = static_cast<MemoryFile *>(handle);
    if (size < 0)
        return -1;
    const std::size_t end = file->position + std::size_t(size);
    if (end > file->bytes.size())
        file->bytes.resize(end);
    std::memcpy(file->bytes.data() + file->position, data, std::size_t(size));
    file->position = end;
    return size;
}

toff_t memorySeek(thandle_t handle, toff_t offset, int whence) {
    auto *file = static_cast<MemoryFile *>(handle);
    std::size_t base = 0;
    if (whence == SEEK_CUR)
        base = file->position;
    else if (whence == SEEK_END)
        base = file->bytes.size();
    // libtiff seeks only within the file and to its end; a larger offset is damage.
    if (offset > toff_t(file->bytes.size()) + (toff_t(1) << 32))
        return toff_t(-1);
    file->position = base + std::size_t(offset);
    return toff_t(file->position);
}

toff_t memorySize(thandle_t handle) {
    return toff_t(static_cast<MemoryFile *>(handle)->bytes.size());
}

int closeNothing(thandle_t) {
    return 0;
}

int mapNothing(thandle_t, void **, toff_t *) {
    return 0;
}

void unmapNothing(thandle_t, void *, toff_t) {
}

QString messageText(const TiffMessages &messages) {
    return messages.error[0] ? QString::fromUtf8(messages.error) : tr("the library gave no reason");
}

} // namespace

EmbeddedProfile readTiffProfile(QIODevice &device) {
    TiffMessages messages;
    const OpenOptions options(messages);
    EmbeddedProfile profile;
    // "m": no memory mapping, the device is read through the procedures.
    TIFF *tiff =
        TIFFClientOpenExt("picture", "rm", &device, deviceRead, refuseWrite, deviceSeek,
                          closeNothing, deviceSize, mapNothing, unmapNothing, options.get());
    if (!tiff) {
        profile.error = tr("The TIFF header cannot be read: %1").arg(messageText(messages));
        return profile;
    }
    std::uint32_t length = 0;
    void *data = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &data) && data && length > 0) {
        const auto *bytes = static_cast<const unsigned char *>(data);
        profile.icc.assign(bytes, bytes + length);
    } else if (messages.profileWarning[0]) {
        profile.error = tr("The TIFF file's ICC profile is damaged: %1")
                            .arg(QString::fromUtf8(messages.profileWarning));
    }
    TIFFClose(tiff);
    return profile;
}

std::optional<std::vector<unsigned char>> embedTiffProfile(const std::vector<unsigned char> &tiff,
                                                           const std::vector<unsigned char> &icc,
                                                           QString *error) {
    if (icc.size() > 0xffffffffu) {
        if (error)
            *error = tr("The ICC profile is too large for a TIFF file.");
        return std::nullopt;
    }
    // Opened for update, libtiff would start a new file over data whose header it cannot read.
    QByteArray view = QByteArray::fromRawData(reinterpret_cast<const char *>(tiff.data()),
                                              qsizetype(tiff.size()));
    QBuffer buffer(&view);
    buffer.open(QIODevice::ReadOnly);
    const EmbeddedProfile readable = readTiffProfile(buffer);
    if (!readable.error.isEmpty()) {
        if (error)
            *error = readable.error;
        return std::nullopt;
    }
    TiffMessages messages;
    const OpenOptions options(messages);
    MemoryFile file{tiff, 0};
    TIFF *open =
        TIFFClientOpenExt("picture", "r+m", &file, memoryRead, memoryWrite, memorySeek,
                          closeNothing, memorySize, mapNothing, unmapNothing, options.get());
    if (!open) {
        if (error)
            *error = tr("The TIFF data cannot be opened: %1").arg(messageText(messages));
        return std::nullopt;
    }
    // The directory is written anew at the end, pointing to the same pixel data.
    const bool rewritten =
        TIFFSetField(open, TIFFTAG_ICCPROFILE, std::uint32_t(icc.size()), icc.data()) &&
        TIFFRewriteDirectory(open);
    TIFFClose(open);
    if (!rewritten) {
        if (error)
            *error = tr("The profile could not be added to the TIFF data: %1")
                         .arg(messageText(messages));
        return std::nullopt;
    }
    return std::move(file.bytes);
}
