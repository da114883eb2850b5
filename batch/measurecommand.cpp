// SPDX-License-Identifier: GPL-3.0-or-later
#include "measurecommand.h"

#include "batchmessages.h"
#include "csvfields.h"
#include "inputimage.h"
#include "labmeasurement.h"
#include "optionvalues.h"

namespace {

QString number(double value) {
    return QString::number(value, 'f', 4);
}

} // namespace

ExitCode measureImage(const MeasureJob &job) {
    const std::optional<InputImage> input = readInputImage(job.image.input, job.image.corners);
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
    const std::optional<LabStats> stats = measureLab(input->image, rect, job.encoding);
    if (!stats) {
        printFileError(job.image.input, QStringLiteral("The rectangle could not be measured."));
        return ExitCode::InputRefused;
    }
    const QStringList values{csvField(job.image.input), number(stats->mean[0]),
                             number(stats->mean[1]),    number(stats->mean[2]),
                             number(stats->stdDev[0]),  number(stats->stdDev[1]),
                             number(stats->stdDev[2]),  QString::number(stats->count)};
    printData(QStringLiteral("file,mean_L,mean_a,mean_b,sd_L,sd_a,sd_b,pixels\n") +
              values.join(QLatin1Char(',')) + QLatin1Char('\n'));
    return ExitCode::Done;
}

int runMeasureCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("measure"),
                            QStringLiteral("Prints as CSV the mean and standard deviation of "
                                           "L*a*b* of IN over the rectangle that \"Set Mean Lab "
                                           "Value\" re-colours (corner 0 to the x of corner 3 "
                                           "and the y of corner 1), in floating point, and its "
                                           "pixel count."));
    declareImageJob(parser, false);
    parser.addEncodingOption();
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, false);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    QString error;
    const std::optional<LabEncoding> encoding =
        parseEncoding(parser.value(QStringLiteral("encoding")), &error);
    if (!encoding)
        return exitStatus(parser.usageError(QStringLiteral("--encoding: ") + error));
    return exitStatus(measureImage({std::get<ImageJob>(image), *encoding}));
}
