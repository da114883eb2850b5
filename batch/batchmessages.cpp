// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchmessages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    if (failed == 1) {
        printFileError(firstFile, firstCause);
        return;
    }
    printError(QStringLiteral("%1 files failed; the first: %2: %3")
                   .arg(failed)
                   .arg(firstFile, oneLine(firstCause)));
}

bool printData(const QString &text) {
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    // A full disk shows only when the buffer is flushed.
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) ==
                             std::size_t(bytes.size()) &&
                         std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!written)
        printError(QStringLiteral("standard output cannot be written: %1")
                       .arg(QString::fromLocal8Bit(std::strerror(errno ? errno : EIO))));
    return written;
}

QString countOf(qsizetype count, const QString &singular) {
    return QStringLiteral("%1 %2%3").arg(count).arg(singular,
                                                    count == 1 ? QString() : QStringLiteral("s"));
}
