// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundchart.h"

#include "batchmessages.h"
#include "chartfinder.h"

std::variant<Quad, QString> foundChartCorners(const cv::Mat &image, const GridLayout &layout,
                                              const LabSpace &space,
                                              const std::optional<ChartReference> &reference) {
    ChartFindOptions options;
    if (const auto kind = chartKindWithPatchCount(layout.patchCount()))
        options.kinds = {*kind};
    options.reference = reference ? &*reference : nullptr;
    options.readPatches = patchLabReader(image, space);
    options.insetPercent = layout.insetPercent;
    const ChartSearch search = findChart(image, options);
    if (!search.chart)
        return QStringLiteral("no chart found");
    if (search.chart->rows != layout.rows || search.chart->columns != layout.columns)
        return QStringLiteral("found %1, not a %2 x %3 chart")
            .arg(foundChartText(*search.chart))
            .arg(layout.rows)
            .arg(layout.columns);
    return search.chart->quad();
}

std::optional<Quad> chartCorners(const InputImage &input, const QString &path,
                                 const GridLayout &layout, bool find,
                                 const std::optional<ChartReference> &reference) {
    if (!find)
        return input.corners;
    const std::variant<Quad, QString> found =
        foundChartCorners(input.image, layout, input.space, reference);
    if (const QString *problem = std::get_if<QString>(&found)) {
        printFileError(path, *problem);
        return std::nullopt;
    }
    return std::get<Quad>(found);
}
