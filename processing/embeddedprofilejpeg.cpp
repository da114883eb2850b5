// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG: the profile is split over APP2 markers tagged "ICC_PROFILE", numbered from 1.
#include "embeddedprofilecodecs.h"

#include <QCoreApplication>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("EmbeddedProfile", text);
}

constexpr JOCTET endOfImage[2] = {0xff, JPEG_EOI};

// Feeds libjpeg from the device in blocks; plain data, as libjpeg leaves with longjmp.
struct DeviceSource {
    jpeg_source_mgr manager;
    QIODevice *device;
    JOCTET buffer[65536];
};

void initSource(j_decompress_ptr) {
}
void termSource(j_decompress_ptr) {
}

boolean fillInputBuffer(j_decompress_ptr info) {
    auto *source = reinterpret_cast<DeviceSource *>(info->src);
    const qint64 got =
        source->device->read(reinterpret_cast<char *>(source->buffer), sizeof source->buffer);
    if (got <= 0) {
        // As libjpeg's own sources do: a warning, then an end marker so the header read stops.
        WARNMS(info, JWRN_JPEG_EOF);
        source->manager.next_input_byte = endOfImage;
        source->manager.bytes_in_buffer = sizeof endOfImage;
        return TRUE;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = std::size_t(got);
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count) {
    jpeg_source_mgr *manager = info->src;
    while (count > long(manager->bytes_in_buffer)) {
        count -= long(manager->bytes_in_buffer);
        fillInputBuffer(info);
    }
    if (count > 0) {
        manager->next_input_byte += count;
        manager->bytes_in_buffer -= std::size_t(count);
    }
}

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void errorExit(j_common_ptr info) {
    auto *errors = reinterpret_cast<ErrorManager *>(info->err);
    errors->manager.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Neither warnings nor trace messages are printed.
void emitMessage(j_common_ptr, int) {
}

void outputMessage(j_common_ptr) {
}

constexpr unsigned char iccTag[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

bool hasIccMarker(const jpeg_decompress_struct &info) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 2 && marker->data_length >= sizeof iccTag &&
            std::memcmp(marker->data, iccTag, sizeof iccTag) == 0)
            return true;
    return false;
}

// Reads the markers up to the first scan. True when that worked, with the profile, which the
// caller frees, in `data`, or whether ICC markers that do not fit together were there.
bool readHeader(DeviceSource &source, ErrorManager &errors, JOCTET **data, unsigned *length,
                bool *damagedProfile) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = errorExit;
    errors.manager.emit_message = emitMessage;
    errors.manager.output_message = outputMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    source.manager.init_source = initSource;
    source.manager.fill_input_buffer = fillInputBuffer;
    source.manager.skip_input_data = skipInputData;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = termSource;
    source.manager.bytes_in_buffer = 0;
    source.manager.next_input_byte = nullptr;
    info.src = &source.manager;
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&info, TRUE);
    if (!jpeg_read_icc_profile(&info, data, length)) {
        *data = nullptr;
        *damagedProfile = hasIccMarker(info);
    }
    jpeg_destroy_decompress(&info);
    return true;
}

// A marker segment holds 65535 bytes with its length field; the tag and the two numbers take 14.
constexpr std::size_t chunkSize = 65535 - 2 - 14;
constexpr std::size_t maxChunks = 255;

bool isIccMarker(const std::vector<unsigned char> &jpeg, std::size_t at, std::size_t length) {
    return jpeg[at + 1] == JPEG_APP0 + 2 && length >= 2 + sizeof iccTag &&
           std::memcmp(&jpeg[at + 4], iccTag, sizeof iccTag) == 0;
}

void appendIccMarkers(std::vector<unsigned char> &out, const std::vector<unsigned char> &icc) {
    const std::size_t count = (icc.size() + chunkSize - 1) / chunkSize;
    for (std::size_t chunk = 0; chunk < count; ++chunk) {
        const std::size_t start = chunk * chunkSize;
        const std::size_t size = std::min(chunkSize, icc.size() - start);
        const std::size_t length = 2 + sizeof iccTag + 2 + size;
        out.insert(out.end(), {0xff, JPEG_APP0 + 2, static_cast<unsigned char>(length >> 8),
                               static_cast<unsigned char>(length & 0xff)});
        out.insert(out.end(), iccTag, iccTag + sizeof iccTag);
        out.push_back(static_cast<unsigned char>(chunk + 1));
        out.push_back(static_cast<unsigned char>(count));
        out.insert(out.end(), icc.begin() + std::ptrdiff_t(start),
                   icc.begin() + std::ptrdiff_t(start + size));
    }
}

} // namespace

EmbeddedProfile readJpegProfile(QIODevice &device) {
    // Large buffers: on the heap, and still plain data for longjmp.
    auto *source = static_cast<DeviceSource *>(std::calloc(1, sizeof(DeviceSource)));
    auto *errors = static_cast<ErrorManager *>(std::calloc(1, sizeof(ErrorManager)));
    EmbeddedProfile profile;
    if (!source || !errors) {
        std::free(source);
        std::free(errors);
        profile.error = tr("There is not enough memory to read the JPEG header.");
        return profile;
    }
    source->device = &device;
    JOCTET *data = nullptr;
    unsigned length = 0;
    bool damagedProfile = false;
    if (!readHeader(*source, *errors, &data, &length, &damagedProfile)) {
        profile.error =
            tr("The JPEG header cannot be read: %1").arg(QString::fromUtf8(errors->message));
    } else if (data) {
        profile.icc.assign(data, data + length);
    } else if (damagedProfile) {
        profile.error = tr("The JPEG file's ICC profile is damaged: its markers do not fit "
                           "together.");
    }
    std::free(data);
    std::free(source);
    std::free(errors);
    return profile;
}

std::optional<std::vector<unsigned char>> embedJpegProfile(const std::vector<unsigned char> &jpeg,
                                                           const std::vector<unsigned char> &icc,
                                                           QString *error) {
    const auto refuse = [error](const QString &text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if ((icc.size() + chunkSize - 1) / chunkSize > maxChunks)
        return refuse(tr("The ICC profile is too large for a JPEG file, which holds at most %L1 "
                         "bytes of profile.")
                          .arg(qulonglong(chunkSize * maxChunks)));
    const QString damaged = tr("The JPEG data is damaged: its markers cannot be followed.");
    std::vector<unsigned char> out(jpeg.begin(), jpeg.begin() + 2);
    out.reserve(jpeg.size() + icc.size() + 18 * (icc.size() / chunkSize + 1));
    std::size_t at = 2;
    bool placed = false;
    // Copy the markers before the first scan, the profile's old markers left out; the scan and
    // all after it stay as they are.
    while (true) {
        if (jpeg.size() - at < 4 || jpeg[at] != 0xff)
            return refuse(damaged);
        const unsigned char marker = jpeg[at + 1];
        if (marker == JPEG_EOI || marker == 0xda) { // end of image, start of scan
            if (!placed)
                appendIccMarkers(out, icc);
            out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(at), jpeg.end());
            return out;
        }
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || length > jpeg.size() - at - 2)
            return refuse(damaged);
        // JFIF requires its APP0 markers (JFIF, then any JFXX) right after SOI.
        if (!placed && marker != JPEG_APP0) {
            appendIccMarkers(out, icc);
            placed = true;
        }
        if (!isIccMarker(jpeg, at, length))
            out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(at),
                       jpeg.begin() + std::ptrdiff_t(at + 2 + length));
        at += 2 + length;
    }
}
