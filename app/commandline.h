// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The file named on the command line `arguments` (program name first), or empty. --help and
// --version print their text and end the process, as QCommandLineParser does; so does an
// unknown option, with an error.
QString fileFromCommandLine(const QStringList &arguments);
