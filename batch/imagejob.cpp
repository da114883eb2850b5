// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagejob.h"

#include "batchmessages.h"
#include "imagefiles.h"
#include "optionvalues.h"
#include "picturecolour.h"
#include "picturefile.h"

void declareImageJob(SubcommandParser &parser, bool withOutput) {
    parser.addPositional(QStringLiteral("IN"), QStringLiteral("The image file to read."));
    if (withOutput)
        parser.addPositional(QStringLiteral("OUT"),
                             QStringLiteral("The image file to write, in the format of its "
                                            "extension; it may be IN."));
    parser.addCornersOption();
}

std::variant<ImageJob, ExitCode> imageJobFrom(const SubcommandParser &parser, bool withOutput,
                                              int first) {
    const QStringList positional = parser.positionalArguments();
    ImageJob job;
    job.input = positional.value(first);
    if (withOutput)
        job.output = positional.value(first + 1);
    if (parser.isSet(QStringLiteral("corners"))) {
        QString error;
        job.corners = parseCorners(parser.value(QStringLiteral("corners")), &error);
        if (!job.corners)
            return parser.usageError(QStringLiteral("--corners: ") + error);
    }
    return job;
}

ExitCode writeJobOutput(const ImageJob &job, const cv::Mat &result, const cv::Rect &rect,
                        const LabSpace &space) {
    QString error;
    if (writeImageRectWithProfile(result, rect, job.output, profileToEmbed(space, job.output),
                                  &error))
        return ExitCode::Done;
    printFileError(job.output, error);
    return ExitCode::SomeFilesFailed;
}
