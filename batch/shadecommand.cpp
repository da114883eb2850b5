// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagecommands.h"

#include "batchmessages.h"
#include "floatshadingcorrection.h"
#include "inputimage.h"
#include "matconversion.h"
#include "optionvalues.h"
#include "shadingcorrection.h"

#include <exception>

namespace {

// Why the shading correction would refuse the image and corners; empty when it takes them.
QString shadingRefusal(const cv::Mat &bgr, const Quad &corners, int cellSize) {
    if (bgr.empty())
        return QStringLiteral("The image is of a type the shading correction does not take.");
    const ShadingGrid grid = shadingGrid(corners, cellSize);
    if (grid.isEmpty())
        return QStringLiteral("The region from corner 0 to the x of corner 3 and the y of "
                              "corner 1 holds no whole %1-pixel cell.")
            .arg(cellSize);
    if (!rectInside(grid.covered(), bgr.size()))
        return QStringLiteral("The region of the corners does not lie inside the image.");
    return {};
}

// The colour-managed correction, at the picture's depth.
ExitCode shadeInProfile(const ShadeJob &job, const InputImage &input) {
    const QString refusal = shadingRefusal(input.image, input.corners, job.cellSize);
    if (!refusal.isEmpty()) {
        printFileError(job.image.input, refusal);
        return ExitCode::InputRefused;
    }
    cv::Mat corrected;
    QString problem;
    try {
        corrected =
            floatShadingCorrected(input.image, input.corners, job.cellSize, input.space, &problem);
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        problem = QStringLiteral("The shading correction failed: %1")
                      .arg(QString::fromLocal8Bit(error.what()));
    }
    if (corrected.empty()) {
        printFileError(job.image.input, problem);
        return ExitCode::InputRefused;
    }
    return writeJobOutput(job.image, corrected, rectFromCorners02(input.corners), input.space);
}

} // namespace

ExitCode shadeImage(const ShadeJob &job) {
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    if (input->space.isIcc())
        return shadeInProfile(job, *input);
    cv::Mat corrected;
    try {
        // As the viewer: 8-bit colour as it is, other types as they are shown.
        const cv::Mat &image = input->image;
        const bool takenAsIs =
            image.depth() == CV_8U && (image.channels() == 3 || image.channels() == 4);
        const cv::Mat bgr = takenAsIs ? image : toBgr8(image);
        const QString refusal = shadingRefusal(bgr, input->corners, job.cellSize);
        if (!refusal.isEmpty()) {
            printFileError(job.image.input, refusal);
            return ExitCode::InputRefused;
        }
        corrected = shadingCorrected(bgr, input->corners, job.cellSize, job.colour.encoding);
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        printFileError(job.image.input, QStringLiteral("The shading correction failed: %1")
                                            .arg(QString::fromLocal8Bit(error.what())));
        return ExitCode::InputRefused;
    }
    if (corrected.empty()) {
        printFileError(job.image.input,
                       QStringLiteral("The shading correction refused the image."));
        return ExitCode::InputRefused;
    }
    return writeJobOutput(job.image, corrected, rectFromCorners02(input->corners));
}

int runShadeCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("shade"),
                            QStringLiteral("Evens out the lightness of IN over the region of the "
                                           "corners, as the viewer's Shading Correction (tool "
                                           "bar) does, and "
                                           "writes the rectangle from corner 0 to corner 2 to "
                                           "OUT, as Save does."));
    declareImageJob(parser, true);
    parser.addOption({QStringLiteral("cell"),
                      QStringLiteral("The cell size in pixels over which lightness is measured. "
                                     "Default: 100."),
                      QStringLiteral("pixels"), QStringLiteral("100")});
    parser.addEncodingOption();
    if (const std::optional<ExitCode> end = parser.parse(arguments))
        return exitStatus(*end);
    const std::variant<ImageJob, ExitCode> image = imageJobFrom(parser, true);
    if (const ExitCode *usage = std::get_if<ExitCode>(&image))
        return exitStatus(*usage);
    QString error;
    const std::optional<int> cellSize = parseCellSize(parser.value(QStringLiteral("cell")), &error);
    if (!cellSize)
        return exitStatus(parser.usageError(QStringLiteral("--cell: ") + error));
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return exitStatus(*refused);
    return exitStatus(
        shadeImage({std::get<ImageJob>(image), *cellSize, std::get<PictureColour>(colour)}));
}
