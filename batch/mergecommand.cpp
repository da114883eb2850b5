// SPDX-License-Identifier: GPL-3.0-or-later
#include "mergecommand.h"

#include "batchmessages.h"
#include "shardmerge.h"
#include "subcommandparser.h"

#include <QFileInfo>

namespace {

QString imagesText(int count, const QStringList &images, const char *what) {
    return QStringLiteral("%1 %2, the first %3")
        .arg(countOf(count, QStringLiteral("image")), QLatin1String(what), images.first());
}

} // namespace

ExitCode mergeManifests(const QString &folder, bool quiet) {
    if (!QFileInfo(folder).isDir()) {
        printFileError(folder, QStringLiteral("The folder does not exist."));
        return ExitCode::InputRefused;
    }
    const std::vector<SeriesMerge> merges = mergeShardManifests(folder);
    if (merges.empty()) {
        printFileError(folder, QStringLiteral("The folder holds no shard manifest "
                                              "(<series>.shard-K-of-N.csv)."));
        return ExitCode::InputRefused;
    }
    bool refused = false;
    int failedRows = 0;
    for (const SeriesMerge &merge : merges) {
        if (merge.succeeded()) {
            if (!quiet)
                printError(
                    QStringLiteral("merged %1 into %2 (%3)")
                        .arg(countOf(merge.shardFiles.size(), QStringLiteral("shard manifest")),
                             merge.mergedPath, countOf(merge.rows, QStringLiteral("row"))));
            // The manifest records every image; those that failed are the run's to redo.
            if (merge.failedRows > 0)
                printError(QStringLiteral("%1: %2 failed%3 %4: %5")
                               .arg(merge.mergedPath,
                                    countOf(merge.failedRows, QStringLiteral("file")),
                                    merge.failedRows == 1 ? QStringLiteral(":")
                                                          : QStringLiteral("; the first:"),
                                    merge.firstFailedFile, merge.firstFailure));
            failedRows += merge.failedRows;
            continue;
        }
        refused = true;
        QStringList causes;
        if (!merge.refusal.isEmpty())
            causes << merge.refusal;
        if (merge.missingCount > 0)
            causes << imagesText(merge.missingCount, merge.missing, "missing");
        if (merge.duplicatedCount > 0)
            causes << imagesText(merge.duplicatedCount, merge.duplicated, "duplicated");
        QString text = QStringLiteral("not merged: ") + causes.join(QStringLiteral("; "));
        if (!text.endsWith(QLatin1Char('.')))
            text += QLatin1Char('.');
        printFileError(QStringLiteral("%1/%2").arg(folder, merge.series), text);
    }
    if (refused)
        return ExitCode::InputRefused;
    return failedRows > 0 ? ExitCode::SomeFilesFailed : ExitCode::Done;
}

int runMergeCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("merge"),
                            QStringLiteral("Joins the shard manifests "
                                           "(<series>.shard-K-of-N.csv) of each series in DIR "
                                           "into the series' manifest (<series>.csv), in series "
                                           "order. Refuses, with exit code 2, a series whose "
                                           "shards differ in their \"# series\" lines (kind, "
                                           "steps or centre, format, encoding, corners, "
                                           "source...) or in which an image has no row or more "
                                           "than one. Rows of failed files are counted and give "
                                           "exit code 3."));
    parser.addPositional(QStringLiteral("DIR"),
                         QStringLiteral("The folder that the shards wrote into."));
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    return exitStatus(mergeManifests(parser.positionalArguments().constFirst(),
                                     parser.isSet(QStringLiteral("quiet"))));
}
