// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartcomparison.h"

#include "colourdifference.h"

std::vector<PatchComparison> comparePatches(const std::vector<std::optional<LabStats>> &measured,
                                            const ChartReference &reference) {
    std::vector<PatchComparison> patches(measured.size());
    for (size_t i = 0; i < measured.size(); ++i) {
        PatchComparison &patch = patches[i];
        patch.measured = measured[i];
        if (i < reference.size())
            patch.reference = reference[i];
        if (patch.measured && patch.reference) {
            patch.deltaE76 = deltaE76(patch.measured->mean, *patch.reference);
            patch.deltaE2000 = deltaE2000(patch.measured->mean, *patch.reference);
        }
    }
    return patches;
}

std::optional<ComparisonSummary> summarise(const std::vector<PatchComparison> &patches) {
    ComparisonSummary summary;
    double sum = 0;
    for (size_t i = 0; i < patches.size(); ++i) {
        if (!patches[i].deltaE2000)
            continue;
        const double difference = *patches[i].deltaE2000;
        sum += difference;
        if (summary.worstPatch < 0 || difference > summary.maxDeltaE2000) {
            summary.maxDeltaE2000 = difference;
            summary.worstPatch = int(i);
        }
        ++summary.compared;
    }
    if (summary.compared == 0)
        return std::nullopt;
    summary.meanDeltaE2000 = sum / summary.compared;
    return summary;
}
