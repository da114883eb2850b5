// SPDX-License-Identifier: GPL-3.0-or-later
// Each single-image subcommand of vexmira-batch against the viewer's own command on the same
// input, corners and options, byte for byte; then usage errors, refusals and exit codes.
#include "batchprocess.h"
#include "chartcolours.h"
#include "chartpanel.h"
#include "demophoto.h"
#include "demoreference.h"
#include "imagefiles.h"
#include "labencoding.h"
#include "qcolorimeterdlg.h"
#include "qcvimage.h"
#include "quad.h"

#include "../support/referencelab.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <optional>

namespace {

QString cornersArgument(const Quad &quad) {
    QStringList values;
    for (const cv::Point &corner : quad)
        values << QString::number(corner.x) << QString::number(corner.y);
    return values.join(QLatin1Char(','));
}

// Data rows carry corners as their argument text; empty for the inner quarter.
std::optional<Quad> quadFromArgument(const QString &text) {
    if (text.isEmpty())
        return std::nullopt;
    const QStringList v = text.split(QLatin1Char(','));
    Quad quad;
    for (int i = 0; i < 4; ++i)
        quad[i] = cv::Point(v[2 * i].toInt(), v[2 * i + 1].toInt());
    return quad;
}

QStringList cornerOptions(const QString &corners) {
    if (corners.isEmpty())
        return {};
    return {"--corners", corners};
}

// The rectangle spanned by a quadrilateral's corners 0 and 2, as four corners.
Quad rectangleCorners(const Quad &quad) {
    return {quad[0], cv::Point(quad[0].x, quad[2].y), quad[2], cv::Point(quad[2].x, quad[0].y)};
}

// The mean float L*a*b* of `rect` in the file at `path`, computed with OpenCV alone.
cv::Vec3d fileMeanLab(const QString &path, const cv::Rect &rect, LabEncoding encoding) {
    const cv::Mat decoded = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    const cv::Scalar mean = cv::mean(referenceLab(decoded(rect), encoding));
    return {mean[0], mean[1], mean[2]};
}

// "L,a,b" as written after --lab.
cv::Vec3d labArgumentValue(const QString &text) {
    const QStringList v = text.split(QLatin1Char(','));
    return {v[0].toDouble(), v[1].toDouble(), v[2].toDouble()};
}

// The viewer's file is there and the program's holds the same bytes.
bool sameBytes(const QString &viewerFile, const QString &batchFile) {
    const QByteArray expected = fileBytes(viewerFile);
    return !expected.isEmpty() && fileBytes(batchFile) == expected;
}

} // namespace

class BatchCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void singleImageCommandsMatchViewer_data();
    void singleImageCommandsMatchViewer();
    void preciseSetLabReachesItsValueOrSaysHowFar_data();
    void preciseSetLabReachesItsValueOrSaysHowFar();
    void measureMatchesFloatLab_data();
    void measureMatchesFloatLab();
    void measureChartMatchesChartDockExport_data();
    void measureChartMatchesChartDockExport();
    void usageErrorsAndRefusals_data();
    void usageErrorsAndRefusals();
    void helpOfEverySubcommand_data();
    void helpOfEverySubcommand();
    void versionAndQuietForEverySubcommand();
    void failedStandardOutputExitsTwo();
    void namesThatAreNotUtf8AreRefusedNotRenamed();
    void outputMayBeInput();
    void failedWriteKeepsExistingOutput();

private:
    // The viewer's canvas on `input` with these corners (the inner quarter when none).
    void openInViewer(QCVImage &canvas, const QString &corners);
    QString path(const QString &name) const { return folder.filePath(name); }
    QStringList folderEntries() const {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir folder;
    DemoPhoto demo;
    QString input;
};

void BatchCommandsTest::initTestCase() {
    QVERIFY(folder.isValid());
    demo = renderDemoPhoto();
    input = path("photo.tif");
    std::string error;
    QVERIFY2(writeDemoPhoto(input.toStdString(), error), error.c_str());
}

void BatchCommandsTest::openInViewer(QCVImage &canvas, const QString &cornersText) {
    QVERIFY(canvas.loadImage(input));
    if (const std::optional<Quad> corners = quadFromArgument(cornersText))
        std::copy(corners->begin(), corners->end(), canvas.cornerPoints(false));
}

void BatchCommandsTest::singleImageCommandsMatchViewer_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("output");
    // Given to the program and read back for the viewer's own command.
    QTest::addColumn<QStringList>("options");
    const auto row = [](const char *name, const char *command, const QString &corners,
                        const char *output, const QStringList &options) {
        QTest::newRow(name) << QString(command) << corners << QString(output) << options;
    };
    const QString board = cornersArgument(demo.board);
    const QString boardBox = cornersArgument(rectangleCorners(demo.board));
    const QString card = cornersArgument(rectangleCorners(demo.greyCard));
    row("warp, inner quarter, PNG", "warp", QString(), "warp.png", {});
    row("warp, board, PNG", "warp", board, "warp.png", {});
    row("warp, board, JPEG", "warp", board, "warp.jpg", {});
    row("shade, inner quarter, cell 100", "shade", QString(), "shade.png",
        {"--cell", "100", "--encoding", "linear"});
    row("shade, board's box, cell 60", "shade", boardBox, "shade.png",
        {"--cell", "60", "--encoding", "linear"});
    row("shade, board's box, cell 60, sRGB", "shade", boardBox, "shade.png",
        {"--cell", "60", "--encoding", "srgb"});
    row("setlab, inner quarter", "setlab", QString(), "setlab.png",
        {"--lab", "60,10,-20", "--encoding", "linear"});
    row("setlab, grey card", "setlab", card, "setlab.png",
        {"--lab", "35,-40,55", "--encoding", "linear"});
    row("setlab, grey card, sRGB", "setlab", card, "setlab.png",
        {"--lab", "35,-40,55", "--encoding", "srgb"});
}

void BatchCommandsTest::singleImageCommandsMatchViewer() {
    QFETCH(QString, command);
    QFETCH(QString, corners);
    QFETCH(QString, output);
    QFETCH(QStringList, options);
    const auto option = [&options](const char *name) {
        const qsizetype at = options.indexOf(QLatin1String(name));
        return at < 0 ? QString() : options.value(at + 1);
    };
    const QString viewerOutput = path("viewer-" + output);
    QCVImage canvas;
    openInViewer(canvas, corners);
    QColorimeterDlg panel;
    panel.setMessageBoxesShown(false);
    if (command == QLatin1String("setlab")) {
        panel.SetCVImage(&canvas);
        const cv::Vec3d lab = labArgumentValue(option("--lab"));
        panel.setLabValues(int(lab[0]), int(lab[1]), int(lab[2]));
    }
    {
        const QString encoding = option("--encoding");
        const EncodingChoice chosen(encoding.isEmpty() ? LabEncoding::Linear
                                                       : *labEncodingFromKey(encoding));
        if (command == QLatin1String("warp"))
            canvas.warpCurrentImage();
        else if (command == QLatin1String("shade"))
            canvas.correctShading(option("--cell").toInt());
        else
            QVERIFY(QMetaObject::invokeMethod(&panel, "SetMeanLab", Qt::DirectConnection));
    }
    if (command == QLatin1String("setlab")) {
        // setlab writes the whole adjusted image, not Save's rectangle.
        const cv::Mat adjusted = canvas.image(true, -1, false);
        QVERIFY(writeImageRect(adjusted, cv::Rect(cv::Point(), adjusted.size()), viewerOutput));
    } else {
        QVERIFY(canvas.saveImage(viewerOutput));
    }

    const BatchRun run =
        runBatch(QStringList{command, input, path(output)} + options + cornerOptions(corners));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY(sameBytes(viewerOutput, path(output)));
}

void BatchCommandsTest::preciseSetLabReachesItsValueOrSaysHowFar_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("lab");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    const auto row = [](const char *name, const QString &corners, const char *lab,
                        const char *encoding, const char *output, int exitCode) {
        QTest::newRow(name) << corners << QString(lab) << QString(encoding) << QString(output)
                            << exitCode;
    };
    const QString card = cornersArgument(rectangleCorners(demo.greyCard));
    // Four chart patches and the gaps between them.
    const cv::Point from = demo.patchCentres[0];
    const cv::Point to = demo.patchCentres[chartColumns + 1];
    const QString patches =
        cornersArgument({from, cv::Point(from.x, to.y), to, cv::Point(to.x, from.y)});
    row("grey card, PNG, linear", card, "47,12,-9", "linear", "precise.png", 0);
    row("grey card, JPEG, sRGB", card, "47,12,-9", "srgb", "precise.jpg", 0);
    row("four patches", patches, "60,10,-10", "srgb", "patches-0.png", 0);
    row("four patches, out of reach", patches, "95,-100,100", "srgb", "patches-3.png", 3);
}

void BatchCommandsTest::preciseSetLabReachesItsValueOrSaysHowFar() {
    QFETCH(QString, corners);
    QFETCH(QString, lab);
    QFETCH(QString, encoding);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    // The precise series' goals for one file: 0.5 dE76 lossless, 1.0 in JPEG.
    const double allowed = output.endsWith(QLatin1String(".jpg")) ? 1.0 : 0.5;
    const cv::Rect rect = rectFromCorners013(*quadFromArgument(corners));
    const cv::Vec3d name = labArgumentValue(lab);
    const LabEncoding labEncoding = *labEncodingFromKey(encoding);
    const auto arguments = [&](const QString &file) {
        return QStringList{"setlab",     input,    file,        "--lab", lab,
                           "--encoding", encoding, "--corners", corners};
    };
    const BatchRun run = runBatch(arguments(path(output)) << "--precise");
    QCOMPARE(run.exitCode, exitCode);
    const double reached = cv::norm(fileMeanLab(path(output), rect, labEncoding) - name);
    if (exitCode != 0) {
        // The closest file is there, and the message says how close.
        QVERIFY(reached > allowed);
        QVERIFY2(run.err.contains(QString::number(reached, 'f', 2).toUtf8() + " dE76"),
                 run.err.constData());
        return;
    }
    QVERIFY2(reached <= allowed, qPrintable(QString::number(reached)));
    QVERIFY(run.err.isEmpty());

    // The same without --precise truncates L* and is not held to its value.
    QCOMPARE(runBatch(arguments(path("plain-" + output))).exitCode, 0);
    const double plain = cv::norm(fileMeanLab(path("plain-" + output), rect, labEncoding) - name);
    QVERIFY2(reached < plain, qPrintable(QStringLiteral("%1 / %2").arg(reached).arg(plain)));
}

void BatchCommandsTest::measureMatchesFloatLab_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("grey card, linear")
        << cornersArgument(rectangleCorners(demo.greyCard)) << "linear";
    QTest::newRow("inner quarter, sRGB") << QString() << "srgb";
}

void BatchCommandsTest::measureMatchesFloatLab() {
    QFETCH(QString, corners);
    QFETCH(QString, encoding);
    const BatchRun run =
        runBatch(QStringList{"measure", input, "--encoding", encoding} + cornerOptions(corners));
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], encoding == QLatin1String("srgb")
                           ? QStringLiteral("# L*a*b*: OpenCV, D65, sRGB")
                           : QStringLiteral("# L*a*b*: OpenCV, D65, linear light"));
    QCOMPARE(lines[1], QStringLiteral("file,mean_L,mean_a,mean_b,sd_L,sd_a,sd_b,pixels"));
    QVERIFY(lines[3].isEmpty());
    const QStringList fields = lines[2].split(QLatin1Char(','));
    QCOMPARE(fields.size(), 8);
    QCOMPARE(fields[0], input);

    // Independently: the rectangle re-coloured by "Set Mean Lab Value", to float, to Lab.
    const Quad quad =
        corners.isEmpty() ? innerQuarterCorners(demo.image.size()) : *quadFromArgument(corners);
    const cv::Rect rect = rectFromCorners013(quad);
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(referenceLab(demo.image(rect), *labEncodingFromKey(encoding)), mean, deviation);
    for (int channel = 0; channel < 3; ++channel) {
        QVERIFY(qAbs(fields[1 + channel].toDouble() - mean[channel]) < 1e-3);
        QVERIFY(qAbs(fields[4 + channel].toDouble() - deviation[channel]) < 1e-3);
    }
    QCOMPARE(fields[7].toLongLong(), qint64(rect.area()));
}

void BatchCommandsTest::measureChartMatchesChartDockExport_data() {
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("withReference");
    QTest::addColumn<double>("inset");
    QTest::newRow("linear, reference") << "linear" << true << 25.0;
    QTest::newRow("sRGB, no reference, inset 10") << "srgb" << false << 10.0;
}

void BatchCommandsTest::measureChartMatchesChartDockExport() {
    QFETCH(QString, encoding);
    QFETCH(bool, withReference);
    QFETCH(double, inset);
    const QString reference = path("reference.txt");
    std::string error;
    QVERIFY2(writeDemoReference(reference.toStdString(), error), error.c_str());

    // The dock's CSV export of the same reading.
    const QString exported = path("dock.csv");
    {
        const EncodingChoice chosen(*labEncodingFromKey(encoding));
        QCVImage canvas;
        openInViewer(canvas, cornersArgument(demo.patchGrid));
        ChartPanel panel(&canvas);
        panel.setGridLayout({chartRows, chartColumns, inset});
        if (withReference)
            QVERIFY2(panel.loadReference(reference), qPrintable(panel.message()));
        panel.refresh();
        QVERIFY2(panel.exportMeasurement(exported), qPrintable(panel.message()));
    }

    QStringList arguments{"measure",    input,
                          "--corners",  cornersArgument(demo.patchGrid),
                          "--encoding", encoding,
                          "--chart",    QStringLiteral("%1x%2").arg(chartRows).arg(chartColumns),
                          "--inset",    QString::number(inset)};
    if (withReference)
        arguments << "--reference" << reference;
    const BatchRun run = runBatch(arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const QByteArray expected = fileBytes(exported);
    QCOMPARE(expected.count('\n'), chartRows * chartColumns + 2);
    QCOMPARE(run.out, expected);

    // A reference of another patch count is refused with the file named, and nothing printed.
    arguments[7] = "3x5";
    const BatchRun mismatched = runBatch(arguments << "--reference" << reference);
    QCOMPARE(mismatched.exitCode, 2);
    QVERIFY(mismatched.out.isEmpty());
    QVERIFY(QString::fromUtf8(mismatched.err)
                .contains(QStringLiteral("reference.txt holds 24 patches, but the grid has 15")));
}

void BatchCommandsTest::usageErrorsAndRefusals_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    // A piece of the one line on standard error.
    QTest::addColumn<QString>("message");
    const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                        const QString &message) {
        QTest::newRow(name) << arguments << exitCode << message;
    };
    const QString in = input;
    const QString out = path("refused.png");
    const QString text = path("text.png");
    row("no subcommand", {}, 1, "no subcommand");
    row("unknown subcommand", {"rotate"}, 1, "unknown subcommand");
    row("missing OUT", {"warp", in}, 1, "expects 2 arguments (IN OUT), got 1.");
    row("unknown option", {"warp", in, out, "--angle=3"}, 1, "Unknown option 'angle'");
    row("seven corner values", {"warp", in, out, "--corners", "1,2,3,4,5,6,7"}, 1,
        "has 7 values where 8 are needed");
    row("one corner value", {"warp", in, out, "--corners", "abc"}, 1,
        "\"abc\" has 1 value where 8 are needed");
    row("corner not a number", {"shade", in, out, "--corners", "1,2,3,4,5,6,7,x"}, 1,
        "\"x\" is not a whole number");
    row("cell of zero", {"shade", in, out, "--cell", "0"}, 1, "cell size must be a positive");
    row("setlab without --lab", {"setlab", in, out}, 1, "--lab is required");
    row("L above 100", {"setlab", in, out, "--lab", "101,0,0"}, 1,
        "L must lie between 0 and 100, not 101");
    row("unknown encoding", {"measure", in, "--encoding", "adobe"}, 1,
        "must be \"linear\", \"srgb\" or \"icc\"");
    row("chart of 31 rows", {"measure", in, "--chart", "31x6"}, 1,
        "--chart: The chart must be ROWSxCOLS, each from 1 to 30");
    row("inset of 50", {"measure", in, "--chart", "4x6", "--inset", "50"}, 1,
        "--inset: The inset must be a percentage from 0 to 45");
    row("reference without chart", {"measure", in, "--reference", text}, 1,
        "--reference needs --chart");
    row("reference not CGATS", {"measure", in, "--chart", "4x6", "--reference", text}, 2,
        "text.png");
    row("crossed chart corners",
        {"measure", in, "--chart", "4x6", "--corners", "100,100,500,500,100,500,500,100"}, 2,
        "photo.tif: ");

    row("missing input", {"warp", path("absent.tif"), out}, 2,
        "absent.tif: The file does not exist.");
    row("input not an image", {"measure", text}, 2, "text.png: The file is not an image");
    row("corner outside the image", {"warp", in, out, "--corners", "0,0,0,1199,1600,1199,1599,0"},
        2, "photo.tif: Corner 2 (1600, 1199) lies outside the image");
    row("three corners on a line", {"warp", in, out, "--corners", "0,0,0,500,0,1000,800,0"}, 2,
        "photo.tif: The corners define no perspective transform");
    row("region holds no cell", {"shade", in, out, "--corners", "10,10,10,50,50,50,50,10"}, 2,
        "holds no whole 100-pixel cell");
    row("crossed corners for setlab",
        {"setlab", in, out, "--lab", "50,0,0", "--corners", "500,500,500,100,100,100,100,500"}, 2,
        "The corners do not form a rectangle inside the image");
    const QStringList emptyRectangle{
        "setlab", in, out, "--lab", "50,0,0", "--corners", "10,10,10,30,40,30,10,10"};
    row("empty setlab rectangle ", emptyRectangle, 2,
        "photo.tif: The corners do not form a rectangle");
    row("empty setlab rectangle --precise", emptyRectangle + QStringList{"--precise"}, 2,
        "photo.tif: The corners do not form a rectangle");
    // The one file's own failure, not a count of one.
    row("folder of OUT missing", {"warp", in, path("none/out.png")}, 3,
        "vexmira-batch: " + path("none/out.png") + ": The folder");
    row("OUT without a format", {"shade", in, path("out.xyz")}, 3,
        "No image format is written for the extension \"xyz\"");
}

void BatchCommandsTest::usageErrorsAndRefusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFile text(path("text.png"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();
    QFile::remove(path("refused.png"));
    const QStringList before = folderEntries();

    const BatchRun run = runBatch(arguments);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith("vexmira-batch: "), qPrintable(err));
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY(run.out.isEmpty());
    // Nothing written, not even under a temporary name.
    QCOMPARE(folderEntries(), before);
}

void BatchCommandsTest::helpOfEverySubcommand_data() {
    QTest::addColumn<QString>("subcommand");
    // What the usage line asks for after the options.
    QTest::addColumn<QString>("operands");
    for (const char *singleImage : {"warp", "shade", "setlab", "measure"})
        QTest::newRow(singleImage) << QString(singleImage) << "IN";
    QTest::newRow("series") << "series"
                            << "grid|delta IN";
    QTest::newRow("merge") << "merge"
                           << "DIR";
}

void BatchCommandsTest::helpOfEverySubcommand() {
    QFETCH(QString, subcommand);
    QFETCH(QString, operands);
    const BatchRun run = runBatch({subcommand, "--help"});
    QCOMPARE(run.exitCode, 0);
    const QString help = QString::fromUtf8(run.out);
    QVERIFY2(help.startsWith("Usage: vexmira-batch " + subcommand + " [options] " + operands),
             qPrintable(help.section(QLatin1Char('\n'), 0, 0)));
    // Whatever reads an image reads it within corners.
    QVERIFY(!operands.endsWith("IN") || help.contains("--corners"));
    QVERIFY(help.contains("--quiet"));
    for (const char *code : {"0  done", "1  usage error", "2  input cannot be read",
                             "3  some files failed", "4  interrupted"})
        QVERIFY2(help.contains(QLatin1String(code)), code);
    // The viewer's tool-bar actions are Warp and Shading Correction, not dialogs.
    QVERIFY(!help.contains("...\""));
    // Each option that takes a value says what it is when not given.
    const QString options = help.section("Options:\n", 1).section("\n\n", 0, 0);
    const QStringList described = options.split(QRegularExpression("\n(?=  -)"));
    QVERIFY(described.size() >= 3);
    for (const QString &option : described) {
        if (!option.section(QLatin1Char(' '), 0, 4).contains(QLatin1Char('<')))
            continue;
        const QString text = option.simplified();
        QVERIFY2(text.contains("Default: ") || text.contains("equired"), qPrintable(text));
    }
}

void BatchCommandsTest::versionAndQuietForEverySubcommand() {
    const QRegularExpression versionLine("^vexmira-batch \\d+\\.\\d+\\.\\d+\n$");
    for (const QStringList &arguments : {QStringList{"--version"}, {"warp", "--version"}}) {
        const BatchRun run = runBatch(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(versionLine.match(QString::fromUtf8(run.out)).hasMatch(), run.out.constData());
    }

    const QString card = cornersArgument(rectangleCorners(demo.greyCard));
    const QString series = path("quiet-series");
    const QStringList seriesRun{"series",    "grid", input,   "--steps", "50,120,120",
                                "--corners", card,   "--out", series};
    const QList<QStringList> runs{
        {"warp", input, path("quiet.png")},
        {"shade", input, path("quiet.png")},
        {"setlab", input, path("quiet.png"), "--lab", "50,0,0"},
        {"measure", input},
        seriesRun + QStringList{"--shard", "1/2"},
        seriesRun + QStringList{"--shard", "2/2"},
        {"merge", series},
    };
    for (const QStringList &arguments : runs) {
        const BatchRun run = runBatch(arguments + QStringList{"--quiet"});
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(),
                 qPrintable(arguments.first() + QLatin1Char(' ') + QString::fromUtf8(run.err)));
        // Data asked for still comes.
        QCOMPARE(run.out.isEmpty(), arguments.first() != QLatin1String("measure"));
    }
    QVERIFY(QFile::exists(QDir(series).filePath("ref_img_grid_50_120_120.csv")));
}

void BatchCommandsTest::failedStandardOutputExitsTwo() {
    const QList<QStringList> runs{
        {"measure", input},
        {"measure", input, "--corners", cornersArgument(demo.patchGrid), "--chart",
         QStringLiteral("%1x%2").arg(chartRows).arg(chartColumns)},
        {"--help"},
        {"setlab", "--help"},
        {"--version"},
    };
    for (const QStringList &arguments : runs) {
        const BatchRun run = runBatch(arguments, QString(), [] {
            const int full = ::open("/dev/full", O_WRONLY);
            ::dup2(full, STDOUT_FILENO);
        });
        QVERIFY2(run.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' '))));
        QVERIFY2(run.err.contains("standard output cannot be written: No space left on device"),
                 run.err.constData());
    }
}

void BatchCommandsTest::namesThatAreNotUtf8AreRefusedNotRenamed() {
    // The shell hands the program the raw bytes, as a user's shell would.
    const QByteArray badName = QFile::encodeName(folder.path()) + "/bad\xff.png";
    QVERIFY(cv::imwrite(badName.toStdString(), demo.image(cv::Rect(0, 0, 64, 48))));
    const QString card = cornersArgument(rectangleCorners(demo.greyCard));
    const struct {
        QString script;
        QByteArray shown;
    } cases[] = {
        {QStringLiteral("exec \"$0\" measure \"$(printf '%1/bad\\377.png')\"").arg(folder.path()),
         "bad\\xff.png\" is not valid UTF-8"},
        {QStringLiteral("exec \"$0\" series delta %1 --centre 50,0,0 --corners %2 --out "
                        "\"$(printf '%3/out\\377')\"")
             .arg(input, card, folder.path()),
         "out\\xff\" is not valid UTF-8"},
    };
    for (const auto &named : cases) {
        QProcess shell;
        shell.setProcessEnvironment(displaylessEnvironment());
        shell.start("/bin/sh", {"-c", named.script, QStringLiteral(VEXMIRA_BATCH)});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.exitCode(), 1);
        QVERIFY2(shell.readAllStandardError().contains(named.shown), qPrintable(named.script));
    }
    // No folder under another name, and the picture left as it was.
    QCOMPARE(QDir(folder.path()).entryList({"out*"}, QDir::Dirs), QStringList());
    QCOMPARE(cv::imread(badName.toStdString()).size(), cv::Size(64, 48));
    // Qt could not remove it with the folder either.
    QCOMPARE(::unlink(badName.constData()), 0);
}

void BatchCommandsTest::outputMayBeInput() {
    const QString same = path("same.png");
    QVERIFY(writeImageRect(demo.image, cv::Rect(cv::Point(), demo.image.size()), same));
    QCVImage canvas;
    QVERIFY(canvas.loadImage(same));
    canvas.warpCurrentImage();
    QVERIFY(canvas.saveImage(path("viewer-same.png")));

    QCOMPARE(runBatch({"warp", same, same}).exitCode, 0);
    QVERIFY(sameBytes(path("viewer-same.png"), same));
}

void BatchCommandsTest::failedWriteKeepsExistingOutput() {
    const QString output = path("kept.png");
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous contents");
    old.close();
    const QStringList before = folderEntries();
    // Files may grow to 4 kB only: the write fails part way through the file.
    const BatchRun run = runBatch({"setlab", input, output, "--lab", "50,0,0"}, QString(), [] {
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(run.exitCode, 3);
    QVERIFY(QString::fromUtf8(run.err).contains(output));
    QCOMPARE(fileBytes(output), QByteArray("the previous contents"));
    QCOMPARE(folderEntries(), before);
}

QTEST_MAIN(BatchCommandsTest)
#include "test_batchcommands.moc"
