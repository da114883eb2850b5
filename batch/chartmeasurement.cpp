// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartmeasurement.h"

#include "batchmessages.h"
#include "chartcomparison.h"
#include "chartexport.h"
#include "chartreference.h"
#include "foundchart.h"
#include "inputimage.h"
#include "labmeasurement.h"
#include "patchmeasurement.h"

#include <optional>
#include <variant>

ExitCode measureChart(const ChartMeasureJob &job) {
    std::optional<ChartReference> reference;
    if (!job.reference.isEmpty()) {
        QString error;
        reference = loadReference(job.reference, error);
        if (reference)
            error = referenceCountProblem(*reference, job.layout.patchCount(), job.reference);
        if (!error.isEmpty()) {
            printError(error);
            return ExitCode::InputRefused;
        }
    }
    const std::optional<InputImage> input =
        readInputImage(job.image.input, job.image.corners, job.colour);
    if (!input)
        return ExitCode::InputRefused;
    if (!isLabMeasurable(input->image.type())) {
        printFileError(job.image.input,
                       QStringLiteral("The image is of a type that cannot be measured."));
        return ExitCode::InputRefused;
    }
    const std::optional<Quad> corners =
        chartCorners(*input, job.image.input, job.layout, job.findChart, reference);
    if (!corners)
        return ExitCode::InputRefused;
    const PatchGrid grid = patchGrid(*corners, job.layout);
    if (!grid.problem.isEmpty()) {
        printFileError(job.image.input, grid.problem);
        return ExitCode::InputRefused;
    }
    const std::vector<PatchComparison> patches =
        comparePatches(measurePatches(input->image, grid.areas, input->space),
                       reference.value_or(ChartReference()));
    QString error;
    const std::optional<QByteArray> csv =
        chartCsv(patches, reference.has_value(), input->space, error);
    if (!csv) {
        printFileError(job.image.input, error);
        return ExitCode::InputRefused;
    }
    return printData(QString::fromUtf8(*csv)) ? ExitCode::Done : ExitCode::OutputUnwritable;
}
