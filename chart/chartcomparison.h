// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"
#include "labmeasurement.h"

#include <optional>
#include <vector>

// One patch: what was measured (nothing when its area held no pixel), its reference when one
// is loaded, and their differences when both exist.
struct PatchComparison {
    std::optional<LabStats> measured;
    std::optional<cv::Vec3d> reference;
    std::optional<double> deltaE76;
    std::optional<double> deltaE2000;
};

// The patches in grid order, the reference matched by index (a reference of another size is
// the caller's to refuse).
std::vector<PatchComparison> comparePatches(const std::vector<std::optional<LabStats>> &measured,
                                            const ChartReference &reference);

// Mean and maximum ΔE2000 over the patches that have one, and the index of the worst.
struct ComparisonSummary {
    int compared = 0;
    double meanDeltaE2000 = 0;
    double maxDeltaE2000 = 0;
    int worstPatch = -1;
};
std::optional<ComparisonSummary> summarise(const std::vector<PatchComparison> &patches);
