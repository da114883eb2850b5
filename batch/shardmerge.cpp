// SPDX-License-Identifier: GPL-3.0-or-later
#include "shardmerge.h"

#include "csvfields.h"
#include "referenceseries.h"
#include "seriesmanifest.h"
#include "shardmanifestreader.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

#include <map>
#include <memory>
#include <optional>

namespace {

// A series told by its manifest's name: the grid's steps or the delta series' centre.
struct SeriesKind {
    bool grid = true;
    LabValue parameters;

    int size() const { return grid ? gridSeriesSize(parameters) : deltaSeriesSize; }
    // The image's name without folder and extension: the format does not matter here.
    QString imageName(int index) const {
        const ReferenceImage image =
            grid ? gridSeriesImage(parameters, index) : deltaSeriesImage(parameters, index);
        return baseName(image.fileName);
    }
    static QString baseName(const QString &file) {
        const qsizetype start = file.lastIndexOf(QLatin1Char('/')) + 1;
        const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
        return file.mid(start, dot >= start ? dot - start : -1);
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

struct Shard {
    QString name;
    int k = 0;
    int n = 0;
    std::unique_ptr<ShardManifestReader> reader;

    bool holds(int index) const { return index % n == k - 1; }
};

// "<key>: <value>" split at its first colon.
std::pair<QString, QString> keyAndValue(const QString &parameter) {
    const qsizetype colon = parameter.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {parameter, QString()};
    return {parameter.left(colon), parameter.mid(colon + 1).trimmed()};
}

// The first series parameter in which `other` differs from `first`; empty when none does.
QString parameterDifference(const Shard &first, const Shard &other) {
    const QStringList expected = first.reader->seriesParameters();
    const QStringList found = other.reader->seriesParameters();
    std::map<QString, QString> foundValues;
    for (const QString &parameter : found)
        foundValues.insert(keyAndValue(parameter));
    for (const QString &parameter : expected) {
        const auto [key, value] = keyAndValue(parameter);
        const auto match = foundValues.find(key);
        if (match == foundValues.end())
            return QStringLiteral("%1 records no series %2; %3 has \"%4\".")
                .arg(other.name, key, first.name, value);
        if (match->second != value)
            return QStringLiteral("%1 and %2 differ in the series %3: \"%4\" and \"%5\".")
                .arg(first.name, other.name, key, value, match->second);
        foundValues.erase(match);
    }
    if (!foundValues.empty())
        return QStringLiteral("%1 records no series %2; %3 has \"%4\".")
            .arg(first.name, foundValues.begin()->first, other.name, foundValues.begin()->second);
    return {};
}

// The "#" lines of the merged manifest: those of the shards when they all wrote the same,
// otherwise the series' parameters followed by each shard's notes, named after their shard.
QStringList mergedHead(const std::vector<Shard> &shards) {
    const QStringList &first = shards.front().reader->headLines();
    const bool shared = std::all_of(shards.begin(), shards.end(), [&first](const Shard &shard) {
        return shard.reader->headLines() == first;
    });
    if (shared)
        return first;
    QStringList head;
    for (const QString &parameter : shards.front().reader->seriesParameters())
        head << QStringLiteral("# series ") + parameter;
    for (const Shard &shard : shards)
        for (const QString &note : shard.reader->notes())
            head << QStringLiteral("# shard %1 of %2: %3").arg(shard.k).arg(shard.n).arg(note);
    return head;
}

void noteImage(QStringList &names, int &count, const QString &name) {
    if (count++ < namedImagesKept)
        names << name;
}

// Reads the next row of `shard`, which must be image `index`; its failure, if the row is
// failed, goes into the merge. False, with the refusal set, when the row is another image's or
// lies past the series' end.
bool takeRowOf(Shard &shard, const SeriesKind &kind, qint64 index, QByteArray &row,
               SeriesMerge &merge) {
    row = shard.reader->takeRow();
    const QStringList fields = splitCsvLine(QString::fromUtf8(row));
    const QString file = fields.value(0);
    if (index >= kind.size() || SeriesKind::baseName(file) != kind.imageName(int(index))) {
        merge.refusal = QStringLiteral("%1, row %2: \"%3\" is not image %4 of the series.")
                            .arg(shard.name)
                            .arg(shard.reader->rowsTaken())
                            .arg(file)
                            .arg(index);
        return false;
    }
    const QString status = fields.value(fields.size() - 1);
    if (fields.size() > 1 && status.startsWith(QLatin1String("failed")) &&
        merge.failedRows++ == 0) {
        merge.firstFailedFile = file;
        merge.firstFailure = status.mid(status.indexOf(QLatin1Char(':')) + 1).trimmed();
    }
    return true;
}

// Interleaves the shards' rows into `out`, image by image.
void interleaveRows(std::vector<Shard> &shards, const SeriesKind &kind, QSaveFile &out,
                    SeriesMerge &merge) {
    QByteArray row;
    QByteArray kept;
    for (int index = 0; index < kind.size(); ++index) {
        int found = 0;
        for (Shard &shard : shards) {
            if (!shard.holds(index) || shard.reader->atEnd())
                continue;
            if (!takeRowOf(shard, kind, index, row, merge))
                return;
            if (found++ == 0)
                kept.swap(row);
        }
        if (found == 0) {
            noteImage(merge.missing, merge.missingCount, kind.imageName(index));
        } else if (found > 1) {
            noteImage(merge.duplicated, merge.duplicatedCount, kind.imageName(index));
        } else if (merge.succeeded()) {
            kept += '\n';
            out.write(kept);
            ++merge.rows;
        }
    }
    // Rows past the series' end belong to no image of it.
    for (Shard &shard : shards)
        if (!shard.reader->atEnd() &&
            !takeRowOf(shard, kind, shard.k - 1 + shard.reader->rowsTaken() * shard.n, row, merge))
            return;
    for (const Shard &shard : shards)
        if (!shard.reader->error().isEmpty()) {
            merge.refusal = shard.reader->error();
            return;
        }
}

void mergeSeries(const QDir &folder, std::vector<Shard> &shards, SeriesMerge &merge) {
    const std::optional<SeriesKind> kind = seriesKind(merge.series);
    if (!kind) {
        merge.refusal = QStringLiteral("%1 names no reference series.").arg(merge.series);
        return;
    }
    for (Shard &shard : shards) {
        shard.reader = std::make_unique<ShardManifestReader>();
        if (!shard.reader->open(folder.filePath(shard.name), &merge.refusal))
            return;
    }
    for (const Shard &shard : shards) {
        merge.refusal = parameterDifference(shards.front(), shard);
        if (!merge.refusal.isEmpty())
            return;
    }
    const QString path = folder.filePath(merge.series + QStringLiteral(".csv"));
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        merge.refusal = QStringLiteral("%1 cannot be written: %2").arg(path, out.errorString());
        return;
    }
    out.write(
        (QStringList{manifestHeader()} + mergedHead(shards)).join(QLatin1Char('\n')).toUtf8() +
        '\n');
    interleaveRows(shards, *kind, out, merge);
    // Nothing replaces the manifest unless the whole series merged.
    if (!merge.succeeded()) {
        out.cancelWriting();
        merge.rows = 0;
        return;
    }
    if (!out.commit()) {
        merge.refusal = QStringLiteral("%1 cannot be written: %2").arg(path, out.errorString());
        merge.rows = 0;
        return;
    }
    merge.mergedPath = path;
}

} // namespace

std::vector<SeriesMerge> mergeShardManifests(const QString &folderPath) {
    static const QRegularExpression shardName(
        QStringLiteral("^(.+)\\.shard-(\\d+)-of-(\\d+)\\.csv$"));
    const QDir folder(folderPath);
    std::map<QString, std::vector<Shard>> shardsOf;
    for (const QString &name :
         folder.entryList({QStringLiteral("*.shard-*-of-*.csv")}, QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = shardName.match(name);
        if (match.hasMatch())
            shardsOf[match.captured(1)].push_back(
                {name, match.captured(2).toInt(), match.captured(3).toInt(), nullptr});
    }
    std::vector<SeriesMerge> merges;
    for (auto &[series, shards] : shardsOf) {
        SeriesMerge merge;
        merge.series = series;
        for (const Shard &shard : shards)
            merge.shardFiles << shard.name;
        const bool shardsValid = std::all_of(shards.begin(), shards.end(), [](const Shard &s) {
            return s.n >= 1 && s.k >= 1 && s.k <= s.n;
        });
        if (shardsValid)
            mergeSeries(folder, shards, merge);
        else
            merge.refusal =
                QStringLiteral("%1 has a shard K of N outside 1 <= K <= N.").arg(series);
        // One series' files are closed before the next one's are opened.
        for (Shard &shard : shards)
            shard.reader.reset();
        merges.push_back(merge);
    }
    return merges;
}
