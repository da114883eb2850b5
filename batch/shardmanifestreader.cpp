// SPDX-License-Identifier: GPL-3.0-or-later
#include "shardmanifestreader.h"

#include "seriesmanifest.h"

namespace {

const QString seriesPrefix = QStringLiteral("# series ");

} // namespace

bool ShardManifestReader::open(const QString &path, QString *error) {
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray line;
    if (!readLine(line) || QString::fromUtf8(line) != manifestHeader()) {
        *error = QStringLiteral("%1 does not begin with the manifest header.").arg(path);
        return false;
    }
    while ((hasRow = readLine(row)) && row.startsWith('#'))
        head << QString::fromUtf8(row);
    return true;
}

QStringList ShardManifestReader::seriesParameters() const {
    QStringList parameters;
    for (const QString &line : head)
        if (line.startsWith(seriesPrefix))
            parameters << line.mid(seriesPrefix.size());
    return parameters;
}

QStringList ShardManifestReader::notes() const {
    QStringList notes;
    for (const QString &line : head)
        if (!line.startsWith(seriesPrefix))
            notes << line.mid(line.startsWith(QLatin1String("# ")) ? 2 : 1);
    return notes;
}

QByteArray ShardManifestReader::takeRow() {
    QByteArray next;
    next.swap(row);
    ++taken;
    hasRow = readLine(row);
    return next;
}

bool ShardManifestReader::readLine(QByteArray &line) {
    line = file.readLine();
    if (!line.endsWith('\n')) {
        if (file.error() != QFileDevice::NoError)
            readError =
                QStringLiteral("%1 cannot be read: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    line.chop(1);
    return true;
}
