// SPDX-License-Identifier: GPL-3.0-or-later
#include "measurecommand.h"

#include "batchmessages.h"
#include "chartmeasurement.h"
#include "csvfields.h"
#include "inputimage.h"
#include "labmeasurement.h"
#include "labspacelabel.h"
#include "optionvalues.h"

namespace {

QString number(double value) {
    return QString::number(value, 'f', 4);
}

} // namespace

ExitCode measureImage(const MeasureJob &job) {
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    const cv::Rect rect = rectFromCorners013(input->corners);
    if (rect.empty() || !rectInside(rect, input->image.size())) {
        printFileError(job.image.input,
                       QStringLiteral("The rectangle from corner 0 to the x of corner 3 and the "
                                      "y of corner 1 is empty or does not lie inside the image."));
        return ExitCode::InputRefused;
    }
    if (!isLabMeasurable(input->image.type())) {
        printFileError(job.image.input,
                       QStringLiteral("The image is of a type that cannot be measured."));
        return ExitCode::InputRefused;
    }
    const std::optional<LabStats> stats = measureLab(input->image, rect, input->space);
    if (!stats) {
        printFileError(job.image.input, QStringLiteral("The rectangle could not be measured."));
        return ExitCode::InputRefused;
    }
    const QStringList values{csvField(job.image.input), number(stats->mean[0]),
                             number(stats->mean[1]),    number(stats->mean[2]),
                             number(stats->stdDev[0]),  number(stats->stdDev[1]),
                             number(stats->stdDev[2]),  QString::number(stats->count)};
    const bool printed =
        printData(QStringLiteral("# L*a*b*: %1\n").arg(labSpaceLabel(input->space)) +
                  QStringLiteral("file,mean_L,mean_a,mean_b,sd_L,sd_a,sd_b,pixels\n") +
                  values.join(QLatin1Char(',')) + QLatin1Char('\n'));
    return printed ? ExitCode::Done : ExitCode::OutputUnwritable;
}

namespace {

// The chart options after a successful parse; the exit code after a usage error.
std::variant<ChartMeasureJob, ExitCode> chartJobFrom(const SubcommandParser &parser) {
    ChartMeasureJob job;
    QString error;
    const std::optional<ChartSize> size =
        parseChartSize(parser.value(QStringLiteral("chart")), &error);
    if (!size)
        return parser.usageError(QStringLiteral("--chart: ") + error);
    const std::optional<double> inset = parseInset(parser.value(QStringLiteral("inset")), &error);
    if (!inset)
        return parser.usageError(QStringLiteral("--inset: ") + error);
    job.layout.rows = size->rows;
    job.layout.columns = size->columns;
    job.layout.insetPercent = *inset;
    job.reference = parser.value(QStringLiteral("reference"));
    job.findChart = parser.isSet(QStringLiteral("find-chart"));
    if (job.findChart && parser.isSet(QStringLiteral("corners")))
        return parser.usageError(QStringLiteral("--find-chart and --corners exclude each other."));
    return job;
}

} // namespace

int runMeasureCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("measure"),
                            QStringLiteral("Prints as CSV the mean and standard deviation of "
                                           "L*a*b* of IN over the rectangle that \"Set Mean Lab "
                                           "Value\" re-colours (corner 0 to the x of corner 3 "
                                           "and the y of corner 1), in floating point, and its "
                                           "pixel count. With --chart, the same for every patch "
                                           "of a chart laid over the corners, as the Chart dock "
                                           "reads it. A first line \"# L*a*b*:\" says "
                                           "which L*a*b* the values are."));
    declareImageJob(parser, false);
    parser.addEncodingOption();
    parser.addOption({QStringLiteral("chart"),
                      QStringLiteral("Reads a chart of ROWS x COLS patches: patch 1 at corner 0, "
                                     "rows towards corner 1, columns towards corner 3. Default: "
                                     "no chart, the one rectangle."),
                      QStringLiteral("ROWSxCOLS")});
    parser.addOption({QStringLiteral("inset"),
                      QStringLiteral("With --chart: percent of a patch kept clear on each side, "
                                     "0 to 45. Default: 25."),
                      QStringLiteral("P"), QStringLiteral("25")});
    parser.addOption({QStringLiteral("reference"),
                      QStringLiteral("With --chart: the patches' reference L*a*b*, a CGATS file "
                                     "(LAB_L, LAB_A, LAB_B) or a CSV file with L, a and b columns, "
                                     "in row-major order; adds the reference, dE76 and dE2000. "
                                     "Default: none."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("find-chart"),
                      QStringLiteral("With --chart 4x6, 10x14 or 3x6: the corners where the "
                                     "ColorChecker 24, SG or Vinyl 18 is found, turned to fit "
                                     "--reference; exit 2 when no chart is found.")});
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, false);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return exitStatus(*refused);
    if (!parser.isSet(QStringLiteral("chart"))) {
        for (const char *chartOnly : {"inset", "reference", "find-chart"})
            if (parser.isSet(QLatin1String(chartOnly)))
                return exitStatus(parser.usageError(
                    QStringLiteral("--%1 needs --chart.").arg(QLatin1String(chartOnly))));
        return exitStatus(
            measureImage({std::get<ImageJob>(image), std::get<PictureColour>(colour)}));
    }
    std::variant<ChartMeasureJob, ExitCode> chart = chartJobFrom(parser);
    if (const ExitCode *usage = std::get_if<ExitCode>(&chart))
        return exitStatus(*usage);
    ChartMeasureJob &job = std::get<ChartMeasureJob>(chart);
    job.image = std::get<ImageJob>(image);
    job.colour = std::get<PictureColour>(colour);
    return exitStatus(measureChart(job));
}
