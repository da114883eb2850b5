// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesmanifest.h"

#include "colourdifference.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

namespace {

// Quoted when it holds a separator, a quote or a line end; a line end becomes a space.
QString csvField(QString text) {
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString number(double value) {
    return QString::asprintf("%.3f", value);
}

} // namespace

QString manifestHeader() {
    return QStringLiteral("file,target_L,target_a,target_b,measured_L,measured_a,measured_b,dE76,"
                          "dE2000,clipped_percent,status");
}

QString manifestStatus(const ManifestRow &row) {
    if (!row.failure.isEmpty())
        return QStringLiteral("failed: ") + row.failure;
    return row.clippedPercent > outOfGamutPercent ? QStringLiteral("out_of_gamut")
                                                  : QStringLiteral("ok");
}

QString manifestLine(const ManifestRow &row) {
    QStringList fields{csvField(row.file), QString::number(row.target.l),
                       QString::number(row.target.a), QString::number(row.target.b)};
    if (row.measured) {
        const cv::Vec3d target(row.target.l, row.target.a, row.target.b);
        const cv::Vec3d &measured = *row.measured;
        fields << number(measured[0]) << number(measured[1]) << number(measured[2])
               << number(deltaE76(target, measured)) << number(deltaE2000(target, measured))
               << QString::asprintf("%.2f", row.clippedPercent);
    } else {
        fields << QString() << QString() << QString() << QString() << QString() << QString();
    }
    fields << csvField(manifestStatus(row));
    return fields.join(QLatin1Char(','));
}

QString manifestOverlapNote(const cv::Rect &measuredInFile) {
    return QStringLiteral("# measured over the overlap of the re-coloured and saved rectangles: "
                          "%1x%2 at %3,%4 of each file")
        .arg(measuredInFile.width)
        .arg(measuredInFile.height)
        .arg(measuredInFile.x)
        .arg(measuredInFile.y);
}

QString manifestFileName(const QString &base, int shard, int shardCount) {
    if (shardCount <= 1)
        return base + QStringLiteral(".csv");
    return base + QStringLiteral(".shard-%1-of-%2.csv").arg(shard).arg(shardCount);
}

bool ManifestFile::open(const QString &path) {
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        lastError = QCoreApplication::translate("ManifestFile", "%1 cannot be written: %2")
                        .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    return append(manifestHeader());
}

bool ManifestFile::append(const QString &line) {
    if (!file.isOpen())
        return false;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        lastError = QCoreApplication::translate("ManifestFile", "%1 could not be written on: %2")
                        .arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
        file.close();
        return false;
    }
    return true;
}
