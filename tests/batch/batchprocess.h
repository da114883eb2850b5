// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

// vexmira-batch run as a process, with no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM
// are removed from its environment.
struct BatchRun {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;
};

// Runs the program built beside the tests in `workingDirectory` (the test's own when empty);
// `modifier`, when given, runs in the child before the program starts.
BatchRun runBatch(const QStringList &arguments, const QString &workingDirectory = QString(),
                  const std::function<void()> &modifier = {});

// The environment without any display.
QProcessEnvironment displaylessEnvironment();

QByteArray fileBytes(const QString &path);
