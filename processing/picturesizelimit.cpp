// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturesizelimit.h"

#include <QCoreApplication>
#include <QFile>

namespace {

constexpr std::int64_t gigapixel = 1000 * 1000 * 1000;
constexpr std::int64_t megabyte = 1024 * 1024;

QString tr(const char *text) {
    return QCoreApplication::translate("ImageFiles", text);
}

// MemAvailable from /proc/meminfo; 0 when it cannot be read.
std::int64_t availableMemoryBytes() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    while (!meminfo.atEnd()) {
        const QByteArray line = meminfo.readLine();
        if (!line.startsWith("MemAvailable:"))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool ok = false;
        const std::int64_t kilobytes = fields.size() >= 2 ? fields[1].toLongLong(&ok) : 0;
        return ok ? kilobytes * 1024 : 0;
    }
    return 0;
}

QString megapixels(std::int64_t pixels) {
    return QString::number(double(pixels) / 1e6, 'g', 4);
}

} // namespace

PictureSizeLimit currentPictureSizeLimit() {
    bool ok = false;
    const qlonglong configured = qEnvironmentVariable("VEXMIRA_MAX_PIXELS").toLongLong(&ok);
    if (ok && configured > 0)
        return {configured, 0};
    return {gigapixel, availableMemoryBytes() / 2};
}

QString pictureSizeRefusal(const DeclaredPicture &picture, const PictureSizeLimit &limit) {
    const QString size = tr("%1 x %2 pixels").arg(picture.width).arg(picture.height);
    if (picture.pixels() > limit.maxPixels)
        return tr("The picture declares %1 (%2 megapixels), more than the limit of %3 "
                  "megapixels.")
            .arg(size, megapixels(picture.pixels()), megapixels(limit.maxPixels));
    const std::int64_t bytes = picture.decodedBytes();
    if (limit.maxBytes > 0 && bytes > limit.maxBytes)
        return tr("The picture declares %1, which need %2 MB once decoded, more than half of "
                  "the memory available now (the limit is %3 MB).")
            .arg(size)
            .arg(bytes / megabyte)
            .arg(limit.maxBytes / megabyte);
    return {};
}
