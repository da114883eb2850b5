// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Messages of vexmira-batch go to standard error, one line each, beginning with the program's
// name; data goes to standard output.

// "vexmira-batch: <file>: <cause>", the file in the form the user gave it.
void printFileError(const QString &file, const QString &cause);
// "vexmira-batch: <text>".
void printError(const QString &text);
// "vexmira-batch: <count> files failed; the first: <file>: <cause>", or for one failure only
// "vexmira-batch: <file>: <cause>".
void printFailureSummary(int failed, const QString &firstFile, const QString &firstCause);
// Writes the text to standard output as UTF-8, at once. False, after printing why, when standard
// output does not take it all (a full disk, a closed pipe).
[[nodiscard]] bool printData(const QString &text);

// "1 image", "2 images": `singular` + "s" unless the count is one.
QString countOf(qsizetype count, const QString &singular);
