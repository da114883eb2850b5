// SPDX-License-Identifier: GPL-3.0-or-later
#include "subcommandparser.h"

#include "batchmessages.h"
#include "batchversion.h"
#include "optionvalues.h"

namespace {

const char exitCodesHelp[] = "\nExit codes:\n"
                             "  0  done\n"
                             "  1  usage error\n"
                             "  2  input cannot be read or is refused, or standard output "
                             "cannot be written\n"
                             "  3  some files failed (the count and the first failure are "
                             "printed)\n"
                             "  4  interrupted (SIGINT): stopped after the image in hand\n";

} // namespace

SubcommandParser::SubcommandParser(const QString &subcommand, const QString &description)
    : name(subcommand) {
    parser.setApplicationDescription(description);
    // Qt's own help option would add --help-all, which only lists Qt's options.
    parser.addOption(
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help.")});
    parser.addOption({QStringLiteral("version"), QStringLiteral("Shows the program's version.")});
    parser.addOption({{QStringLiteral("q"), QStringLiteral("quiet")},
                      QStringLiteral("Says nothing but errors: no progress and no summary. Data "
                                     "asked for still goes to standard output.")});
}

void SubcommandParser::addPositional(const QString &positional, const QString &description) {
    parser.addPositionalArgument(positional, description);
    positionalNames << positional;
}

void SubcommandParser::addOption(const QCommandLineOption &option) {
    parser.addOption(option);
}

void SubcommandParser::addCornersOption() {
    parser.addOption({QStringLiteral("corners"),
                      QStringLiteral("The quadrilateral in pixels of IN: corner 0 top-left, 1 "
                                     "bottom-left, 2 bottom-right, 3 top-right, each on a pixel "
                                     "of the image. Default: the inner quarter, as the viewer "
                                     "places them on opening."),
                      QStringLiteral("x0,y0,x1,y1,x2,y2,x3,y3")});
}

void SubcommandParser::addEncodingOption() {
    parser.addOption({QStringLiteral("encoding"),
                      QStringLiteral("What the pictures' values are, as \"Pictures are:\" says "
                                     "in the viewer: linear light or sRGB (L*a*b* by OpenCV, "
                                     "D65), or colour-managed (ICC L*a*b*, D50, through the "
                                     "picture's embedded profile, sRGB when it has none). "
                                     "Default: linear."),
                      QStringLiteral("linear|srgb|icc"), QStringLiteral("linear")});
    parser.addOption({QStringLiteral("profile"),
                      QStringLiteral("With --encoding icc: the pictures' values are in this ICC "
                                     "profile (.icc or .icm, RGB or grey), whatever profile they "
                                     "carry. Default: each picture's own."),
                      QStringLiteral("FILE")});
}

std::variant<LabEncoding, ExitCode> SubcommandParser::encoding() const {
    QString error;
    if (const std::optional<LabEncoding> value =
            parseEncoding(parser.value(QStringLiteral("encoding")), &error))
        return *value;
    return usageError(QStringLiteral("--encoding: ") + error);
}

std::variant<PictureColour, ExitCode> SubcommandParser::pictureColour() const {
    const std::variant<LabEncoding, ExitCode> chosen = encoding();
    if (const ExitCode *usage = std::get_if<ExitCode>(&chosen))
        return *usage;
    PictureColour colour{std::get<LabEncoding>(chosen), nullptr};
    if (!parser.isSet(QStringLiteral("profile")))
        return colour;
    if (colour.encoding != LabEncoding::Icc)
        return usageError(QStringLiteral("--profile needs --encoding icc."));
    const QString path = parser.value(QStringLiteral("profile"));
    QString error;
    colour.assigned = ColourProfile::fromFile(path, &error);
    if (!colour.assigned) {
        printError(QStringLiteral("--profile: ") + error);
        return ExitCode::InputRefused;
    }
    return colour;
}

std::optional<ExitCode> SubcommandParser::parse(const QStringList &arguments) {
    // The parser skips its first argument, the program's name.
    if (!parser.parse(QStringList{QStringLiteral("vexmira-batch")} + arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        return printData(helpText()) ? ExitCode::Done : ExitCode::OutputUnwritable;
    }
    if (parser.isSet(QStringLiteral("version")))
        return printData(batchVersionLine()) ? ExitCode::Done : ExitCode::OutputUnwritable;
    const int given = int(parser.positionalArguments().size());
    if (given != positionalNames.size())
        return usageError(QStringLiteral("%1 expects %2 (%3), got %4.")
                              .arg(name,
                                   countOf(positionalNames.size(), QStringLiteral("argument")),
                                   positionalNames.join(QLatin1Char(' ')))
                              .arg(given));
    return std::nullopt;
}

ExitCode SubcommandParser::usageError(const QString &text) const {
    printError(QStringLiteral("%1: %2 (see vexmira-batch %1 --help)").arg(name, text));
    return ExitCode::Usage;
}

QString SubcommandParser::helpText() const {
    // Qt's first line names the program's path and no subcommand.
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
    const QString usage = QStringLiteral("Usage: vexmira-batch %1 [options] %2")
                              .arg(name, positionalNames.join(QLatin1Char(' ')));
    text.replace(0, firstLineEnd, usage.trimmed());
    return text + QLatin1String(exitCodesHelp);
}
