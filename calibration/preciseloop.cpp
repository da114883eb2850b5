// SPDX-License-Identifier: GPL-3.0-or-later
#include "preciseloop.h"

#include "meanlabadjustment.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

namespace {

// Codes per L*a*b* unit: an L* unit is 2.55 codes, a* and b* units are codes.
const cv::Vec3d nominalCodesPerUnit(2.55, 1, 1);
// The response a round may show and still be believed: a step too small to measure, or a
// response far from the nominal one (JPEG noise, a channel pinned by clipping), keeps the last.
constexpr double smallestStep = 0.05;
constexpr double lowestResponse = 0.2;
constexpr double highestResponse = 5.0;

// Codes per unit of the mean, channel by channel, from two rounds; `codesPerUnit` unchanged in
// a channel where they say nothing reliable.
void learnResponse(const cv::Vec3d &codeStep, const cv::Vec3d &meanStep, cv::Vec3d &codesPerUnit) {
    for (int c = 0; c < 3; ++c) {
        if (std::abs(codeStep[c]) < smallestStep || meanStep[c] == 0)
            continue;
        const double response = meanStep[c] * nominalCodesPerUnit[c] / codeStep[c];
        if (response >= lowestResponse && response <= highestResponse)
            codesPerUnit[c] = nominalCodesPerUnit[c] / response;
    }
}

cv::Vec3d clampedCodes(cv::Vec3d codes) {
    for (int c = 0; c < 3; ++c)
        codes[c] = std::clamp(codes[c], 0.0, 255.0);
    return codes;
}

} // namespace

std::optional<KeptRound>
holdToName(const cv::Vec3d &name,
           const std::function<std::optional<cv::Vec3d>(const cv::Vec3d &codes)> &attempt) {
    cv::Vec3d codes = exactLabCodes(name);
    cv::Vec3d codesPerUnit = nominalCodesPerUnit;
    std::optional<KeptRound> kept;
    std::optional<KeptRound> previous;
    int roundsWithoutGain = 0;
    for (int round = 0; round < preciseRounds; ++round) {
        const std::optional<cv::Vec3d> measured = attempt(codes);
        if (!measured)
            return std::nullopt;
        const cv::Vec3d error = *measured - name;
        const KeptRound current{round, codes, *measured, cv::norm(error)};
        if (!kept || current.deltaE < kept->deltaE) {
            // A gain too small to matter counts as none, so a loop creeping nearer ends too.
            const bool gained = !kept || current.deltaE < 0.9 * kept->deltaE;
            roundsWithoutGain = gained ? 0 : roundsWithoutGain + 1;
            kept = current;
        } else {
            ++roundsWithoutGain;
        }
        if (current.deltaE <= preciseTolerance || roundsWithoutGain >= preciseStallRounds)
            break;
        if (previous)
            learnResponse(codes - previous->codes, *measured - previous->measured, codesPerUnit);
        previous = current;
        // Corrected from the closest round so far, so that a round gone astray is not built on.
        const cv::Vec3d keptError = kept->measured - name;
        const cv::Vec3d next = clampedCodes(kept->codes - keptError.mul(codesPerUnit));
        // Pinned at the end of the code range: another round would write the same file.
        if (cv::norm(next - codes) < 1e-9)
            break;
        codes = next;
    }
    return kept;
}
