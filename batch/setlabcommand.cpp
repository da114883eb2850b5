// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagecommands.h"

#include "batchmessages.h"
#include "inputimage.h"
#include "matconversion.h"
#include "optionvalues.h"

ExitCode setLabImage(const SetLabJob &job) {
    const std::optional<InputImage> input = readInputImage(job.image.input, job.image.corners);
    if (!input)
        return ExitCode::InputRefused;
    const cv::Rect rect = rectFromCorners013(input->corners);
    if (!rectInside(rect, input->image.size())) {
        printFileError(job.image.input,
                       QStringLiteral("The corners do not form a rectangle inside the image to "
                                      "re-colour: corner 0 must lie left of corner 3 and above "
                                      "corner 1."));
        return ExitCode::InputRefused;
    }
    if (!convertsToBgr8(input->image.type())) {
        printFileError(job.image.input,
                       QStringLiteral("The image is of a type that cannot be re-coloured."));
        return ExitCode::InputRefused;
    }
    MeanLabAdjustment adjustment;
    if (!adjustment.bind(input->image) || !adjustment.adjust(rect, labCodes(job.lab))) {
        printFileError(job.image.input,
                       QStringLiteral("The rectangle could not be re-coloured to this value."));
        return ExitCode::InputRefused;
    }
    const cv::Mat &adjusted = adjustment.workImage();
    return writeJobOutput(job.image, adjusted, cv::Rect(cv::Point(), adjusted.size()));
}

int runSetLabCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("setlab"),
                            QStringLiteral("Re-colours the rectangle from corner 0 to the x of "
                                           "corner 3 and the y of corner 1 to a mean L*a*b*, as "
                                           "\"Set Mean Lab Value\" does, and writes the whole "
                                           "adjusted image to OUT."));
    declareImageJob(parser, true);
    parser.addOption({QStringLiteral("lab"),
                      QStringLiteral("The mean to reach: L* 0 to 100, a* and b* -127 to 127."),
                      QStringLiteral("L,a,b")});
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, true);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    if (!parser.isSet(QStringLiteral("lab")))
        return exitStatus(parser.usageError(QStringLiteral("--lab is required.")));
    QString error;
    const std::optional<LabValue> lab = parseLabValue(parser.value(QStringLiteral("lab")), &error);
    if (!lab)
        return exitStatus(parser.usageError(QStringLiteral("--lab: ") + error));
    return exitStatus(setLabImage({std::get<ImageJob>(image), *lab}));
}
