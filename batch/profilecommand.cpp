// SPDX-License-Identifier: GPL-3.0-or-later
#include "profilecommand.h"

#include "batchmessages.h"
#include "cameraprofile.h"
#include "cameraprofileicc.h"
#include "cameraprofilereadings.h"
#include "chartfinder.h"
#include "foundchart.h"
#include "imagejob.h"
#include "inputimage.h"
#include "optionvalues.h"
#include "patchmeasurement.h"

#include <QDate>

namespace {

struct ProfileJob {
    ImageJob image;
    GridLayout layout;
    QString reference;
    bool findChart = false;
    ToneCurve tone = ToneCurve::Srgb;
    PictureColour colour;
};

QString number(const std::optional<double> &value) {
    return value ? QString::number(*value, 'f', 4) : QString();
}

QString fitCsv(const CameraProfileFit &fit, const ChartReference &reference) {
    QString text =
        QStringLiteral("patch,used,ref_L,ref_a,ref_b,L,a,b,dE2000_before,dE2000_after\n");
    for (size_t i = 0; i < fit.patches.size(); ++i) {
        const PatchFit &patch = fit.patches[i];
        QStringList values{QString::number(i + 1),
                           patch.used ? QStringLiteral("yes") : QStringLiteral("no")};
        for (int c = 0; c < 3; ++c)
            values << number(reference[i][c]);
        for (int c = 0; c < 3; ++c)
            values << (patch.labAfter ? number((*patch.labAfter)[c]) : QString());
        values << number(patch.deltaE2000Before) << number(patch.deltaE2000After);
        text += values.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    const auto summaryRow = [](const QString &name, const DeltaESummary &before,
                               const DeltaESummary &after, bool mean) {
        const auto figure = [mean](const DeltaESummary &summary) {
            return summary.count == 0 ? std::optional<double>()
                                      : (mean ? summary.mean : summary.maximum);
        };
        return QStringLiteral("%1,,,,,,,,%2,%3\n")
            .arg(name, number(figure(before)), number(figure(after)));
    };
    return text + summaryRow(QStringLiteral("mean"), fit.before, fit.after, true) +
           summaryRow(QStringLiteral("max"), fit.before, fit.after, false);
}

ExitCode makeProfile(const ProfileJob &job) {
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    QString error;
    const std::optional<ChartReference> reference = loadReference(job.reference, error);
    if (!reference) {
        printFileError(job.reference, error);
        return ExitCode::InputRefused;
    }

    const std::optional<Quad> corners =
        chartCorners(*input, job.image.input, job.layout, job.findChart, reference);
    if (!corners)
        return ExitCode::InputRefused;
    QString chartName =
        QStringLiteral("a %1 x %2 chart").arg(job.layout.rows).arg(job.layout.columns);
    if (const auto kind = chartKindWithPatchCount(job.layout.patchCount()); kind && job.findChart)
        chartName = chartKindInfo(*kind).name;
    const PatchGrid grid = patchGrid(*corners, job.layout);
    if (!grid.problem.isEmpty()) {
        printFileError(job.image.input, grid.problem);
        return ExitCode::InputRefused;
    }

    CameraProfileInput fitInput;
    fitInput.readings = readPatchRgb(input->image, grid.areas);
    fitInput.reference = *reference;
    for (const auto &stats : measurePatches(input->image, grid.areas, input->space))
        fitInput.before.push_back(stats ? std::optional<cv::Vec3d>(stats->mean) : std::nullopt);
    fitInput.tone = job.tone;
    const CameraProfileResult result = fitCameraProfile(fitInput);
    if (!result.fit) {
        printFileError(job.image.input, result.problem);
        return ExitCode::InputRefused;
    }
    const FileWriteResult written =
        writeCameraProfile(job.image.output, result.fit->model,
                           cameraProfileDescription(chartName, QDate::currentDate()));
    if (!written.written()) {
        printFileError(job.image.output, written.error);
        return ExitCode::InputRefused;
    }
    return printData(fitCsv(*result.fit, *reference)) ? ExitCode::Done : ExitCode::OutputUnwritable;
}

} // namespace

int runProfileCommand(const QStringList &arguments) {
    SubcommandParser parser(
        QStringLiteral("profile"),
        QStringLiteral("Fits an ICC camera profile (a tone curve and a 3 x 3 matrix to XYZ D50) to "
                       "the chart in IN against its reference, writes it to OUT (an .icc file) "
                       "and prints per patch, as CSV, the dE2000 before (as read under "
                       "--encoding) and after (through the new profile), with mean and "
                       "maximum."));
    parser.addPositional(QStringLiteral("IN"), QStringLiteral("The photograph of the chart."));
    parser.addPositional(QStringLiteral("OUT"), QStringLiteral("The ICC profile to write."));
    parser.addCornersOption();
    parser.addEncodingOption();
    parser.addOption({QStringLiteral("chart"),
                      QStringLiteral("The chart's ROWS x COLS patches: patch 1 at corner 0, rows "
                                     "towards corner 1, columns towards corner 3."),
                      QStringLiteral("ROWSxCOLS")});
    parser.addOption({QStringLiteral("reference"),
                      QStringLiteral("The patches' L*a*b* (D50), a CGATS or CSV file in "
                                     "row-major order."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("find-chart"),
                      QStringLiteral("Finds the chart (ColorChecker 24, SG or Vinyl 18) instead "
                                     "of taking --corners.")});
    parser.addOption({QStringLiteral("tone"),
                      QStringLiteral("The tone curve: srgb (camera JPEGs), gamma (one fitted "
                                     "exponent) or linear (linear raw exports)."),
                      QStringLiteral("CURVE"), QStringLiteral("srgb")});
    parser.addOption({QStringLiteral("inset"),
                      QStringLiteral("Percent of a patch kept clear on each side, 0 to 45."),
                      QStringLiteral("P"), QStringLiteral("25")});
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, true);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return exitStatus(*refused);

    ProfileJob job;
    job.image = std::get<ImageJob>(image);
    job.colour = std::get<PictureColour>(colour);
    job.findChart = parser.isSet(QStringLiteral("find-chart"));
    job.reference = parser.value(QStringLiteral("reference"));
    if (job.findChart && job.image.corners)
        return exitStatus(
            parser.usageError(QStringLiteral("--find-chart and --corners exclude each other.")));
    if (job.reference.isEmpty())
        return exitStatus(parser.usageError(QStringLiteral("--reference is needed.")));
    QString error;
    const std::optional<ChartSize> size =
        parseChartSize(parser.value(QStringLiteral("chart")), &error);
    if (!size)
        return exitStatus(parser.usageError(QStringLiteral("--chart: ") + error));
    const std::optional<double> inset = parseInset(parser.value(QStringLiteral("inset")), &error);
    if (!inset)
        return exitStatus(parser.usageError(QStringLiteral("--inset: ") + error));
    const std::optional<ToneCurve> tone = toneCurveFromKey(parser.value(QStringLiteral("tone")));
    if (!tone)
        return exitStatus(
            parser.usageError(QStringLiteral("--tone must be srgb, gamma or linear.")));
    job.layout = {size->rows, size->columns, *inset};
    job.tone = *tone;
    return exitStatus(makeProfile(job));
}
