// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchprogram.h"

#include "batchmessages.h"
#include "batchversion.h"
#include "exitcode.h"
#include "imagecommands.h"
#include "measurecommand.h"
#include "mergecommand.h"
#include "profilecommand.h"
#include "seriescommand.h"

#include <array>

namespace {

struct Subcommand {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

const std::array<Subcommand, 7> subcommands{{
    {"warp", "IN OUT: the warp onto the centred square (the viewer's Warp, key W)", runWarpCommand},
    {"shade", "IN OUT: the viewer's Shading Correction", runShadeCommand},
    {"setlab", "IN OUT --lab L,a,b: the mean Lab adjustment", runSetLabCommand},
    {"measure", "IN: mean and standard deviation of L*a*b* as CSV, of a rectangle or a chart",
     runMeasureCommand},
    {"series", "grid|delta IN --out DIR: a reference series with its manifest", runSeriesCommand},
    {"merge", "DIR: the shards' manifests joined into the series' manifest", runMergeCommand},
    {"profile", "IN OUT.icc --chart RxC --reference FILE: a camera profile from a chart",
     runProfileCommand},
}};

QString overview() {
    QString text = QStringLiteral("Usage: vexmira-batch <subcommand> [options] [arguments]\n\n"
                                  "The viewer's commands without a window.\n\nSubcommands:\n");
    for (const Subcommand &subcommand : subcommands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromLatin1(subcommand.name).leftJustified(8),
                         QString::fromLatin1(subcommand.summary));
    return text + QStringLiteral("\nvexmira-batch <subcommand> --help describes each, with the "
                                 "exit codes; vexmira-batch --version names the version.\n");
}

} // namespace

int runBatchProgram(const QStringList &arguments) {
    const QString name = arguments.value(0);
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        return exitStatus(printData(overview()) ? ExitCode::Done : ExitCode::OutputUnwritable);
    }
    if (name == QLatin1String("--version"))
        return exitStatus(printData(batchVersionLine()) ? ExitCode::Done
                                                        : ExitCode::OutputUnwritable);
    for (const Subcommand &subcommand : subcommands)
        if (name == QLatin1String(subcommand.name))
            return subcommand.run(arguments.mid(1));
    printError(name.isEmpty() ? QStringLiteral("no subcommand given (see vexmira-batch --help)")
                              : QStringLiteral("unknown subcommand \"%1\" (see vexmira-batch "
                                               "--help)")
                                    .arg(name));
    return exitStatus(ExitCode::Usage);
}
