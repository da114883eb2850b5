// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagecommands.h"

#include "batchmessages.h"
#include "inputimage.h"
#include "squarewarp.h"

#include <exception>

ExitCode warpImage(const ImageJob &job, const PictureColour &colour) {
    const std::optional<InputImage> input = readInputImage(job.input, job.corners, colour);
    if (!input)
        return ExitCode::InputRefused;
    if (!isPerspectiveQuad(input->corners)) {
        printFileError(job.input, QStringLiteral("The corners define no perspective transform: "
                                                 "two coincide or three lie on one line."));
        return ExitCode::InputRefused;
    }
    const Quad target = warpTargetCorners(input->image.size());
    cv::Mat warped;
    try {
        warped.create(input->image.size(), input->image.type());
        if (!warpQuadOnto(input->image, input->corners, target, warped)) {
            printFileError(job.input, QStringLiteral("The perspective transform of the corners "
                                                     "cannot be computed."));
            return ExitCode::InputRefused;
        }
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        printFileError(
            job.input,
            QStringLiteral("The warp failed: %1").arg(QString::fromLocal8Bit(error.what())));
        return ExitCode::InputRefused;
    }
    // The viewer's corners move onto the square, which Save then writes.
    return writeJobOutput(job, warped, rectFromCorners02(target), input->space);
}

int runWarpCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("warp"),
                            QStringLiteral("Warps the corners' quadrilateral of IN onto the "
                                           "square centred in the image, as the viewer's Warp "
                                           "(tool bar, key W) does, and writes that square to "
                                           "OUT, as Save does."));
    declareImageJob(parser, true);
    parser.addEncodingOption();
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> job = imageJobFrom(parser, true);
    if (const ExitCode *usage = std::get_if<ExitCode>(&job))
        return exitStatus(*usage);
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return exitStatus(*refused);
    return exitStatus(warpImage(std::get<ImageJob>(job), std::get<PictureColour>(colour)));
}
