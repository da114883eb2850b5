// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchmessages.h"

#include <cstdio>

namespace {

// Causes may span lines (the viewer's messages box shows them so); a line on stderr may not.
QString oneLine(QString text) {
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
}

void printLine(FILE *stream, const QString &text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

void printFileError(const QString &file, const QString &cause) {
    printError(file + QStringLiteral(": ") + cause);
}

void printError(const QString &text) {
    printLine(stderr, QStringLiteral("vexmira-batch: ") + oneLine(text));
}

void printFailureSummary(int failed, const QString &firstFile, const QString &firstCause) {
    const QString count = failed == 1 ? QStringLiteral("1 file failed")
                                      : QStringLiteral("%1 files failed").arg(failed);
    printError(QStringLiteral("%1; the first: %2: %3").arg(count, firstFile, oneLine(firstCause)));
}

void printData(const QString &text) {
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}
