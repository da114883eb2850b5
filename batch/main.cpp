// SPDX-License-Identifier: GPL-3.0-or-later
// vexmira-batch: the viewer's commands from a shell, with no window and no display.
#include "batchprogram.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char *argv[]) {
    // A file-size limit then fails the write, which cleans up, instead of killing the process
    // with a partial temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication application(argc, argv);
    return runBatchProgram(QCoreApplication::arguments().mid(1));
}
