// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/matx.hpp>

#include <functional>
#include <optional>

// The precise mode holds a file to its name: it is re-coloured to the name's real codes (L* x
// 2.55, a* + 128, b* + 128), rounded, measured as it decodes, and written again with the codes
// corrected by the error it measured, at most preciseRounds times, until its mean lies within
// preciseTolerance (ΔE76) of its name. The round closest to its name is kept.
inline constexpr int preciseRounds = 3;
inline constexpr double preciseTolerance = 0.1;

struct KeptRound {
    // Counted from 0.
    int round = 0;
    cv::Vec3d codes;
    cv::Vec3d measured;
};

// Runs the loop for the L*a*b* value `name`. `attempt` re-colours and encodes with the target
// codes it is given and returns the file's measured mean, or nothing when it could not; the loop
// then ends with nothing.
std::optional<KeptRound>
holdToName(const cv::Vec3d &name,
           const std::function<std::optional<cv::Vec3d>(const cv::Vec3d &codes)> &attempt);
