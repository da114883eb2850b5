// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The exit codes of vexmira-batch, documented in every subcommand's --help.
enum class ExitCode : int {
    Done = 0,
    Usage = 1,
    InputRefused = 2,
    // Shares the code of a refused input: the command's data went nowhere.
    OutputUnwritable = 2,
    SomeFilesFailed = 3,
    Interrupted = 4,
};

inline int exitStatus(ExitCode code) {
    return static_cast<int>(code);
}
