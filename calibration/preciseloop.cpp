// SPDX-License-Identifier: GPL-3.0-or-later
#include "preciseloop.h"

#include "meanlabadjustment.h"

#include <opencv2/core.hpp>

#include <algorithm>

std::optional<KeptRound>
holdToName(const cv::Vec3d &name,
           const std::function<std::optional<cv::Vec3d>(const cv::Vec3d &codes)> &attempt) {
    cv::Vec3d codes = exactLabCodes(name);
    std::optional<KeptRound> kept;
    double keptDeltaE = 0;
    for (int round = 0; round < preciseRounds; ++round) {
        const std::optional<cv::Vec3d> measured = attempt(codes);
        if (!measured)
            return std::nullopt;
        const cv::Vec3d error = *measured - name;
        const double deltaE = cv::norm(error);
        if (!kept || deltaE < keptDeltaE) {
            kept = KeptRound{round, codes, *measured};
            keptDeltaE = deltaE;
        }
        if (deltaE <= preciseTolerance)
            break;
        // An L* unit is 2.55 codes; a* and b* units are codes.
        codes -= cv::Vec3d(error[0] * 2.55, error[1], error[2]);
        for (int c = 0; c < 3; ++c)
            codes[c] = std::clamp(codes[c], 0.0, 255.0);
    }
    return kept;
}
