// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

// Runs vexmira-batch on its arguments (without the program's name): picks the subcommand and
// returns the exit code.
int runBatchProgram(const QStringList &arguments);
