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
    return {QStringLiteral("--corners"), corners};
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

} // namespace

class BatchCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void warpMatchesViewer_data();
    void warpMatchesViewer();
    void shadeMatchesViewer_data();
    void shadeMatchesViewer();
    void setLabMatchesViewer_data();
    void setLabMatchesViewer();
    void preciseSetLabHoldsOutputToItsValue_data();
    void preciseSetLabHoldsOutputToItsValue();
    void preciseSetLabReachesOverSeveralPatchesOrSaysHowFar();
    void measureMatchesFloatLab_data();
    void measureMatchesFloatLab();
    void measureChartMatchesChartDockExport_data();
    void measureChartMatchesChartDockExport();
    void usageErrorsAndRefusals_data();
    void usageErrorsAndRefusals();
    void helpDocumentsExitCodes();
    void helpStatesEveryDefaultAndRealCommands();
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
    input = path(QStringLiteral("photo.tif"));
    std::string error;
    QVERIFY2(writeDemoPhoto(input.toStdString(), error), error.c_str());
}

void BatchCommandsTest::openInViewer(QCVImage &canvas, const QString &cornersText) {
    QVERIFY(canvas.loadImage(input));
    if (const std::optional<Quad> corners = quadFromArgument(cornersText))
        std::copy(corners->begin(), corners->end(), canvas.cornerPoints(false));
}

void BatchCommandsTest::warpMatchesViewer_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("output");
    QTest::newRow("inner quarter, PNG") << QString() << QStringLiteral("warp.png");
    QTest::newRow("board, PNG") << cornersArgument(demo.board) << QStringLiteral("warp.png");
    QTest::newRow("board, JPEG") << cornersArgument(demo.board) << QStringLiteral("warp.jpg");
}

void BatchCommandsTest::warpMatchesViewer() {
    QFETCH(QString, corners);
    QFETCH(QString, output);
    QCVImage canvas;
    openInViewer(canvas, corners);
    canvas.warpCurrentImage();
    QVERIFY(canvas.saveImage(path(QStringLiteral("viewer-") + output)));

    const BatchRun run =
        runBatch(QStringList{QStringLiteral("warp"), input, path(output)} + cornerOptions(corners));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const QByteArray expected = fileBytes(path(QStringLiteral("viewer-") + output));
    QVERIFY(!expected.isEmpty());
    QVERIFY(fileBytes(path(output)) == expected);
}

void BatchCommandsTest::shadeMatchesViewer_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<int>("cellSize");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("inner quarter, cell 100") << QString() << 100 << QStringLiteral("linear");
    QTest::newRow("board's box, cell 60")
        << cornersArgument(rectangleCorners(demo.board)) << 60 << QStringLiteral("linear");
    QTest::newRow("board's box, cell 60, sRGB")
        << cornersArgument(rectangleCorners(demo.board)) << 60 << QStringLiteral("srgb");
}

void BatchCommandsTest::shadeMatchesViewer() {
    QFETCH(QString, corners);
    QFETCH(int, cellSize);
    QFETCH(QString, encoding);
    QCVImage canvas;
    openInViewer(canvas, corners);
    {
        const EncodingChoice chosen(*labEncodingFromKey(encoding));
        canvas.correctShading(cellSize);
    }
    QVERIFY(canvas.saveImage(path(QStringLiteral("viewer-shade.png"))));

    const BatchRun run =
        runBatch(QStringList{QStringLiteral("shade"), input, path(QStringLiteral("shade.png")),
                             QStringLiteral("--cell"), QString::number(cellSize),
                             QStringLiteral("--encoding"), encoding} +
                 cornerOptions(corners));
    QCOMPARE(run.exitCode, 0);
    const QByteArray expected = fileBytes(path(QStringLiteral("viewer-shade.png")));
    QVERIFY(!expected.isEmpty());
    QVERIFY(fileBytes(path(QStringLiteral("shade.png"))) == expected);
}

void BatchCommandsTest::setLabMatchesViewer_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("lab");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("inner quarter")
        << QString() << QStringLiteral("60,10,-20") << QStringLiteral("linear");
    QTest::newRow("grey card") << cornersArgument(rectangleCorners(demo.greyCard))
                               << QStringLiteral("35,-40,55") << QStringLiteral("linear");
    QTest::newRow("grey card, sRGB") << cornersArgument(rectangleCorners(demo.greyCard))
                                     << QStringLiteral("35,-40,55") << QStringLiteral("srgb");
}

void BatchCommandsTest::setLabMatchesViewer() {
    QFETCH(QString, corners);
    QFETCH(QString, lab);
    QFETCH(QString, encoding);
    QCVImage canvas;
    openInViewer(canvas, corners);
    QColorimeterDlg panel;
    panel.setMessageBoxesShown(false);
    panel.SetCVImage(&canvas);
    const QStringList values = lab.split(QLatin1Char(','));
    panel.setLabValues(values[0].toInt(), values[1].toInt(), values[2].toInt());
    {
        const EncodingChoice chosen(*labEncodingFromKey(encoding));
        QVERIFY(QMetaObject::invokeMethod(&panel, "SetMeanLab", Qt::DirectConnection));
    }
    const cv::Mat adjusted = canvas.image(true, -1, false);
    QVERIFY(writeImageRect(adjusted, cv::Rect(cv::Point(), adjusted.size()),
                           path(QStringLiteral("viewer-setlab.png"))));

    const BatchRun run =
        runBatch(QStringList{QStringLiteral("setlab"), input, path(QStringLiteral("setlab.png")),
                             QStringLiteral("--lab"), lab, QStringLiteral("--encoding"), encoding} +
                 cornerOptions(corners));
    QCOMPARE(run.exitCode, 0);
    const QByteArray expected = fileBytes(path(QStringLiteral("viewer-setlab.png")));
    QVERIFY(!expected.isEmpty());
    QVERIFY(fileBytes(path(QStringLiteral("setlab.png"))) == expected);
}

void BatchCommandsTest::preciseSetLabHoldsOutputToItsValue_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("encoding");
    // The precise series' goals for one file: 0.5 dE76 lossless, 1.0 in JPEG.
    QTest::addColumn<double>("allowed");
    QTest::newRow("PNG, linear") << QStringLiteral("precise.png") << QStringLiteral("linear")
                                 << 0.5;
    QTest::newRow("JPEG, sRGB") << QStringLiteral("precise.jpg") << QStringLiteral("srgb") << 1.0;
}

void BatchCommandsTest::preciseSetLabHoldsOutputToItsValue() {
    QFETCH(QString, output);
    QFETCH(QString, encoding);
    QFETCH(double, allowed);
    const Quad card = rectangleCorners(demo.greyCard);
    const cv::Rect rect = rectFromCorners013(card);
    const cv::Vec3d name(47, 12, -9);
    const QStringList common{QStringLiteral("setlab"),
                             input,
                             QString(),
                             QStringLiteral("--lab"),
                             QStringLiteral("47,12,-9"),
                             QStringLiteral("--encoding"),
                             encoding,
                             QStringLiteral("--corners"),
                             cornersArgument(card)};
    QStringList precise = common;
    precise[2] = path(output);
    const BatchRun run = runBatch(precise + QStringList{QStringLiteral("--precise")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const LabEncoding labEncoding = *labEncodingFromKey(encoding);
    const double preciseError = cv::norm(fileMeanLab(path(output), rect, labEncoding) - name);
    QVERIFY2(preciseError <= allowed, qPrintable(QString::number(preciseError)));

    // The same without --precise truncates L* and is not held to its value.
    QStringList plain = common;
    plain[2] = path(QStringLiteral("plain-") + output);
    QCOMPARE(runBatch(plain).exitCode, 0);
    const double plainError =
        cv::norm(fileMeanLab(path(QStringLiteral("plain-") + output), rect, labEncoding) - name);
    QVERIFY2(preciseError < plainError,
             qPrintable(QStringLiteral("%1 / %2").arg(preciseError).arg(plainError)));
}

void BatchCommandsTest::preciseSetLabReachesOverSeveralPatchesOrSaysHowFar() {
    // Four chart patches and the gaps between them.
    const cv::Point from = demo.patchCentres[0];
    const cv::Point to = demo.patchCentres[chartColumns + 1];
    const Quad corners{from, cv::Point(from.x, to.y), to, cv::Point(to.x, from.y)};
    const cv::Rect rect = rectFromCorners013(corners);
    const struct {
        const char *lab;
        cv::Vec3d name;
        int exitCode;
    } cases[] = {{"60,10,-10", {60, 10, -10}, 0}, {"95,-100,100", {95, -100, 100}, 3}};
    for (const auto &c : cases) {
        const QString output = path(QStringLiteral("patches-%1.png").arg(c.exitCode));
        const BatchRun run = runBatch(
            {QStringLiteral("setlab"), input, output, QStringLiteral("--lab"), QLatin1String(c.lab),
             QStringLiteral("--encoding"), QStringLiteral("srgb"), QStringLiteral("--corners"),
             cornersArgument(corners), QStringLiteral("--precise")});
        QCOMPARE(run.exitCode, c.exitCode);
        const double reached = cv::norm(fileMeanLab(output, rect, LabEncoding::Srgb) - c.name);
        if (c.exitCode == 0) {
            QVERIFY2(reached <= 0.5, qPrintable(QString::number(reached)));
            QVERIFY(run.err.isEmpty());
        } else {
            // The closest file is there, and the message says how close.
            QVERIFY(reached > 0.5);
            QVERIFY2(run.err.contains(QString::number(reached, 'f', 2).toUtf8() + " dE76"),
                     run.err.constData());
        }
    }
}

void BatchCommandsTest::measureMatchesFloatLab_data() {
    QTest::addColumn<QString>("corners");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<int>("conversion");
    QTest::newRow("grey card, linear") << cornersArgument(rectangleCorners(demo.greyCard))
                                       << QStringLiteral("linear") << int(cv::COLOR_LBGR2Lab);
    QTest::newRow("inner quarter, sRGB")
        << QString() << QStringLiteral("srgb") << int(cv::COLOR_BGR2Lab);
}

void BatchCommandsTest::measureMatchesFloatLab() {
    QFETCH(QString, corners);
    QFETCH(QString, encoding);
    QFETCH(int, conversion);
    const BatchRun run = runBatch(
        QStringList{QStringLiteral("measure"), input, QStringLiteral("--encoding"), encoding} +
        cornerOptions(corners));
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
    cv::Mat scaled;
    cv::Mat lab;
    demo.image(rect).convertTo(scaled, CV_32F, 1.0 / 255);
    cv::cvtColor(scaled, lab, conversion);
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(lab, mean, deviation);
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
    QTest::newRow("linear, reference") << QStringLiteral("linear") << true << 25.0;
    QTest::newRow("sRGB, no reference, inset 10") << QStringLiteral("srgb") << false << 10.0;
}

void BatchCommandsTest::measureChartMatchesChartDockExport() {
    QFETCH(QString, encoding);
    QFETCH(bool, withReference);
    QFETCH(double, inset);
    const QString reference = path(QStringLiteral("reference.txt"));
    std::string error;
    QVERIFY2(writeDemoReference(reference.toStdString(), error), error.c_str());

    // The dock's CSV export of the same reading.
    const QString exported = path(QStringLiteral("dock.csv"));
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

    QStringList arguments{
        QStringLiteral("measure"),    input,
        QStringLiteral("--corners"),  cornersArgument(demo.patchGrid),
        QStringLiteral("--encoding"), encoding,
        QStringLiteral("--chart"),    QStringLiteral("%1x%2").arg(chartRows).arg(chartColumns),
        QStringLiteral("--inset"),    QString::number(inset)};
    if (withReference)
        arguments << QStringLiteral("--reference") << reference;
    const BatchRun run = runBatch(arguments);
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    const QByteArray expected = fileBytes(exported);
    QCOMPARE(expected.count('\n'), chartRows * chartColumns + 2);
    QCOMPARE(run.out, expected);

    // A reference of another patch count is refused with the file named, and nothing printed.
    arguments[7] = QStringLiteral("3x5");
    const BatchRun mismatched =
        runBatch(arguments + QStringList{QStringLiteral("--reference"), reference});
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
    const QString photo = QStringLiteral("%IN%");
    const QString out = QStringLiteral("%OUT%");
    QTest::newRow("no subcommand") << QStringList() << 1 << QStringLiteral("no subcommand");
    QTest::newRow("unknown subcommand")
        << QStringList{QStringLiteral("rotate")} << 1 << QStringLiteral("unknown subcommand");
    QTest::newRow("missing OUT") << QStringList{QStringLiteral("warp"), photo} << 1
                                 << QStringLiteral("expects 2 arguments (IN OUT), got 1.");
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("warp"), photo, out, QStringLiteral("--angle=3")} << 1
        << QStringLiteral("Unknown option 'angle'");
    QTest::newRow("seven corner values")
        << QStringList{QStringLiteral("warp"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("1,2,3,4,5,6,7")}
        << 1 << QStringLiteral("has 7 values where 8 are needed");
    QTest::newRow("one corner value")
        << QStringList{QStringLiteral("warp"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("abc")}
        << 1 << QStringLiteral("\"abc\" has 1 value where 8 are needed");
    QTest::newRow("corner not a number")
        << QStringList{QStringLiteral("shade"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("1,2,3,4,5,6,7,x")}
        << 1 << QStringLiteral("\"x\" is not a whole number");
    QTest::newRow("cell of zero") << QStringList{QStringLiteral("shade"), photo, out,
                                                 QStringLiteral("--cell"), QStringLiteral("0")}
                                  << 1 << QStringLiteral("cell size must be a positive");
    QTest::newRow("setlab without --lab") << QStringList{QStringLiteral("setlab"), photo, out} << 1
                                          << QStringLiteral("--lab is required");
    QTest::newRow("L above 100") << QStringList{QStringLiteral("setlab"), photo, out,
                                                QStringLiteral("--lab"), QStringLiteral("101,0,0")}
                                 << 1 << QStringLiteral("L must lie between 0 and 100, not 101");
    QTest::newRow("unknown encoding")
        << QStringList{QStringLiteral("measure"), photo, QStringLiteral("--encoding"),
                       QStringLiteral("adobe")}
        << 1 << QStringLiteral("must be \"linear\", \"srgb\" or \"icc\"");
    QTest::newRow("chart of 31 rows")
        << QStringList{QStringLiteral("measure"), photo, QStringLiteral("--chart"),
                       QStringLiteral("31x6")}
        << 1 << QStringLiteral("--chart: The chart must be ROWSxCOLS, each from 1 to 30");
    QTest::newRow("inset of 50") << QStringList{QStringLiteral("measure"), photo,
                                                QStringLiteral("--chart"), QStringLiteral("4x6"),
                                                QStringLiteral("--inset"), QStringLiteral("50")}
                                 << 1
                                 << QStringLiteral(
                                        "--inset: The inset must be a percentage from 0 to 45");
    QTest::newRow("reference without chart")
        << QStringList{QStringLiteral("measure"), photo, QStringLiteral("--reference"),
                       QStringLiteral("%DIR%/text.png")}
        << 1 << QStringLiteral("--reference needs --chart");
    QTest::newRow("reference not CGATS")
        << QStringList{QStringLiteral("measure"),     photo,
                       QStringLiteral("--chart"),     QStringLiteral("4x6"),
                       QStringLiteral("--reference"), QStringLiteral("%DIR%/text.png")}
        << 2 << QStringLiteral("text.png");
    QTest::newRow("crossed chart corners")
        << QStringList{QStringLiteral("measure"),
                       photo,
                       QStringLiteral("--chart"),
                       QStringLiteral("4x6"),
                       QStringLiteral("--corners"),
                       QStringLiteral("100,100,500,500,100,500,500,100")}
        << 2 << QStringLiteral("photo.tif: ");

    QTest::newRow("missing input")
        << QStringList{QStringLiteral("warp"), QStringLiteral("%DIR%/absent.tif"), out} << 2
        << QStringLiteral("absent.tif: The file does not exist.");
    QTest::newRow("input not an image")
        << QStringList{QStringLiteral("measure"), QStringLiteral("%DIR%/text.png")} << 2
        << QStringLiteral("text.png: The file is not an image");
    QTest::newRow("corner outside the image")
        << QStringList{QStringLiteral("warp"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("0,0,0,1199,1600,1199,1599,0")}
        << 2 << QStringLiteral("photo.tif: Corner 2 (1600, 1199) lies outside the image");
    QTest::newRow("three corners on a line")
        << QStringList{QStringLiteral("warp"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("0,0,0,500,0,1000,800,0")}
        << 2 << QStringLiteral("photo.tif: The corners define no perspective transform");
    QTest::newRow("region holds no cell")
        << QStringList{QStringLiteral("shade"), photo, out, QStringLiteral("--corners"),
                       QStringLiteral("10,10,10,50,50,50,50,10")}
        << 2 << QStringLiteral("holds no whole 100-pixel cell");
    QTest::newRow("crossed corners for setlab")
        << QStringList{QStringLiteral("setlab"),
                       photo,
                       out,
                       QStringLiteral("--lab"),
                       QStringLiteral("50,0,0"),
                       QStringLiteral("--corners"),
                       QStringLiteral("500,500,500,100,100,100,100,500")}
        << 2 << QStringLiteral("The corners do not form a rectangle inside the image");
    for (const QString &precise : {QString(), QStringLiteral("--precise")}) {
        QStringList emptyRectangle{QStringLiteral("setlab"),
                                   photo,
                                   out,
                                   QStringLiteral("--lab"),
                                   QStringLiteral("50,0,0"),
                                   QStringLiteral("--corners"),
                                   QStringLiteral("10,10,10,30,40,30,10,10")};
        if (!precise.isEmpty())
            emptyRectangle << precise;
        QTest::newRow(qPrintable(QStringLiteral("empty setlab rectangle ") + precise))
            << emptyRectangle << 2
            << QStringLiteral("photo.tif: The corners do not form a rectangle");
    }
    // The one file's own failure, not a count of one.
    QTest::newRow("folder of OUT missing")
        << QStringList{QStringLiteral("warp"), photo, QStringLiteral("%DIR%/none/out.png")} << 3
        << QStringLiteral("vexmira-batch: %DIR%/none/out.png: The folder");
    QTest::newRow("OUT without a format")
        << QStringList{QStringLiteral("shade"), photo, QStringLiteral("%DIR%/out.xyz")} << 3
        << QStringLiteral("No image format is written for the extension \"xyz\"");
}

void BatchCommandsTest::usageErrorsAndRefusals() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFile text(path(QStringLiteral("text.png")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();
    const auto expand = [this](QString value) {
        return value.replace(QStringLiteral("%IN%"), input)
            .replace(QStringLiteral("%OUT%"), path(QStringLiteral("refused.png")))
            .replace(QStringLiteral("%DIR%"), folder.path());
    };
    for (QString &argument : arguments)
        argument = expand(argument);
    QFile::remove(path(QStringLiteral("refused.png")));
    const QStringList before = folderEntries();

    const BatchRun run = runBatch(arguments);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith(QStringLiteral("vexmira-batch: ")), qPrintable(err));
    QVERIFY2(err.contains(expand(message)), qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY(run.out.isEmpty());
    // Nothing written, not even under a temporary name.
    QCOMPARE(folderEntries(), before);
}

void BatchCommandsTest::helpDocumentsExitCodes() {
    for (const char *subcommand : {"warp", "shade", "setlab", "measure"}) {
        const BatchRun run = runBatch({QString::fromLatin1(subcommand), QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        const QString help = QString::fromUtf8(run.out);
        QVERIFY(help.startsWith(
            QStringLiteral("Usage: vexmira-batch %1 [options] IN").arg(QLatin1String(subcommand))));
        QVERIFY(help.contains(QStringLiteral("--corners")));
        for (const char *code : {"0  done", "1  usage error", "2  input cannot be read",
                                 "3  some files failed", "4  interrupted"})
            QVERIFY2(help.contains(QLatin1String(code)), code);
    }
}

void BatchCommandsTest::helpStatesEveryDefaultAndRealCommands() {
    for (const char *subcommand : {"warp", "shade", "setlab", "measure", "series", "merge"}) {
        const QString help = QString::fromUtf8(
            runBatch({QString::fromLatin1(subcommand), QStringLiteral("--help")}).out);
        QVERIFY2(help.contains(QStringLiteral("--quiet")), subcommand);
        // The viewer's tool-bar actions are Warp and Shading Correction, not dialogs.
        QVERIFY2(!help.contains(QStringLiteral("...\"")), subcommand);
        // Each option that takes a value says what it is when not given.
        const QString options =
            help.section(QStringLiteral("Options:\n"), 1).section(QStringLiteral("\n\n"), 0, 0);
        const QStringList described =
            options.split(QRegularExpression(QStringLiteral("\n(?=  -)")));
        QVERIFY(described.size() >= 3);
        for (const QString &option : described) {
            if (!option.section(QLatin1Char(' '), 0, 4).contains(QLatin1Char('<')))
                continue;
            const QString text = option.simplified();
            QVERIFY2(text.contains(QStringLiteral("Default: ")) ||
                         text.contains(QStringLiteral("equired")),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(subcommand), text)));
        }
    }
}

void BatchCommandsTest::versionAndQuietForEverySubcommand() {
    const QRegularExpression versionLine(QStringLiteral("^vexmira-batch \\d+\\.\\d+\\.\\d+\n$"));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("--version")},
          QStringList{QStringLiteral("warp"), QStringLiteral("--version")}}) {
        const BatchRun run = runBatch(arguments);
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(versionLine.match(QString::fromUtf8(run.out)).hasMatch(), run.out.constData());
    }

    const QString card = cornersArgument(rectangleCorners(demo.greyCard));
    const QString series = path(QStringLiteral("quiet-series"));
    const QStringList seriesRun{QStringLiteral("series"),
                                QStringLiteral("grid"),
                                input,
                                QStringLiteral("--steps"),
                                QStringLiteral("50,120,120"),
                                QStringLiteral("--corners"),
                                card,
                                QStringLiteral("--out"),
                                series};
    const QList<QStringList> runs{
        {QStringLiteral("warp"), input, path(QStringLiteral("quiet.png"))},
        {QStringLiteral("shade"), input, path(QStringLiteral("quiet.png"))},
        {QStringLiteral("setlab"), input, path(QStringLiteral("quiet.png")),
         QStringLiteral("--lab"), QStringLiteral("50,0,0")},
        {QStringLiteral("measure"), input},
        seriesRun + QStringList{QStringLiteral("--shard"), QStringLiteral("1/2")},
        seriesRun + QStringList{QStringLiteral("--shard"), QStringLiteral("2/2")},
        {QStringLiteral("merge"), series},
    };
    for (const QStringList &arguments : runs) {
        const BatchRun run = runBatch(arguments + QStringList{QStringLiteral("--quiet")});
        QVERIFY2(run.exitCode == 0 && run.err.isEmpty(),
                 qPrintable(arguments.first() + QLatin1Char(' ') + QString::fromUtf8(run.err)));
        // Data asked for still comes.
        QCOMPARE(run.out.isEmpty(), arguments.first() != QLatin1String("measure"));
    }
    QVERIFY(QFile::exists(QDir(series).filePath(QStringLiteral("ref_img_grid_50_120_120.csv"))));
}

void BatchCommandsTest::failedStandardOutputExitsTwo() {
    const QList<QStringList> runs{
        {QStringLiteral("measure"), input},
        {QStringLiteral("measure"), input, QStringLiteral("--corners"),
         cornersArgument(demo.patchGrid), QStringLiteral("--chart"),
         QStringLiteral("%1x%2").arg(chartRows).arg(chartColumns)},
        {QStringLiteral("--help")},
        {QStringLiteral("setlab"), QStringLiteral("--help")},
        {QStringLiteral("--version")},
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
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), named.script, QStringLiteral(VEXMIRA_BATCH)});
        QVERIFY(shell.waitForFinished(60000));
        QCOMPARE(shell.exitCode(), 1);
        QVERIFY2(shell.readAllStandardError().contains(named.shown), qPrintable(named.script));
    }
    // No folder under another name, and the picture left as it was.
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("out*")}, QDir::Dirs), QStringList());
    QCOMPARE(cv::imread(badName.toStdString()).size(), cv::Size(64, 48));
    // Qt could not remove it with the folder either.
    QCOMPARE(::unlink(badName.constData()), 0);
}

void BatchCommandsTest::outputMayBeInput() {
    const QString same = path(QStringLiteral("same.png"));
    QVERIFY(writeImageRect(demo.image, cv::Rect(cv::Point(), demo.image.size()), same));
    QCVImage canvas;
    QVERIFY(canvas.loadImage(same));
    canvas.warpCurrentImage();
    QVERIFY(canvas.saveImage(path(QStringLiteral("viewer-same.png"))));

    const BatchRun run = runBatch({QStringLiteral("warp"), same, same});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(fileBytes(same) == fileBytes(path(QStringLiteral("viewer-same.png"))));
}

void BatchCommandsTest::failedWriteKeepsExistingOutput() {
    const QString output = path(QStringLiteral("kept.png"));
    QFile old(output);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous contents");
    old.close();
    const QStringList before = folderEntries();
    // Files may grow to 4 kB only: the write fails part way through the file.
    const BatchRun run = runBatch({QStringLiteral("setlab"), input, output, QStringLiteral("--lab"),
                                   QStringLiteral("50,0,0")},
                                  QString(), [] {
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
