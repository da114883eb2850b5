// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Messages of vexmira-batch go to standard error, one line each, beginning with the program's
// name; data goes to standard output.

// "vexmira-batch: <file>: <cause>", the file in the form the user gave it.
void printFileError(const QString &file, const QString &cause);
// "vexmira-batch: <text>".
void printError(const QString &text);
// "vexmira-batch: <count> file(s) failed; the first: <file>: <cause>".
void printFailureSummary(int failed, const QString &firstFile, const QString &firstCause);
// Writes the text to standard output as UTF-8, at once.
void printData(const QString &text);
