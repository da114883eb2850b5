// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesmanifest.h"

#include "atomicfilewrite.h"
#include "colourdifference.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <unistd.h>

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

QString tr(const char *text) {
    return QCoreApplication::translate("ManifestFile", text);
}

QString triple(const LabValue &value) {
    return QStringLiteral("%1,%2,%3").arg(value.l).arg(value.a).arg(value.b);
}

} // namespace

QString manifestHeader() {
    return QStringLiteral("file,target_L,target_a,target_b,measured_L,measured_a,measured_b,dE76,"
                          "dE2000,clipped_percent,status");
}

QString manifestStatus(const ManifestRow &row) {
    if (!row.failure.isEmpty())
        return QStringLiteral("failed: ") + row.failure;
    if (row.clippedPercent > outOfGamutPercent)
        return QStringLiteral("out_of_gamut");
    const cv::Vec3d target(row.target.l, row.target.a, row.target.b);
    if (row.measured && deltaE76(target, *row.measured) <= row.goal)
        return QStringLiteral("ok");
    return QStringLiteral("off_target");
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

QStringList manifestSeriesLines(const SeriesParameters &parameters) {
    const QString prefix = QStringLiteral("# series ");
    const bool grid = parameters.plan.kind == SeriesPlan::Kind::Grid;
    QStringList corners;
    for (const cv::Point &corner : parameters.corners)
        corners << QString::number(corner.x) << QString::number(corner.y);
    QString source = parameters.sourceName;
    source.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const SeriesFormat format = parameters.options.format;
    const QString formatName =
        isSixteenBitFormat(format) ? seriesFormatKey(format) : seriesFormatExtension(format);
    QStringList lines{
        prefix + QStringLiteral("kind: ") + (grid ? "grid" : "delta"),
        prefix + (grid ? QStringLiteral("steps: ") : QStringLiteral("centre: ")) +
            triple(parameters.plan.parameters),
        prefix + QStringLiteral("format: ") + formatName,
        prefix + QStringLiteral("encoding: ") + labEncodingKey(parameters.options.encoding),
        prefix + QStringLiteral("precise: ") + (parameters.options.precise ? "yes" : "no"),
        prefix + QStringLiteral("corners: ") + corners.join(QLatin1Char(',')),
        prefix + QStringLiteral("source: ") + source,
        prefix + QStringLiteral("source size: %1x%2")
                     .arg(parameters.sourceSize.width)
                     .arg(parameters.sourceSize.height)};
    // The L*a*b* the measured columns are in; the OpenCV modes say it by their encoding alone.
    const LabSpace space = seriesLabSpace(parameters.options);
    if (space.isIcc()) {
        QString profile = space.profile()->description();
        profile.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines.insert(4, prefix + QStringLiteral("profile: ") + profile);
    }
    return lines;
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
        lastError =
            tr("%1 cannot be written: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    // The new file's name reaches the disk with its folder.
    if (!append(manifestHeader()) || !sync())
        return false;
    if (!syncFolder(QFileInfo(path).absolutePath()))
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

bool ManifestFile::append(const QString &line) {
    if (!file.isOpen())
        return false;
    const QByteArray bytes = line.toUtf8() + '\n';
    if (file.write(bytes) != bytes.size() || !file.flush())
        return fail(file.errorString());
    return std::chrono::steady_clock::now() - lastSync < syncInterval || sync();
}

bool ManifestFile::finish() {
    if (!file.isOpen())
        return false;
    if (!sync())
        return false;
    file.close();
    return true;
}

bool ManifestFile::sync() {
    if (::fsync(file.handle()) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    lastSync = std::chrono::steady_clock::now();
    return true;
}

bool ManifestFile::fail(const QString &what) {
    lastError =
        tr("%1 could not be written on: %2").arg(QDir::toNativeSeparators(file.fileName()), what);
    file.close();
    return false;
}
