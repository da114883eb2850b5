// SPDX-License-Identifier: GPL-3.0-or-later
// vexmira-batch: the viewer's commands from a shell, with no window and no display.
#include "batchmessages.h"
#include "batchprogram.h"
#include "commandlinearguments.h"
#include "exitcode.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[]) {
    // A file-size limit then fails the write, which cleans up, instead of killing the process
    // with a partial temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication application(argc, argv);
    // QCoreApplication::arguments() would turn bytes that are not UTF-8 into U+FFFD, naming
    // another file than the one meant.
    QByteArray undecodable;
    const std::optional<QStringList> arguments = decodeArguments(argc, argv, &undecodable);
    if (!arguments) {
        printError(QStringLiteral("\"%1\" is not valid UTF-8: no file can be read or written by "
                                  "that name; rename it.")
                       .arg(escapedBytes(undecodable)));
        return exitStatus(ExitCode::Usage);
    }
    return runBatchProgram(*arguments);
}
