// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

QString fileFromCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Colour-measurement viewer: warp, shading correction and mean Lab images."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QCoreApplication::translate("main", "Image to open instead of the start-up photograph."),
        QStringLiteral("[file]"));
    parser.process(arguments);
    const QStringList files = parser.positionalArguments();
    return files.isEmpty() ? QString() : files.constFirst();
}
