// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofile.h"

#include "drivepath.h"
#include "embeddedprofilecodecs.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstring>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("EmbeddedProfile", text);
}

enum class Format { Png, Jpeg, Tiff, Other };

Format formatOf(const char *head, qint64 size) {
    static const char png[] = "\x89PNG\r\n\x1a\n";
    if (size >= 8 && std::memcmp(head, png, 8) == 0)
        return Format::Png;
    if (size >= 3 && std::memcmp(head, "\xff\xd8\xff", 3) == 0)
        return Format::Jpeg;
    // Classic and BigTIFF, both byte orders.
    if (size >= 4 && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0 ||
                      std::memcmp(head, "II+\0", 4) == 0 || std::memcmp(head, "MM\0+", 4) == 0))
        return Format::Tiff;
    return Format::Other;
}

EmbeddedProfile readFrom(QIODevice &device) {
    char head[8] = {};
    const qint64 got = device.peek(head, sizeof head);
    switch (formatOf(head, got)) {
    case Format::Png:
        return readPngProfile(device);
    case Format::Jpeg:
        return readJpegProfile(device);
    case Format::Tiff:
        return readTiffProfile(device);
    case Format::Other:
        break;
    }
    return {};
}

} // namespace

EmbeddedProfile readEmbeddedProfile(const QString &name) {
    QFile file(resolveDrivePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        EmbeddedProfile failed;
        failed.error = tr("The file cannot be read: %1").arg(file.errorString());
        return failed;
    }
    return readFrom(file);
}

EmbeddedProfile readEmbeddedProfile(const unsigned char *bytes, std::size_t size) {
    QByteArray view =
        QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), qsizetype(size));
    QBuffer buffer(&view);
    buffer.open(QIODevice::ReadOnly);
    return readFrom(buffer);
}

std::optional<std::vector<unsigned char>> embedProfile(const std::vector<unsigned char> &encoded,
                                                       const std::vector<unsigned char> &icc,
                                                       QString *error) {
    if (icc.empty()) {
        if (error)
            *error = tr("The profile to embed is empty.");
        return std::nullopt;
    }
    switch (formatOf(reinterpret_cast<const char *>(encoded.data()), qint64(encoded.size()))) {
    case Format::Png:
        return embedPngProfile(encoded, icc, error);
    case Format::Jpeg:
        return embedJpegProfile(encoded, icc, error);
    case Format::Tiff:
        return embedTiffProfile(encoded, icc, error);
    case Format::Other:
        break;
    }
    if (error)
        *error = tr("Only PNG, JPEG and TIFF files can carry an ICC profile here.");
    return std::nullopt;
}

bool formatCarriesProfile(const QString &path) {
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("jpe"),
                                         QStringLiteral("tif"),  QStringLiteral("tiff")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}
