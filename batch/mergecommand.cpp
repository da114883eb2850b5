// SPDX-License-Identifier: GPL-3.0-or-later
#include "mergecommand.h"

#include "batchmessages.h"
#include "shardmerge.h"
#include "subcommandparser.h"

#include <QFileInfo>

namespace {

QString imagesText(const QStringList &images, const char *what) {
    return QStringLiteral("%1 image(s) %2, the first %3")
        .arg(images.size())
        .arg(QLatin1String(what), images.first());
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
    ExitCode exit = ExitCode::Done;
    for (const SeriesMerge &merge : merges) {
        if (merge.succeeded()) {
            if (!quiet)
                printError(QStringLiteral("merged %1 shard manifest(s) into %2 (%3 rows)")
                               .arg(merge.shardFiles.size())
                               .arg(merge.mergedPath)
                               .arg(merge.rows));
            continue;
        }
        exit = ExitCode::InputRefused;
        QStringList causes;
        if (!merge.refusal.isEmpty())
            causes << merge.refusal;
        if (!merge.missing.isEmpty())
            causes << imagesText(merge.missing, "missing");
        if (!merge.duplicated.isEmpty())
            causes << imagesText(merge.duplicated, "duplicated");
        printFileError(QStringLiteral("%1/%2").arg(folder, merge.series),
                       QStringLiteral("not merged: ") + causes.join(QStringLiteral("; ")) +
                           QLatin1Char('.'));
    }
    return exit;
}

int runMergeCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("merge"),
                            QStringLiteral("Joins the shard manifests "
                                           "(<series>.shard-K-of-N.csv) of each series in DIR "
                                           "into the series' manifest (<series>.csv), in series "
                                           "order. Refuses, with exit code 2, a series in which "
                                           "an image has no row or more than one."));
    parser.addPositional(QStringLiteral("DIR"),
                         QStringLiteral("The folder that the shards wrote into."));
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("Say nothing on success.")});
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    return exitStatus(mergeManifests(parser.positionalArguments().constFirst(),
                                     parser.isSet(QStringLiteral("quiet"))));
}
