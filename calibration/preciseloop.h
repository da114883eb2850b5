// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/matx.hpp>

#include <functional>
#include <optional>

// The precise mode holds a file to its name: it is re-coloured to the name's real codes (L* x
// 2.55, a* + 128, b* + 128), rounded, measured as it decodes, and written again with the codes
// corrected by the error it measured, until its mean lies within preciseTolerance (ΔE76) of its
// name, the corrections stop helping, or preciseRounds have run. The round closest to its name
// is kept.
//
// The file's mean does not follow the codes one for one (texture and clipping pull it), so each
// correction divides the error by the response of the mean to the codes that the rounds so far
// show, channel by channel.
inline constexpr int preciseRounds = 8;
inline constexpr double preciseTolerance = 0.1;
// Rounds in a row that may bring no file closer to its name before the loop gives up.
inline constexpr int preciseStallRounds = 2;

// What the precise mode promises to reach where the name is inside the gamut: lossless files
// within 0.5 ΔE76, lossy (JPEG) files within 1.0. A file further off is reported as off target.
inline constexpr double preciseLosslessGoal = 0.5;
inline constexpr double preciseLossyGoal = 1.0;

struct KeptRound {
    // Counted from 0.
    int round = 0;
    cv::Vec3d codes;
    cv::Vec3d measured;
    // ΔE76 of `measured` from the name.
    double deltaE = 0;
};

// Runs the loop for the L*a*b* value `name`. `attempt` re-colours and encodes with the target
// codes it is given and returns the file's measured mean, or nothing when it could not; the loop
// then ends with nothing.
std::optional<KeptRound>
holdToName(const cv::Vec3d &name,
           const std::function<std::optional<cv::Vec3d>(const cv::Vec3d &codes)> &attempt);
