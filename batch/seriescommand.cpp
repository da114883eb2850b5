// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriescommand.h"

#include "batchmessages.h"
#include "inputimage.h"
#include "interruption.h"
#include "optionvalues.h"
#include "progressreport.h"

#include <QDir>

#include <variant>

namespace {

QString summary(const SeriesResult &result) {
    QString text = QStringLiteral("%1 of %2 written to %3")
                       .arg(result.written)
                       .arg(countOf(result.total, QStringLiteral("image")),
                            QDir::toNativeSeparators(result.folder));
    if (!result.manifestPath.isEmpty() && result.manifestError.isEmpty())
        text += QStringLiteral(", manifest %1").arg(QDir::toNativeSeparators(result.manifestPath));
    if (result.written > 0)
        text += QStringLiteral("; dE76 from their names: mean %1, max %2; %3 out of gamut")
                    .arg(result.meanDeltaE76, 0, 'f', 2)
                    .arg(result.maxDeltaE76, 0, 'f', 2)
                    .arg(result.outOfGamut);
    return text;
}

// The plan from the kind and its option: the grid's --steps or the delta series' --centre.
std::variant<SeriesPlan, ExitCode> planFrom(const SubcommandParser &parser, const QString &kind) {
    const bool grid = kind == QLatin1String("grid");
    if (!grid && kind != QLatin1String("delta"))
        return parser.usageError(
            QStringLiteral("the series is \"grid\" or \"delta\", not \"%1\".").arg(kind));
    const QString wanted = grid ? QStringLiteral("steps") : QStringLiteral("centre");
    const QString other = grid ? QStringLiteral("centre") : QStringLiteral("steps");
    if (parser.isSet(other))
        return parser.usageError(
            QStringLiteral("--%1 is for the %2 series.").arg(other, grid ? "delta" : "grid"));
    if (!parser.isSet(wanted))
        return parser.usageError(QStringLiteral("the %1 series needs --%2.").arg(kind, wanted));
    QString error;
    const std::optional<LabValue> parameters = grid ? parseGridSteps(parser.value(wanted), &error)
                                                    : parseLabValue(parser.value(wanted), &error);
    if (!parameters)
        return parser.usageError(QStringLiteral("--%1: %2").arg(wanted, error));
    return SeriesPlan{grid ? SeriesPlan::Kind::Grid : SeriesPlan::Kind::Delta, *parameters};
}

// Format, encoding, shard and folder; the exit code after a usage error.
std::optional<ExitCode> readOptions(const SubcommandParser &parser, SeriesJob &job) {
    QString error;
    const std::optional<SeriesFormat> format =
        seriesFormatFromKey(parser.value(QStringLiteral("format")));
    if (!format)
        return parser.usageError(
            QStringLiteral("--format: \"%1\" is not jpeg, png, tiff, png16 or tiff16.")
                .arg(parser.value(QStringLiteral("format"))));
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return *refused;
    if (parser.isSet(QStringLiteral("shard"))) {
        const std::optional<Shard> shard =
            parseShard(parser.value(QStringLiteral("shard")), &error);
        if (!shard)
            return parser.usageError(QStringLiteral("--shard: ") + error);
        job.shard = {shard->k, shard->n};
    }
    if (!parser.isSet(QStringLiteral("out")))
        return parser.usageError(QStringLiteral("--out is required."));
    // An unset shell variable would otherwise put the series into the working folder.
    if (parser.value(QStringLiteral("out")).isEmpty())
        return parser.usageError(QStringLiteral("--out is empty; name the folder."));
    job.options.folder = parser.value(QStringLiteral("out"));
    job.options.format = *format;
    job.colour = std::get<PictureColour>(colour);
    job.options.encoding = job.colour.encoding;
    job.options.precise = parser.isSet(QStringLiteral("precise"));
    job.quiet = parser.isSet(QStringLiteral("quiet"));
    return std::nullopt;
}

void declareSeriesOptions(SubcommandParser &parser) {
    parser.addPositional(QStringLiteral("grid|delta"),
                         QStringLiteral("The grid series over L*a*b* with --steps, or the "
                                        "series of dE 2 around --centre."));
    declareImageJob(parser, false);
    parser.addOption({QStringLiteral("steps"),
                      QStringLiteral("The grid's steps in L*, a* and b*; required by the grid."),
                      QStringLiteral("sL,sa,sb")});
    parser.addOption({QStringLiteral("centre"),
                      QStringLiteral("The delta series' centre; required by the delta series."),
                      QStringLiteral("L,a,b")});
    parser.addOption({QStringLiteral("out"),
                      QStringLiteral("The folder the images and the manifest go to; made when "
                                     "missing. Required, and not empty."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("format"),
                      QStringLiteral("The images' file format; png16 and tiff16 hold 16 bits a "
                                     "channel. Default: jpeg."),
                      QStringLiteral("jpeg|png|tiff|png16|tiff16"), QStringLiteral("jpeg")});
    parser.addOption({QStringLiteral("precise"),
                      QStringLiteral("Real L* targets, rounded codes, and each file held to "
                                     "within 0.1 dE76 of its name.")});
    parser.addEncodingOption();
    parser.addOption({QStringLiteral("shard"),
                      QStringLiteral("Write only the images whose index i has i mod N = K - 1, "
                                     "with the manifest <series>.shard-K-of-N.csv; join the "
                                     "shards' manifests with vexmira-batch merge. Default: the "
                                     "whole series."),
                      QStringLiteral("K/N")});
}

} // namespace

ExitCode writeSeries(const SeriesJob &job) {
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    const QString pictureRefusal = seriesRefusal(input->image, input->corners);
    if (!pictureRefusal.isEmpty()) {
        printFileError(job.image.input, pictureRefusal);
        return ExitCode::InputRefused;
    }

    SeriesRequest request;
    request.image = input->image;
    request.corners = input->corners;
    request.plan = job.plan;
    request.options = job.options;
    request.options.profile = input->space.profile();
    request.shard = job.shard;
    ProgressReport progress =
        ProgressReport::onStandardError(request.shard.size(request.plan.size()), job.quiet);
    stopOnInterrupt();
    const SeriesResult result =
        runReferenceSeries(request, interruptRequested(),
                           [&progress](const SeriesProgress &now) { progress.update(now.done); });
    if (!result.refusal.isEmpty()) {
        printFileError(job.options.folder, result.refusal);
        return ExitCode::InputRefused;
    }
    progress.finish(result.processed);
    if (!job.quiet)
        printError(summary(result));
    if (!result.manifestError.isEmpty())
        printError(result.manifestError);
    if (result.stopped) {
        printError(QStringLiteral("interrupted after %1 of %2")
                       .arg(result.processed)
                       .arg(countOf(result.total, QStringLiteral("image"))));
        return ExitCode::Interrupted;
    }
    const int failed = result.failed + result.notConfirmed;
    if (failed > 0) {
        printFailureSummary(failed, result.firstFailedFile, result.firstFailure);
        return ExitCode::SomeFilesFailed;
    }
    return result.manifestError.isEmpty() ? ExitCode::Done : ExitCode::SomeFilesFailed;
}

int runSeriesCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("series"),
                            QStringLiteral("Writes a reference series of IN, as the panel's "
                                           "\"Create Lab images with dE set\" (grid) and "
                                           "\"Create dE of 2 around this Value\" (delta) do, with "
                                           "its manifest. Progress goes to standard error. "
                                           "SIGINT stops after the images in hand and leaves a "
                                           "valid manifest of what was written."));
    declareSeriesOptions(parser);
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    SeriesJob job;
    const std::variant<SeriesPlan, ExitCode> plan =
        planFrom(parser, parser.positionalArguments().constFirst());
    if (const ExitCode *usage = std::get_if<ExitCode>(&plan))
        return exitStatus(*usage);
    job.plan = std::get<SeriesPlan>(plan);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, false, 1);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    job.image = std::get<ImageJob>(image);
    if (const std::optional<ExitCode> usage = readOptions(parser, job))
        return exitStatus(*usage);
    return exitStatus(writeSeries(job));
}
