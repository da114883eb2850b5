// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchprocess.h"

#include <QFile>

QProcessEnvironment displaylessEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

BatchRun runBatch(const QStringList &arguments, const QString &workingDirectory,
                  const std::function<void()> &modifier) {
    QProcess process;
    process.setProcessEnvironment(displaylessEnvironment());
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    if (modifier)
        process.setChildProcessModifier(modifier);
    process.start(QStringLiteral(VEXMIRA_BATCH), arguments);
    BatchRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
