// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "labspace.h"
#include "quad.h"
#include "subcommandparser.h"

#include <QString>

#include <optional>
#include <variant>

// What every single-image subcommand takes: IN, OUT when it writes one, and the corners.
struct ImageJob {
    QString input;
    QString output;
    // Nothing: the inner quarter.
    std::optional<Quad> corners;
};

// Declares IN, OUT (when `withOutput`) and --corners.
void declareImageJob(SubcommandParser &parser, bool withOutput);
// Reads them after a successful parse, IN being positional argument `first`; the exit code after
// a usage error.
std::variant<ImageJob, ExitCode> imageJobFrom(const SubcommandParser &parser, bool withOutput,
                                              int first = 0);

// Writes the part `rect` of `result` to the job's OUT as Save does: through a temporary file
// renamed over OUT, so a failed write leaves no partial file and OUT may be IN. In the ICC mode
// the file carries the profile of `space` (see profileToEmbed). Prints the failure and tells the
// exit code.
ExitCode writeJobOutput(const ImageJob &job, const cv::Mat &result, const cv::Rect &rect,
                        const LabSpace &space = LabSpace());
