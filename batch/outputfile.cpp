// SPDX-License-Identifier: GPL-3.0-or-later
#include "outputfile.h"

#include "drivepath.h"
#include "imagefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// A name beside `path` with its extension, so the writer picks the same format; hidden, and
// unique to this process and call.
QString temporaryNameBeside(const QString &path) {
    static std::atomic<int> counter{0};
    const QFileInfo file(path);
    for (;;) {
        const QString name = QStringLiteral(".%1.%2-%3.partial.%4")
                                 .arg(file.completeBaseName())
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(counter++)
                                 .arg(file.suffix());
        const QString candidate = file.dir().filePath(name);
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

} // namespace

bool writeOutputRect(const cv::Mat &image, const cv::Rect &rect, const QString &name,
                     QString *error) {
    const QString path = resolveDrivePath(name);
    // The writer refuses what concerns the rectangle, the format and the folder; these two
    // concern the name itself, which it does not see.
    const QFileInfo target(path);
    if (target.isDir()) {
        *error = QStringLiteral("A folder of that name exists.");
        return false;
    }
    if (target.exists() && !target.isWritable()) {
        *error = QStringLiteral("The existing file cannot be overwritten.");
        return false;
    }
    const QString temporary = temporaryNameBeside(path);
    if (!writeImageRect(image, rect, temporary, error)) {
        QFile::remove(temporary);
        return false;
    }
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        *error = QStringLiteral("The written file could not take its name: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        QFile::remove(temporary);
        return false;
    }
    return true;
}
