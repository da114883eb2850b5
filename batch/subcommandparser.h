// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "labencoding.h"
#include "picturecolour.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// The command line of one subcommand: its options and positional arguments, --help with the exit
// codes, and usage errors reported as the program reports them.
class SubcommandParser {
public:
    SubcommandParser(const QString &name, const QString &description);

    void addPositional(const QString &name, const QString &description);
    void addOption(const QCommandLineOption &option);
    // --corners, documented with the inner quarter as default.
    void addCornersOption();
    // --encoding linear|srgb|icc and --profile, and the encoding after a successful parse (the
    // exit code after a usage error).
    void addEncodingOption();
    std::variant<LabEncoding, ExitCode> encoding() const;
    // The encoding with the profile --profile names, opened; a usage error when --profile is
    // given without the ICC encoding; ExitCode::InputRefused, after printing why, for a file
    // that is missing or not an RGB or grey profile.
    std::variant<PictureColour, ExitCode> pictureColour() const;

    // Parses the subcommand's own arguments (those after its name). Nothing when the work may
    // go on; otherwise the exit code to end with, after printing the help or the usage error.
    std::optional<ExitCode> parse(const QStringList &arguments);

    QString value(const QString &option) const { return parser.value(option); }
    bool isSet(const QString &option) const { return parser.isSet(option); }
    QStringList positionalArguments() const { return parser.positionalArguments(); }

    // Prints "vexmira-batch <name>: <text>" and a pointer to --help; returns ExitCode::Usage.
    ExitCode usageError(const QString &text) const;

private:
    QString helpText() const;

    QString name;
    QStringList positionalNames;
    QCommandLineParser parser;
};
