// SPDX-License-Identifier: GPL-3.0-or-later
// vexmira-batch series and merge: the same files as the viewer's panel and the series core,
// shards run with GNU parallel and merged equal one run, merge refusals, and SIGINT.
#include "batchprocess.h"
#include "demophoto.h"
#include "qcolorimeterdlg.h"
#include "qcvimage.h"
#include "seriesrun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <atomic>
#include <map>

namespace {

// A 100 x 100 rectangle on the demo photograph's grey card, as corners and their argument.
const Quad cardCorners{cv::Point(700, 860), cv::Point(700, 960), cv::Point(800, 960),
                       cv::Point(800, 860)};
const QString cardArgument = QStringLiteral("700,860,700,960,800,960,800,860");

// Every file of a folder with its bytes.
std::map<QString, QByteArray> folderFiles(const QString &path) {
    std::map<QString, QByteArray> files;
    for (const QString &name : QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        files[name] = fileBytes(QDir(path).filePath(name));
    return files;
}

QStringList gridArguments(const QString &input, const QString &out) {
    return {QStringLiteral("series"),
            QStringLiteral("grid"),
            input,
            QStringLiteral("--steps"),
            QStringLiteral("50,60,60"),
            QStringLiteral("--corners"),
            cardArgument,
            QStringLiteral("--out"),
            out,
            QStringLiteral("--quiet")};
}

} // namespace

class BatchSeriesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultSeriesMatchesPanel();
    void optionsReachTheSeriesCore();
    void shardsRunInParallelAndMergedEqualOneRun();
    void mergeRefusesMissingAndDuplicatedShards();
    void mergeRefusesOtherRunsAndReportsFailedRows();
    void interruptLeavesValidManifest();
    void usageErrors();

private:
    QString path(const QString &name) const { return folder.filePath(name); }

    QTemporaryDir folder;
    QString input;
};

void BatchSeriesTest::initTestCase() {
    // The panel's series options at their defaults: JPEG into the drive root.
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
    QVERIFY(folder.isValid());
    input = path(QStringLiteral("photo.tif"));
    std::string error;
    QVERIFY2(writeDemoPhoto(input.toStdString(), error), error.c_str());
}

void BatchSeriesTest::defaultSeriesMatchesPanel() {
    // The panel writes into the drive root, the working directory.
    const QString root = path(QStringLiteral("panel"));
    QVERIFY(QDir().mkpath(root));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root);
    {
        QCVImage canvas;
        QVERIFY(canvas.loadImage(input));
        std::copy(cardCorners.begin(), cardCorners.end(), canvas.cornerPoints(false));
        QColorimeterDlg panel;
        panel.setMessageBoxesShown(false);
        panel.SetCVImage(&canvas);
        panel.setLabValues(50, 60, 60);
        QVERIFY(QMetaObject::invokeMethod(&panel, "CreateLabImgs", Qt::DirectConnection));
        QCOMPARE(panel.lastSeriesReport().written, 32);
    }
    QDir::setCurrent(previous);

    const QString out = path(QStringLiteral("batch-default"));
    const BatchRun run = runBatch(gridArguments(input, out));
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    // The images and the manifest.
    const std::map<QString, QByteArray> panelFiles = folderFiles(root);
    QCOMPARE(panelFiles.size(), std::size_t(33));
    QVERIFY(panelFiles.count(QStringLiteral("ref_img_grid_50_60_60.csv")) == 1);
    QVERIFY(folderFiles(out) == panelFiles);
}

void BatchSeriesTest::optionsReachTheSeriesCore() {
    const QString out = path(QStringLiteral("batch-options"));
    const BatchRun run = runBatch(gridArguments(input, out) +
                                  QStringList{QStringLiteral("--format"), QStringLiteral("png"),
                                              QStringLiteral("--precise"),
                                              QStringLiteral("--encoding"), QStringLiteral("srgb"),
                                              QStringLiteral("--shard"), QStringLiteral("2/3")});
    QCOMPARE(run.exitCode, 0);

    SeriesRequest request;
    request.image = renderDemoPhoto().image;
    request.corners = cardCorners;
    request.plan = {SeriesPlan::Kind::Grid, LabValue{50, 60, 60}};
    request.options.folder = path(QStringLiteral("core-options"));
    request.options.format = SeriesFormat::Png;
    request.options.precise = true;
    request.options.encoding = LabEncoding::Srgb;
    request.shard = {2, 3};
    const std::atomic<bool> stop{false};
    const SeriesResult result = runReferenceSeries(request, stop, {});
    QCOMPARE(result.written, 11);
    const std::map<QString, QByteArray> written = folderFiles(out);
    QVERIFY(written.count(QStringLiteral("ref_img_grid_50_60_60.shard-2-of-3.csv")) == 1);
    QVERIFY(written == folderFiles(request.options.folder));
}

void BatchSeriesTest::shardsRunInParallelAndMergedEqualOneRun() {
    const QString whole = path(QStringLiteral("whole"));
    QCOMPARE(runBatch(gridArguments(input, whole)).exitCode, 0);

    const QString sharded = path(QStringLiteral("sharded"));
    QProcess parallel;
    parallel.setProcessEnvironment(displaylessEnvironment());
    parallel.start(QStringLiteral(GNU_PARALLEL),
                   QStringList{QStringLiteral("--will-cite"), QStringLiteral("--halt"),
                               QStringLiteral("now,fail=1"), QStringLiteral(VEXMIRA_BATCH)} +
                       gridArguments(input, sharded) +
                       QStringList{QStringLiteral("--shard"), QStringLiteral("{}/3"),
                                   QStringLiteral(":::"), QStringLiteral("1"), QStringLiteral("2"),
                                   QStringLiteral("3")});
    QVERIFY(parallel.waitForFinished(120000));
    QCOMPARE(parallel.exitCode(), 0);
    const BatchRun merge = runBatch({QStringLiteral("merge"), sharded});
    QCOMPARE(merge.exitCode, 0);

    std::map<QString, QByteArray> merged = folderFiles(sharded);
    for (int k = 1; k <= 3; ++k)
        QVERIFY(merged.erase(QStringLiteral("ref_img_grid_50_60_60.shard-%1-of-3.csv").arg(k)) ==
                1);
    const std::map<QString, QByteArray> one = folderFiles(whole);
    QCOMPARE(one.size(), std::size_t(33));
    QVERIFY(merged == one);
}

void BatchSeriesTest::mergeRefusesMissingAndDuplicatedShards() {
    const QString out = path(QStringLiteral("refused-merge"));
    for (const char *shard : {"1/3", "3/3"})
        QCOMPARE(runBatch(gridArguments(input, out) +
                          QStringList{QStringLiteral("--shard"), QString::fromLatin1(shard)})
                     .exitCode,
                 0);
    BatchRun merge = runBatch({QStringLiteral("merge"), out});
    QCOMPARE(merge.exitCode, 2);
    QVERIFY2(merge.err.contains("ref_img_grid_50_60_60: not merged: 11 images missing, the "
                                "first ref_img_0_-120_-60."),
             merge.err.constData());

    for (const char *shard : {"2/3", "2/2"})
        QCOMPARE(runBatch(gridArguments(input, out) +
                          QStringList{QStringLiteral("--shard"), QString::fromLatin1(shard)})
                     .exitCode,
                 0);
    merge = runBatch({QStringLiteral("merge"), out});
    QCOMPARE(merge.exitCode, 2);
    QVERIFY2(merge.err.contains("16 images duplicated, the first ref_img_0_-120_-60."),
             merge.err.constData());
    QVERIFY(!QFile::exists(QDir(out).filePath(QStringLiteral("ref_img_grid_50_60_60.csv"))));
}

void BatchSeriesTest::mergeRefusesOtherRunsAndReportsFailedRows() {
    // Two shards of the grid with steps 50, 120, 120 (eight images), written by hand.
    const QByteArray header = "file,target_L,target_a,target_b,measured_L,measured_a,"
                              "measured_b,dE76,dE2000,clipped_percent,status\n";
    const auto shard = [&](const QString &out, int k, const QByteArray &format,
                           const QByteArray &lastStatus) {
        QDir().mkpath(out);
        QFile file(
            QDir(out).filePath(QStringLiteral("ref_img_grid_50_120_120.shard-%1-of-2.csv").arg(k)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(header + "# series kind: grid\n# series format: " + format + "\n");
        const char *names[2][4] = {
            {"ref_img_0_-120_-120", "ref_img_0_0_-120", "ref_img_50_-120_-120",
             "ref_img_50_0_-120"},
            {"ref_img_0_-120_0", "ref_img_0_0_0", "ref_img_50_-120_0", "ref_img_50_0_0"}};
        for (int row = 0; row < 4; ++row)
            file.write(QByteArray(names[k - 1][row]) + "." + format + ",1,2,3,,,,,,," +
                       (row == 3 ? lastStatus : QByteArray("ok")) + "\n");
    };
    const QString mixed = path(QStringLiteral("mixed-runs"));
    shard(mixed, 1, "png", "ok");
    shard(mixed, 2, "jpg", "ok");
    BatchRun merge = runBatch({QStringLiteral("merge"), mixed});
    QCOMPARE(merge.exitCode, 2);
    QVERIFY2(merge.err.contains("differ in the series format: \"png\" and \"jpg\""),
             merge.err.constData());

    const QString failed = path(QStringLiteral("failed-rows"));
    shard(failed, 1, "png", "\"failed: The disk is full.\"");
    shard(failed, 2, "png", "failed: No space");
    merge = runBatch({QStringLiteral("merge"), failed, QStringLiteral("--quiet")});
    QCOMPARE(merge.exitCode, 3);
    QVERIFY2(merge.err.contains("2 files failed; the first: ref_img_50_0_-120.png: The disk is "
                                "full."),
             merge.err.constData());
    QVERIFY(QFile::exists(QDir(failed).filePath(QStringLiteral("ref_img_grid_50_120_120.csv"))));
}

void BatchSeriesTest::interruptLeavesValidManifest() {
    // 46,080 images: far more than are written before the signal arrives.
    const QString out = path(QStringLiteral("interrupted"));
    QProcess batch;
    batch.setProcessEnvironment(displaylessEnvironment());
    batch.start(QStringLiteral(VEXMIRA_BATCH),
                {QStringLiteral("series"), QStringLiteral("grid"), input, QStringLiteral("--steps"),
                 QStringLiteral("5,5,5"), QStringLiteral("--corners"), cardArgument,
                 QStringLiteral("--out"), out});
    QVERIFY(batch.waitForStarted());
    const QString manifest = QDir(out).filePath(QStringLiteral("ref_img_grid_5_5_5.csv"));
    QVERIFY(QTest::qWaitFor([&] { return fileBytes(manifest).count('\n') > 10; }, 60000));
    QCOMPARE(::kill(pid_t(batch.processId()), SIGINT), 0);
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(batch.exitCode(), 4);
    QVERIFY(batch.readAllStandardError().contains("interrupted after"));

    // Every row is whole and names a file that is there; every file has its row.
    const QByteArray text = fileBytes(manifest);
    QVERIFY(text.endsWith('\n'));
    QStringList rows = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.takeFirst().left(5), QStringLiteral("file,"));
    QVERIFY(rows.size() < 46080);
    QStringList named;
    for (const QString &row : std::as_const(rows)) {
        if (row.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = row.split(QLatin1Char(','));
        QCOMPARE(fields.size(), 11);
        QVERIFY2(!fields[10].startsWith(QLatin1String("failed")), qPrintable(row));
        named << fields[0];
    }
    named.sort();
    QStringList files = QDir(out).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    QCOMPARE(files, named);
    QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), files.size() + 1);
}

void BatchSeriesTest::usageErrors() {
    const QString out = path(QStringLiteral("usage"));
    const struct {
        QStringList arguments;
        const char *message;
    } cases[] = {
        {{QStringLiteral("series"), QStringLiteral("grid"), input, QStringLiteral("--out"), out},
         "the grid series needs --steps"},
        {{QStringLiteral("series"), QStringLiteral("delta"), input, QStringLiteral("--steps"),
          QStringLiteral("1,1,1"), QStringLiteral("--out"), out},
         "--steps is for the grid series"},
        {{QStringLiteral("series"), QStringLiteral("cube"), input, QStringLiteral("--out"), out},
         "the series is \"grid\" or \"delta\""},
        {gridArguments(input, out) << QStringLiteral("--format") << QStringLiteral("gif"),
         "--format: \"gif\" is not jpeg, png, tiff, png16 or tiff16"},
        {gridArguments(input, out) << QStringLiteral("--shard") << QStringLiteral("0/3"),
         "--shard: The shard must be K/N with 1 <= K <= N"},
        {{QStringLiteral("series"), QStringLiteral("grid"), input, QStringLiteral("--steps"),
          QStringLiteral("5,5,5")},
         "--out is required"},
        {{QStringLiteral("merge")}, "merge expects 1 argument (DIR), got 0."},
        // An unset shell variable.
        {gridArguments(input, QString()), "--out is empty"},
    };
    for (const auto &usage : cases) {
        const BatchRun run = runBatch(usage.arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(usage.message), run.err.constData());
    }
    QVERIFY(!QFileInfo::exists(out));
    const BatchRun noShards = runBatch({QStringLiteral("merge"), folder.path()});
    QCOMPARE(noShards.exitCode, 2);
    QVERIFY(noShards.err.contains("holds no shard manifest"));
}

QTEST_MAIN(BatchSeriesTest)
#include "test_batchseries.moc"
