// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagecommands.h"

#include "atomicfilewrite.h"
#include "batchmessages.h"
#include "drivepath.h"
#include "imageencoding.h"
#include "inputimage.h"
#include "labmeasurement.h"
#include "matconversion.h"
#include "optionvalues.h"
#include "picturefile.h"
#include "preciseloop.h"

#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

#include <exception>
#include <vector>

namespace {

const char recolourFailure[] = "The rectangle could not be re-coloured to this value.";

// The precise mode's goal for OUT: lossy JPEG files are held less tightly than lossless ones.
double preciseGoal(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool jpeg = suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg") ||
                      suffix == QLatin1String("jpe");
    return jpeg ? preciseLossyGoal : preciseLosslessGoal;
}

// The precise loop over OUT's bytes; prints why when it could not run.
// The bytes of the profile the output's numbers are in; none in the OpenCV modes.
std::vector<unsigned char> embeddedBytes(const LabSpace &space) {
    if (!space.isIcc())
        return {};
    const QByteArray &bytes = space.profile()->bytes();
    return {bytes.begin(), bytes.end()};
}

ExitCode writePrecisely(const SetLabJob &job, MeanLabAdjustment &adjustment, const cv::Rect &rect) {
    const QString path = resolveDrivePath(job.image.output);
    const cv::Mat &work = adjustment.workImage();
    const cv::Rect whole(cv::Point(), work.size());
    std::vector<std::vector<uchar>> rounds;
    QString failure;
    std::optional<KeptRound> kept;
    try {
        kept = holdToName(cv::Vec3d(job.lab.l, job.lab.a, job.lab.b), [&](const cv::Vec3d &codes) {
            std::optional<cv::Vec3d> measured;
            if (!adjustment.adjust(rect, codes, CodeRounding::Nearest)) {
                failure = QLatin1String(recolourFailure);
                return measured;
            }
            std::optional<std::vector<uchar>> bytes = encodeImageRectWithProfile(
                work, whole, path, embeddedBytes(adjustment.labSpace()), &failure);
            if (!bytes)
                return measured;
            const std::optional<LabStats> stats =
                measureLab(cv::imdecode(*bytes, cv::IMREAD_UNCHANGED), rect, adjustment.labSpace());
            if (!stats) {
                failure = QStringLiteral("The encoded file does not decode to the image written.");
                return measured;
            }
            rounds.push_back(std::move(*bytes));
            measured = stats->mean;
            return measured;
        });
    } catch (const std::exception &error) { // cv::Exception from the library, or std::bad_alloc
        failure = QStringLiteral("The image library failed: %1")
                      .arg(QString::fromLocal8Bit(error.what()));
    }
    if (!kept) {
        printFailureSummary(1, job.image.output, failure);
        return ExitCode::SomeFilesFailed;
    }
    const std::vector<uchar> &bytes = rounds[static_cast<std::size_t>(kept->round)];
    const FileWriteResult written =
        writeFileAtomically(path, reinterpret_cast<const char *>(bytes.data()), bytes.size());
    if (!written.written()) {
        printFailureSummary(1, job.image.output, written.error);
        return ExitCode::SomeFilesFailed;
    }
    // The closest file is kept all the same: it is what the picture can give.
    const double goal = preciseGoal(path);
    if (kept->deltaE <= goal)
        return ExitCode::Done;
    printFileError(job.image.output,
                   QStringLiteral("reached %1 dE76 from %2,%3,%4, not the %5 the precise mode "
                                  "holds to; the closest file was written.")
                       .arg(kept->deltaE, 0, 'f', 2)
                       .arg(job.lab.l)
                       .arg(job.lab.a)
                       .arg(job.lab.b)
                       .arg(goal, 0, 'f', 1));
    return ExitCode::SomeFilesFailed;
}

} // namespace

ExitCode setLabImage(const SetLabJob &job) {
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    const cv::Rect rect = rectFromCorners013(input->corners);
    // An empty rectangle has no mean to set.
    if (rect.empty() || !rectInside(rect, input->image.size())) {
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
    const LabSpace &space = input->space;
    if (!adjustment.bind(input->image, space)) {
        printFileError(job.image.input, QLatin1String(recolourFailure));
        return ExitCode::InputRefused;
    }
    if (job.precise)
        return writePrecisely(job, adjustment, rect);
    if (!adjustment.adjust(rect, labCodes(job.lab))) {
        printFileError(job.image.input, QLatin1String(recolourFailure));
        return ExitCode::InputRefused;
    }
    const cv::Mat &adjusted = adjustment.workImage();
    const cv::Rect whole(cv::Point(), adjusted.size());
    if (!space.isIcc())
        return writeJobOutput(job.image, adjusted, whole);
    QString error;
    if (writeImageRectWithProfile(adjusted, whole, job.image.output, embeddedBytes(space), &error))
        return ExitCode::Done;
    printFileError(job.image.output, error);
    return ExitCode::SomeFilesFailed;
}

int runSetLabCommand(const QStringList &arguments) {
    SubcommandParser parser(QStringLiteral("setlab"),
                            QStringLiteral("Re-colours the rectangle from corner 0 to the x of "
                                           "corner 3 and the y of corner 1 to a mean L*a*b*, as "
                                           "\"Set Mean Lab Value\" does, and writes the whole "
                                           "adjusted image to OUT."));
    declareImageJob(parser, true);
    parser.addOption({QStringLiteral("lab"),
                      QStringLiteral("The mean to reach: L* 0 to 100, a* and b* -127 to 127. "
                                     "Required."),
                      QStringLiteral("L,a,b")});
    parser.addEncodingOption();
    parser.addOption({QStringLiteral("precise"),
                      QStringLiteral("Real L* target and rounded codes, and OUT held to its "
                                     "value as it decodes, as a precise series holds its files: "
                                     "within 0.5 dE76 (1.0 for JPEG). When the picture cannot "
                                     "get there, OUT is the closest it came, the dE76 reached is "
                                     "printed and the exit code is 3.")});
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
    const std::variant<PictureColour, ExitCode> colour = parser.pictureColour();
    if (const ExitCode *refused = std::get_if<ExitCode>(&colour))
        return exitStatus(*refused);
    return exitStatus(setLabImage({std::get<ImageJob>(image), *lab, std::get<PictureColour>(colour),
                                   parser.isSet(QStringLiteral("precise"))}));
}
