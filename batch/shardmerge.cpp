// SPDX-License-Identifier: GPL-3.0-or-later
#include "shardmerge.h"

#include "csvfields.h"
#include "referenceseries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <map>
#include <optional>

namespace {

const QString header = QStringLiteral("file,target_L,target_a,target_b,measured_L,measured_a,"
                                      "measured_b,dE76,dE2000,clipped_percent,status");

// A series told by its manifest's name: the grid's steps or the delta series' centre.
struct SeriesKind {
    bool grid = true;
    LabValue parameters;

    int size() const { return grid ? gridSeriesSize(parameters) : deltaSeriesSize; }
    // The image's name without folder and extension: the format does not matter here.
    QString imageName(int index) const {
        const ReferenceImage image =
            grid ? gridSeriesImage(parameters, index) : deltaSeriesImage(parameters, index);
        return QFileInfo(image.fileName).completeBaseName();
    }
};

std::optional<SeriesKind> seriesKind(const QString &series) {
    static const QRegularExpression grid(QStringLiteral("^ref_img_grid_(\\d+)_(\\d+)_(\\d+)$"));
    static const QRegularExpression delta(
        QStringLiteral("^ref_img_\\((-?\\d+)_(-?\\d+)_(-?\\d+)\\)$"));
    for (const QRegularExpression *pattern : {&grid, &delta}) {
        const QRegularExpressionMatch match = pattern->match(series);
        if (!match.hasMatch())
            continue;
        SeriesKind kind{pattern == &grid,
                        LabValue{match.captured(1).toInt(), match.captured(2).toInt(),
                                 match.captured(3).toInt()}};
        if (kind.size() > 0)
            return kind;
    }
    return std::nullopt;
}

struct ShardFile {
    QString name;
    int k = 0;
    int n = 0;
};

// The data lines of a manifest and the note lines ("# ...") before them; nothing when it cannot
// be read or does not begin with the header.
struct ManifestLines {
    QStringList notes;
    QStringList rows;
};

std::optional<ManifestLines> readManifest(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    // A manifest ends with a line end; a last line without one was cut short by a crash.
    lines.removeLast();
    if (lines.isEmpty() || lines.first() != header) {
        *error = QStringLiteral("%1 does not begin with the manifest header.").arg(path);
        return std::nullopt;
    }
    ManifestLines manifest;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1Char('#')) && manifest.rows.isEmpty())
            manifest.notes << lines[i];
        else
            manifest.rows << lines[i];
    }
    return manifest;
}

bool writeMerged(const QString &path, const QStringList &notes, const QStringList &rows,
                 QString *error) {
    QSaveFile file(path);
    QByteArray bytes = (QStringList{header} + notes + rows).join(QLatin1Char('\n')).toUtf8();
    bytes += '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void mergeSeries(const QDir &folder, const std::vector<ShardFile> &shards, SeriesMerge &merge) {
    const std::optional<SeriesKind> kind = seriesKind(merge.series);
    if (!kind) {
        merge.refusal = QStringLiteral("%1 names no reference series.").arg(merge.series);
        return;
    }
    // The rows of every image, from every shard that holds it.
    std::vector<QStringList> rowsOf(static_cast<std::size_t>(kind->size()));
    QStringList notes;
    for (const ShardFile &shard : shards) {
        const std::optional<ManifestLines> manifest =
            readManifest(folder.filePath(shard.name), &merge.refusal);
        if (!manifest)
            return;
        if (notes.isEmpty())
            notes = manifest->notes;
        for (qsizetype row = 0; row < manifest->rows.size(); ++row) {
            const long long index = shard.k - 1 + row * static_cast<long long>(shard.n);
            const QString file = splitCsvLine(manifest->rows[row]).value(0);
            if (index >= kind->size() ||
                QFileInfo(file).completeBaseName() != kind->imageName(int(index))) {
                merge.refusal = QStringLiteral("%1, row %2: \"%3\" is not image %4 of the series.")
                                    .arg(shard.name)
                                    .arg(row + 1)
                                    .arg(file)
                                    .arg(index);
                return;
            }
            rowsOf[std::size_t(index)] << manifest->rows[row];
        }
    }
    QStringList merged;
    for (int index = 0; index < kind->size(); ++index) {
        const QStringList &rows = rowsOf[std::size_t(index)];
        if (rows.isEmpty())
            merge.missing << kind->imageName(index);
        else if (rows.size() > 1)
            merge.duplicated << kind->imageName(index);
        else
            merged << rows.first();
    }
    if (!merge.succeeded())
        return;
    const QString path = folder.filePath(merge.series + QStringLiteral(".csv"));
    if (writeMerged(path, notes, merged, &merge.refusal)) {
        merge.mergedPath = path;
        merge.rows = int(merged.size());
    }
}

} // namespace

std::vector<SeriesMerge> mergeShardManifests(const QString &folderPath) {
    static const QRegularExpression shardName(
        QStringLiteral("^(.+)\\.shard-(\\d+)-of-(\\d+)\\.csv$"));
    const QDir folder(folderPath);
    std::map<QString, std::vector<ShardFile>> shardsOf;
    for (const QString &name :
         folder.entryList({QStringLiteral("*.shard-*-of-*.csv")}, QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = shardName.match(name);
        if (match.hasMatch())
            shardsOf[match.captured(1)].push_back(
                {name, match.captured(2).toInt(), match.captured(3).toInt()});
    }
    std::vector<SeriesMerge> merges;
    for (const auto &[series, shards] : shardsOf) {
        SeriesMerge merge;
        merge.series = series;
        for (const ShardFile &shard : shards)
            merge.shardFiles << shard.name;
        const bool shardsValid = std::all_of(shards.begin(), shards.end(), [](const ShardFile &s) {
            return s.n >= 1 && s.k >= 1 && s.k <= s.n;
        });
        if (shardsValid)
            mergeSeries(folder, shards, merge);
        else
            merge.refusal =
                QStringLiteral("%1 has a shard K of N outside 1 <= K <= N.").arg(series);
        merges.push_back(merge);
    }
    return merges;
}
