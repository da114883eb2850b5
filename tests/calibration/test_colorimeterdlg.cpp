// SPDX-License-Identifier: GPL-3.0-or-later
#include "demophoto.h"
#include "labencoding.h"
#include "labmeasurement.h"
#include "labtestsupport.h"
#include "matconversion.h"
#include "qcolorimeterdlg.h"
#include "qcvimage.h"
#include "quad.h"
#include "shadingcorrection.h"

#include "../support/referencelab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <csignal>
#include <functional>
#include <limits>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

const QString setText = QStringLiteral("Set Mean Lab Value");
const QString deltaText = QStringLiteral("Create dE of 2 around this Value");
const QString gridText = QStringLiteral("Create Lab images with dE set");
const QString stopText = QStringLiteral("Stop");

QPushButton *button(QColorimeterDlg &panel, const QString &text) {
    for (QPushButton *candidate : panel.findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

// Enters the value and pushes the button, as the user would.
void press(QColorimeterDlg &panel, const QString &text, const LabValue &value) {
    panel.setLabValues(value.l, value.a, value.b);
    button(panel, text)->click();
}

// The working directory, where "C:/" leads, is a fresh folder while this lives.
class DriveRoot {
public:
    DriveRoot() : previous(QDir::currentPath()) { QDir::setCurrent(folder.path()); }
    ~DriveRoot() { QDir::setCurrent(previous); }
    QString path(const QString &name) const { return folder.filePath(name); }
    // The images, without the series' manifests.
    QStringList files() const {
        return QDir(folder.path()).entryList({"*.jpg", "*.png", "*.tif"}, QDir::Files, QDir::Name);
    }
    QStringList manifests() const {
        return QDir(folder.path()).entryList({"*.csv"}, QDir::Files, QDir::Name);
    }

private:
    QTemporaryDir folder;
    QString previous;
};

cv::Mat current(QCVImage &canvas) {
    return canvas.image(true, -1, false);
}

cv::Rect adjustedRect(QCVImage &canvas) {
    return rectFromCorners013(quadFromPoints(canvas.cornerPoints(false)));
}

void setCorners(QCVImage &canvas, const cv::Rect &rect) {
    cv::Point *corners = canvas.cornerPoints(false);
    corners[0] = rect.tl();
    corners[1] = {rect.x, rect.br().y};
    corners[2] = rect.br();
    corners[3] = {rect.br().x, rect.y};
}

// The canvas's picture is its current image.
bool showsCurrentImage(QCVImage &canvas) {
    const QImage expected = qImageFromBgr8(current(canvas)).convertToFormat(QImage::Format_RGB32);
    return canvas.shownPixmap.toImage().convertToFormat(QImage::Format_RGB32) == expected;
}

// The canvas's current image is `source` adjusted the plain way over `rect`.
bool showsAdjusted(QCVImage &canvas, const cv::Mat &source, const cv::Rect &rect,
                   const LabCodes &target, LabEncoding encoding = LabEncoding::Linear) {
    return identical(current(canvas), straightforwardAdjust(source, rect, target, encoding));
}

// The same over the rectangle the corners give now.
bool showsAdjusted(QCVImage &canvas, const cv::Mat &source, const LabCodes &target,
                   LabEncoding encoding = LabEncoding::Linear) {
    return showsAdjusted(canvas, source, adjustedRect(canvas), target, encoding);
}

// The canvas's images, and the panel's sources and results.
std::tuple<int, int, int> imageCounts(const QCVImage &canvas, const QColorimeterDlg &panel) {
    return {canvas.sourceCount, panel.sourceCount, panel.resultCount};
}

std::tuple<int, int, int> processedWrittenFailed(const QColorimeterDlg::SeriesReport &report) {
    return {report.processed, report.written, report.failed};
}

// While a series runs only Stop and the progress bar are live; once it ends, the reverse (Stop
// aside).
bool showsSeriesRunning(QColorimeterDlg &panel, bool running) {
    bool shows = panel.findChild<QProgressBar *>()->isVisibleTo(&panel) == running &&
                 (!running || button(panel, stopText)->isEnabled());
    for (QSpinBox *spin : panel.findChildren<QSpinBox *>())
        shows = shows && spin->isEnabled() != running;
    for (const QString &text : {setText, deltaText, gridText})
        shows = shows && button(panel, text)->isEnabled() != running;
    return shows;
}

QByteArray jpegOf(const cv::Mat &image) {
    std::vector<uchar> bytes;
    cv::imencode(".jpg", image, bytes);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

QByteArray contents(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `during` once, as soon as the next series has started.
void whenSeriesRuns(QColorimeterDlg &panel, std::function<void()> during) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(&panel, &QColorimeterDlg::seriesRunningChanged, &panel,
                                   [connection, during](bool running) {
                                       if (!running)
                                           return;
                                       QObject::disconnect(*connection);
                                       QTimer::singleShot(0, during);
                                   });
}

// Closes the next message box once it is up and hands back its text.
void readNextMessageBox(QString *text) {
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

// A canvas showing an image and a panel attached to it; message boxes only when not quiet.
struct Workbench {
    Workbench(const cv::Mat &image, bool quiet) {
        canvas.showNewImage(image);
        panel.SetCVImage(&canvas);
        panel.setMessageBoxesShown(!quiet);
    }
    QCVImage canvas;
    QColorimeterDlg panel;
};

// An 80 x 40 rectangle in the middle of the demo photograph's grey card.
cv::Rect greyCardPatch(const DemoPhoto &photo) {
    const cv::Rect bounds =
        cv::boundingRect(std::vector<cv::Point>(photo.greyCard.begin(), photo.greyCard.end()));
    const cv::Point centre = (bounds.tl() + bounds.br()) / 2;
    return {centre.x - 40, centre.y - 20, 80, 40};
}

double deltaE76(const cv::Vec3d &measured, const LabValue &value) {
    return cv::norm(measured - cv::Vec3d(value.l, value.a, value.b));
}

const std::vector<std::pair<QString, LabValue>> gridOfEight = {
    {"ref_img_0_-120_-120.jpg", {0, -120, -120}},   {"ref_img_0_-120_0.jpg", {0, -120, 0}},
    {"ref_img_0_0_-120.jpg", {0, 0, -120}},         {"ref_img_0_0_0.jpg", {0, 0, 0}},
    {"ref_img_50_-120_-120.jpg", {50, -120, -120}}, {"ref_img_50_-120_0.jpg", {50, -120, 0}},
    {"ref_img_50_0_-120.jpg", {50, 0, -120}},       {"ref_img_50_0_0.jpg", {50, 0, 0}}};

// The grid's file names as the folder lists them; only those of this L* when given.
QStringList gridNames(std::optional<int> l = std::nullopt) {
    QStringList names;
    for (const auto &[name, value] : gridOfEight) {
        if (!l || value.l == *l)
            names << name;
    }
    names.sort();
    return names;
}

} // namespace

class TestColorimeterDlg : public QObject {
    Q_OBJECT

private slots:
    void panelLayoutRangesAndSlots();
    void setMeanLabRecoloursInPlaceAfterOnePush();
    void refusedAdjustmentsChangeNothing();
    void otherImageTypesAreBroughtToBgr();
    void rebindsAfterLoadWarpAndShading();
    void gridSeriesWritesTheRecolouredRectangle();
    void stopEndsTheSeriesAndStaleRequestsAreDropped();
    void seriesLocksThePanelAndRefusesReentry();
    void unwritableFilesAreCountedAndTheFirstNamed();
    void stepsThatAreNotPositiveStartNothing();
    void seriesRefusedOnAnEmptyRecolouredRectangle();
    void stopEndsASeriesWhoseWriteHangs();
    void aFullDiskStopsTheSeriesAndSaysWhatWasWritten();
    void escapeKeepsTheDockedPanel();
    void referenceImagesMeasureTheirNamedValue();
    void encodingChangeRebindsTheSourceAtTheNextAdjustment();
    void srgbSetMeanLabOnTheGreyCardMeasuresTheTarget();
};

void TestColorimeterDlg::panelLayoutRangesAndSlots() {
    QColorimeterDlg panel;
    QCOMPARE(panel.parent(), nullptr);
    QCOMPARE(panel.sourceCount, 0);
    QCOMPARE(panel.resultCount, 0);
    QCOMPARE(panel.qt_metacast("CVProcessing"),
             static_cast<void *>(static_cast<CVProcessing *>(&panel)));

    // The groups scroll inside the panel, which stays the dock's widget.
    auto *top = qobject_cast<QVBoxLayout *>(panel.layout());
    QVERIFY(top);
    auto *scroll = qobject_cast<QScrollArea *>(top->itemAt(0)->widget());
    QVERIFY(scroll && scroll->widget());
    auto *groups = qobject_cast<QVBoxLayout *>(scroll->widget()->layout());
    QVERIFY(groups);
    auto *group = qobject_cast<QGroupBox *>(groups->itemAt(0)->widget());
    QVERIFY(group);
    QCOMPARE(group->title(), QString("Mean Lab"));
    auto *form = qobject_cast<QFormLayout *>(group->layout());
    QVERIFY(form);
    QCOMPARE(form->rowCount(), 7);

    const QString labels[] = {"L:", "a:", "b:"};
    const int minima[] = {0, -127, -127};
    const int maxima[] = {100, 127, 127};
    for (int row = 0; row < 3; ++row) {
        auto *label = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        auto *spin = qobject_cast<QSpinBox *>(form->itemAt(row, QFormLayout::FieldRole)->widget());
        QVERIFY(label && spin);
        QCOMPARE(label->text(), labels[row]);
        QCOMPARE(spin->minimum(), minima[row]);
        QCOMPARE(spin->maximum(), maxima[row]);
        QCOMPARE(spin->value(), 0);
    }
    const QString buttons[] = {setText, deltaText, gridText, stopText};
    for (int row = 3; row < 7; ++row) {
        auto *push =
            qobject_cast<QPushButton *>(form->itemAt(row, QFormLayout::SpanningRole)->widget());
        QVERIFY(push);
        QCOMPARE(push->text(), buttons[row - 3]);
    }

    const QMetaObject *meta = panel.metaObject();
    QCOMPARE(meta->className(), "QColorimeterDlg");
    int previous = meta->methodOffset() - 1;
    for (const char *slot : {"SetMeanLab()", "SetLab(int,int,int)", "CreateLabImgs()",
                             "CreateDeltaImgs()", "Stop()"}) {
        const int index = meta->indexOfSlot(slot);
        QVERIFY2(index > previous, slot);
        QCOMPARE(meta->method(index).access(), QMetaMethod::Private);
        previous = index;
    }
    QCOMPARE(meta->method(meta->indexOfSlot("SetLab(int,int,int)")).parameterNames(),
             (QList<QByteArray>{"nL", "nA", "nB"}));
    QVERIFY(meta->indexOfSignal("seriesRunningChanged(bool)") >= meta->methodOffset());
}

void TestColorimeterDlg::setMeanLabRecoloursInPlaceAfterOnePush() {
    const cv::Mat source = noisyImage(30, 41, 2);
    Workbench bench(source, false);
    QCVImage &canvas = bench.canvas;
    QColorimeterDlg &panel = bench.panel;

    press(panel, setText, {100, 127, -127});
    QCOMPARE(imageCounts(canvas, panel), std::tuple(2, 1, 1));
    QCOMPARE(panel.image(true, -1, false).data, source.data);
    const uchar *work = panel.image(false, -1, false).data;
    QCOMPARE(current(canvas).data, work);
    QVERIFY(showsAdjusted(canvas, source, {255, 255, 1}));
    QVERIFY(showsCurrentImage(canvas));
    press(panel, setText, {0, 0, 0});
    QVERIFY(showsAdjusted(canvas, source, {0, 128, 128}));

    // The rectangle is read at every call; the previous one goes back to the round trip.
    setCorners(canvas, {3, 20, 30, 9});
    press(panel, setText, {40, 20, -20});
    QVERIFY(showsAdjusted(canvas, source, {3, 20, 30, 9}, labCodes({40, 20, -20})));
    QVERIFY(showsCurrentImage(canvas));
    QCOMPARE(imageCounts(canvas, panel), std::tuple(2, 1, 1));
    QCOMPARE(current(canvas).data, work);
}

void TestColorimeterDlg::refusedAdjustmentsChangeNothing() {
    // Before a canvas is attached nothing can change, and no series starts.
    QColorimeterDlg detached;
    detached.setMessageBoxesShown(false);
    button(detached, setText)->click();
    QCOMPARE(detached.resultCount, 0);
    button(detached, deltaText)->click();
    QCOMPARE(detached.lastSeriesReport().message, QString("There is no image to re-colour."));

    QCVImage canvas;
    QColorimeterDlg panel;
    panel.SetCVImage(&canvas);
    panel.setMessageBoxesShown(false);
    press(panel, setText, {60, 10, 10});
    QCOMPARE(imageCounts(canvas, panel), std::tuple(0, 0, 0));

    const cv::Mat source = noisyImage(20, 20, 3);
    const cv::Mat untouched = source.clone();
    canvas.showNewImage(source);
    const cv::Rect crossed[] = {{12, 5, -4, 8}, {5, 12, 8, -4}, {10, 10, 11, 5}, {-1, 3, 5, 5}};
    for (const cv::Rect &rect : crossed) {
        setCorners(canvas, rect);
        button(panel, setText)->click();
        QCOMPARE(imageCounts(canvas, panel), std::tuple(1, 0, 0));
        QVERIFY(identical(source, untouched));
    }

    setCorners(canvas, {5, 5, 10, 10});
    button(panel, setText)->click();
    QCOMPARE(canvas.sourceCount, 2);
    const cv::Mat adjusted = current(canvas).clone();
    for (const cv::Rect &rect : crossed) {
        setCorners(canvas, rect);
        press(panel, setText, {20, -30, 40});
        QVERIFY(identical(current(canvas), adjusted));
    }
    QCOMPARE(imageCounts(canvas, panel), std::tuple(2, 1, 1));

    // Types that cannot be re-coloured refuse the series before its first image; signed samples
    // are named, with the format that keeps them.
    canvas.showNewImage(cv::Mat(20, 20, CV_16SC3, cv::Scalar::all(-5)));
    press(panel, gridText, {100, 240, 240});
    const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
    QVERIFY2(report.message.contains("signed 16-bit samples") && report.message.contains("TIFF"),
             qPrintable(report.message));
    QCOMPARE(report.processed, 0);
    canvas.showNewImage(cv::Mat(20, 20, CV_8UC2, cv::Scalar::all(5)));
    button(panel, gridText)->click();
    QCOMPARE(report.message, QString("The image is of a type that cannot be re-coloured."));
    QCOMPARE(report.processed, 0);
    QCOMPARE(canvas.sourceCount, 4);
}

void TestColorimeterDlg::seriesRefusedOnAnEmptyRecolouredRectangle() {
    const DriveRoot root;
    Workbench bench(noisyImage(20, 20, 13), true);
    QCVImage &canvas = bench.canvas;
    QColorimeterDlg &panel = bench.panel;
    const cv::Mat before = current(canvas).clone();
    cv::Point *corners = canvas.cornerPoints(false);
    // The saved rectangle (corner 0 to 2) is usable; the re-coloured one is not.
    const Quad emptied{cv::Point(4, 4), {4, 14}, {14, 14}, {4, 2}};
    std::copy(emptied.begin(), emptied.end(), corners);
    QVERIFY(!rectFromCorners02(quadFromPoints(corners)).empty());

    for (const QString &series : {gridText, deltaText}) {
        press(panel, series, {50, 120, 120});
        const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
        QVERIFY2(report.message.contains("rectangle to re-colour"), qPrintable(report.message));
        QVERIFY(report.message.contains("empty"));
        QCOMPARE(processedWrittenFailed(report), std::tuple(0, 0, 0));
        QVERIFY(root.files().isEmpty());
    }
    // Corner 1 level with corner 0 empties it too.
    corners[3] = {14, 4};
    corners[1] = {4, 4};
    button(panel, gridText)->click();
    QVERIFY(panel.lastSeriesReport().message.contains("rectangle to re-colour"));
    QVERIFY(root.files().isEmpty());

    // A single adjustment of an empty rectangle re-colours nothing: the work image is the plain
    // round trip of the source.
    press(panel, setText, {20, 30, 40});
    QVERIFY(identical(current(canvas), labRoundTrip(before)));
    QVERIFY(root.files().isEmpty());
}

void TestColorimeterDlg::otherImageTypesAreBroughtToBgr() {
    cv::Mat deep(16, 18, CV_16UC3);
    cv::RNG(4).fill(deep, cv::RNG::UNIFORM, 0, 65536);
    cv::Mat grey(16, 18, CV_8UC1);
    cv::RNG(5).fill(grey, cv::RNG::UNIFORM, 0, 256);
    for (const cv::Mat &source : {deep, grey}) {
        Workbench bench(source, false);
        press(bench.panel, setText, {55, -12, 30});
        QCOMPARE(bench.canvas.sourceCount, 2);
        QCOMPARE(current(bench.canvas).type(), CV_8UC3);
        QVERIFY(showsAdjusted(bench.canvas, toBgr8(source), labCodes({55, -12, 30})));
    }
}

void TestColorimeterDlg::rebindsAfterLoadWarpAndShading() {
    const QTemporaryDir folder;
    const cv::Mat first = noisyImage(40, 40, 6);
    const cv::Mat opened = noisyImage(40, 40, 7);
    const QString openedPath = folder.filePath("opened.png");
    QVERIFY(cv::imwrite(openedPath.toStdString(), opened));

    Workbench bench(first, false);
    QCVImage &canvas = bench.canvas;
    QColorimeterDlg &panel = bench.panel;
    press(panel, setText, {45, 5, -5});
    QCOMPARE(canvas.sourceCount, 2);

    QVERIFY(canvas.loadImage(openedPath));
    QCOMPARE(canvas.sourceCount, 3);
    button(panel, setText)->click();
    // The panel keeps only its current working pair.
    QCOMPARE(imageCounts(canvas, panel), std::tuple(4, 1, 1));
    QCOMPARE(panel.image(true, -1, false).data, canvas.sourceImages[2].data);
    QCOMPARE(panel.image(false, -1, false).data, canvas.sourceImages[3].data);
    QVERIFY(panel.sourceImages[1].empty() && panel.resultImages[1].empty());
    QVERIFY(showsAdjusted(canvas, opened, labCodes({45, 5, -5})));
    QVERIFY(showsCurrentImage(canvas));

    canvas.warpCurrentImage();
    QCOMPARE(canvas.sourceCount, 5);
    const cv::Mat warped = current(canvas).clone();
    button(panel, setText)->click();
    QCOMPARE(canvas.sourceCount, 6);
    QVERIFY(showsAdjusted(canvas, warped, labCodes({45, 5, -5})));

    canvas.correctShading(10);
    QCOMPARE(canvas.sourceCount, 6);
    const cv::Mat corrected = current(canvas).clone();
    QVERIFY(!identical(corrected, panel.image(false, -1, false)));
    press(panel, setText, {70, -5, 5});
    QCOMPARE(imageCounts(canvas, panel), std::tuple(7, 1, 1));
    QVERIFY(showsAdjusted(canvas, corrected, labCodes({70, -5, 5})));
    QVERIFY(showsCurrentImage(canvas));
}

void TestColorimeterDlg::gridSeriesWritesTheRecolouredRectangle() {
    const DriveRoot root;
    // Few colours, so that the rectangle is re-coloured through its palette of codes.
    const cv::Mat source = imageOfColours(24, 37, 5, 8);
    Workbench bench(source, true);
    QCVImage &canvas = bench.canvas;
    QColorimeterDlg &panel = bench.panel;
    QSignalSpy running(&panel, &QColorimeterDlg::seriesRunningChanged);

    press(panel, gridText, {50, 120, 120});

    const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
    QCOMPARE(report.total, 8);
    QCOMPARE(processedWrittenFailed(report), std::tuple(8, 8, 0));
    QVERIFY(!report.stopped);
    QVERIFY(report.message.isEmpty());
    QCOMPARE(running, (QList<QVariantList>{{true}, {false}}));
    QVERIFY(!panel.isSeriesRunning());

    QCOMPARE(root.files(), gridNames());
    QCOMPARE(root.manifests(), QStringList{"ref_img_grid_50_120_120.csv"});
    const cv::Rect rect = adjustedRect(canvas);
    const cv::Rect saved = rectFromCorners02(quadFromPoints(canvas.cornerPoints(false)));
    for (const auto &[name, value] : gridOfEight) {
        const cv::Mat expected = straightforwardAdjust(source, rect, labCodes(value));
        QVERIFY2(contents(root.path(name)) == jpegOf(expected(saved)), qPrintable(name));
    }
    // The viewer ends on the last image.
    QVERIFY(showsAdjusted(canvas, source, rect, labCodes({50, 0, 0})));
    QVERIFY(showsCurrentImage(canvas));
}

void TestColorimeterDlg::stopEndsTheSeriesAndStaleRequestsAreDropped() {
    const DriveRoot root;
    Workbench bench(noisyImage(20, 20, 9), true);
    QColorimeterDlg &panel = bench.panel;
    QPushButton *stop = button(panel, stopText);

    // A click at the first chance, or a few rounds of events later: the series ends after the
    // images in hand, and every image handed over is written, no more.
    const struct {
        int centre;
        int clickRound;
    } stops[] = {{50, 1}, {60, 5}};
    for (const auto &when : stops) {
        const int before = root.files().size();
        int rounds = 0;
        std::function<void()> tick = [&] {
            if (++rounds == when.clickRound)
                stop->click();
            else
                QTimer::singleShot(0, tick);
        };
        whenSeriesRuns(panel, tick);
        press(panel, deltaText, {when.centre, 0, 0});
        const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
        QVERIFY(report.stopped && report.processed >= 1 && report.processed < 4913);
        QCOMPARE(report.written, report.processed);
        const QString series = QString("ref_img_(%1_0_0)_").arg(when.centre);
        QCOMPARE(root.files().filter(series).size(), report.processed);
        QCOMPARE(root.files().size(), before + report.processed);
        QVERIFY(root.files().contains(series + QString("%1_-16_-16.jpg").arg(when.centre - 16)));
    }

    // A request made while no series runs does not cut the next one short.
    stop->click();
    stop->click();
    press(panel, gridText, {50, 120, 120});
    QVERIFY(!panel.lastSeriesReport().stopped);
    QCOMPARE(panel.lastSeriesReport().written, 8);
    button(panel, gridText)->click();
    QCOMPARE(panel.lastSeriesReport().written, 8);
}

void TestColorimeterDlg::seriesLocksThePanelAndRefusesReentry() {
    const DriveRoot root;
    const cv::Mat source = noisyImage(20, 30, 10);
    Workbench bench(source, true);
    QColorimeterDlg &panel = bench.panel;

    bool locked = false;
    whenSeriesRuns(panel, [&] {
        locked = panel.isSeriesRunning() && showsSeriesRunning(panel, true);
        // Neither another series nor an adjustment may start inside this one.
        QMetaObject::invokeMethod(&panel, "CreateDeltaImgs", Qt::DirectConnection);
        QMetaObject::invokeMethod(&panel, "SetLab", Qt::DirectConnection, Q_ARG(int, 10),
                                  Q_ARG(int, 10), Q_ARG(int, 10));
    });
    press(panel, gridText, {50, 120, 120});

    QVERIFY(locked);
    QCOMPARE(panel.lastSeriesReport().total, 8);
    QCOMPARE(panel.lastSeriesReport().written, 8);
    QCOMPARE(root.files().size(), 8);
    QVERIFY(showsAdjusted(bench.canvas, source, labCodes({50, 0, 0})));
    QVERIFY(showsSeriesRunning(panel, false));
}

void TestColorimeterDlg::unwritableFilesAreCountedAndTheFirstNamed() {
    const DriveRoot root;
    // Folders in the way of two of the names.
    QVERIFY(QDir(root.path(".")).mkdir("ref_img_50_-120_0.jpg"));
    QVERIFY(QDir(root.path(".")).mkdir("ref_img_0_0_-120.jpg"));
    Workbench bench(noisyImage(20, 20, 11), false);
    QColorimeterDlg &panel = bench.panel;

    QString shown;
    readNextMessageBox(&shown);
    press(panel, gridText, {50, 120, 120});

    const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
    QCOMPARE(processedWrittenFailed(report), std::tuple(8, 6, 2));
    QCOMPARE(QFileInfo(report.firstFailedFile).fileName(), QString("ref_img_0_0_-120.jpg"));
    QVERIFY(!report.firstFailure.isEmpty());
    QVERIFY(report.message.contains("2 files"));
    QVERIFY(report.message.contains("ref_img_0_0_-120.jpg"));
    QCOMPARE(shown, report.message);
    QCOMPARE(root.files().size(), 6);
}

void TestColorimeterDlg::stepsThatAreNotPositiveStartNothing() {
    const DriveRoot root;
    Workbench bench(noisyImage(20, 20, 12), false);
    QColorimeterDlg &panel = bench.panel;
    QSignalSpy running(&panel, &QColorimeterDlg::seriesRunningChanged);

    QString shown;
    readNextMessageBox(&shown);
    press(panel, gridText, {0, 10, 10});
    QCOMPARE(shown, QString("The L step must be positive."));
    QCOMPARE(panel.lastSeriesReport().message, shown);

    panel.setMessageBoxesShown(false);
    press(panel, gridText, {10, -5, 0});
    QCOMPARE(panel.lastSeriesReport().message,
             QString("The a step must be positive.\nThe b step must be positive."));
    QCOMPARE(running.count(), 0);
    QVERIFY(root.files().isEmpty());
    QCOMPARE(bench.canvas.sourceCount, 1);
}

void TestColorimeterDlg::stopEndsASeriesWhoseWriteHangs() {
    const DriveRoot root;
    // A pipe no one reads, named as the first grid file: its write never returns.
    const QString pipe = root.path("ref_img_0_-120_-120.jpg");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    Workbench bench(noisyImage(20, 20, 14), true);
    QColorimeterDlg &panel = bench.panel;
    QPushButton *stop = button(panel, stopText);

    // Stop while the series hands over its images.
    whenSeriesRuns(panel, [stop] { stop->click(); });
    press(panel, gridText, {50, 120, 120});
    const QColorimeterDlg::SeriesReport first = panel.lastSeriesReport();
    QVERIFY(!panel.isSeriesRunning());
    QVERIFY(first.stopped);
    // The other worker may have written the images after the pipe's meanwhile.
    QVERIFY(first.processed >= 1 && first.processed <= 8);
    QCOMPARE(first.written, first.processed - 1);
    QCOMPARE(first.unconfirmedFiles, QStringList{pipe});
    QVERIFY2(first.message.contains("1 not confirmed"), qPrintable(first.message));

    // Stop while the series waits for its last files: every other file is written.
    int rounds = 0;
    std::function<void()> tick = [&] {
        if (panel.findChild<QProgressBar *>()->value() >= 7 || ++rounds > 2000)
            stop->click();
        else
            QTimer::singleShot(1, tick);
    };
    whenSeriesRuns(panel, tick);
    button(panel, gridText)->click();
    const QColorimeterDlg::SeriesReport second = panel.lastSeriesReport();
    QVERIFY(second.stopped);
    QCOMPARE(processedWrittenFailed(second), std::tuple(8, 7, 0));
    QCOMPARE(second.unconfirmedFiles, QStringList{pipe});
    // Written beside the pipe, which is not listed as a file.
    QCOMPARE(root.files().size(), 7);
    QVERIFY(showsSeriesRunning(panel, false));
}

void TestColorimeterDlg::aFullDiskStopsTheSeriesAndSaysWhatWasWritten() {
    const cv::Mat source = noisyImage(60, 60, 15);
    // The grid's first four files (L 0, nearly black) are smaller than its last four.
    qint64 largestDark = 0;
    qint64 smallestBright = std::numeric_limits<qint64>::max();
    {
        const DriveRoot sizes;
        Workbench bench(source, true);
        press(bench.panel, gridText, {50, 120, 120});
        QCOMPARE(bench.panel.lastSeriesReport().written, 8);
        for (const auto &[name, value] : gridOfEight) {
            const qint64 size = QFileInfo(sizes.path(name)).size();
            if (value.l == 0)
                largestDark = std::max(largestDark, size);
            else
                smallestBright = std::min(smallestBright, size);
        }
    }
    QVERIFY(largestDark < smallestBright);

    // Files may not grow past the dark ones: the first bright one fails as on a full disk.
    const DriveRoot root;
    Workbench bench(source, true);
    QColorimeterDlg &panel = bench.panel;
    panel.setLabValues(50, 120, 120);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = rlim_t(largestDark);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    button(panel, gridText)->click();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    const QColorimeterDlg::SeriesReport &report = panel.lastSeriesReport();
    QVERIFY(report.diskFull);
    QVERIFY(!report.stopped);
    QCOMPARE(report.written, 4);
    QVERIFY2(report.processed >= 5 && report.processed <= 8, qPrintable(report.message));
    QVERIFY2(
        report.message.contains("4 files were written to " + QDir(root.path(".")).absolutePath()),
        qPrintable(report.message));
    QVERIFY(report.message.contains(report.diskFullCause));
    QCOMPARE(root.files(), gridNames(0));
}

void TestColorimeterDlg::escapeKeepsTheDockedPanel() {
    QWidget dock;
    auto *layout = new QVBoxLayout(&dock);
    auto *panel = new QColorimeterDlg;
    layout->addWidget(panel);
    dock.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dock));
    QSpinBox *spin = panel->findChild<QSpinBox *>();
    spin->setFocus();
    QTest::keyClick(spin, Qt::Key_Escape);
    QVERIFY(panel->isVisible());
}

void TestColorimeterDlg::referenceImagesMeasureTheirNamedValue() {
    // A rectangle on the demo photograph's grey card, noisy like a camera's.
    const DriveRoot root;
    const DemoPhoto photo = renderDemoPhoto();
    const std::vector<cv::Point> card(photo.greyCard.begin(), photo.greyCard.end());
    const cv::Rect patch = greyCardPatch(photo);
    for (const cv::Point &corner : {patch.tl(), patch.br(), cv::Point(patch.x, patch.br().y),
                                    cv::Point(patch.br().x, patch.y)})
        QVERIFY(cv::pointPolygonTest(card, corner, false) > 0);
    Workbench bench(photo.image, true);
    setCorners(bench.canvas, patch);
    press(bench.panel, deltaText, {60, 10, -10});
    QCOMPARE(processedWrittenFailed(bench.panel.lastSeriesReport()), std::tuple(4913, 4913, 0));
    QCOMPARE(root.files().size(), 4913);

    const LabValue checked[] = {{60, 10, -10}, {44, -6, -26}, {76, 26, 6},  {44, 26, 6},
                                {76, -6, -26}, {52, 0, 0},    {68, 18, -2}, {50, -6, 0}};
    for (const LabValue &value : checked) {
        const QString name =
            QString::asprintf("ref_img_(60_10_-10)_%i_%i_%i.jpg", value.l, value.a, value.b);
        const cv::Mat file = cv::imread(root.path(name).toStdString());
        QVERIFY2(!file.empty(), qPrintable(name));
        const cv::Scalar mean = cv::mean(referenceLab(file, LabEncoding::Linear));
        const double deltaE = deltaE76({mean[0], mean[1], mean[2]}, value);
        qInfo("%s: mean L*a*b* %.2f %.2f %.2f, dE %.2f", qPrintable(name), mean[0], mean[1],
              mean[2], deltaE);
        QVERIFY2(deltaE <= 1.5, qPrintable(name));
    }
}

void TestColorimeterDlg::encodingChangeRebindsTheSourceAtTheNextAdjustment() {
    const cv::Mat source = imageOfColours(30, 40, 12, 8);
    Workbench bench(source, true);
    QCVImage &canvas = bench.canvas;
    QColorimeterDlg &panel = bench.panel;
    press(panel, setText, {50, 10, -10});
    QCOMPARE(canvas.sourceCount, 2);
    const LabCodes target = labCodes({50, 10, -10});
    QVERIFY(showsAdjusted(canvas, source, target));

    {
        const EncodingChoice srgb(LabEncoding::Srgb);
        button(panel, setText)->click();
        // Bound afresh to the untouched source, in the work image's place on the canvas.
        QCOMPARE(canvas.sourceCount, 2);
        QCOMPARE(panel.image(true, -1, false).data, source.data);
        QCOMPARE(current(canvas).data, panel.image(false, -1, false).data);
        QVERIFY(showsAdjusted(canvas, source, target, LabEncoding::Srgb));
        QVERIFY(showsCurrentImage(canvas));

        // Steady in sRGB: adjusted in place.
        const uchar *work = current(canvas).data;
        setCorners(canvas, {2, 3, 20, 11});
        button(panel, setText)->click();
        QCOMPARE(current(canvas).data, work);
        QVERIFY(showsAdjusted(canvas, source, {2, 3, 20, 11}, target, LabEncoding::Srgb));

        canvas.correctShading(10);
        const cv::Mat expected =
            shadingCorrected(panel.image(false, -1, false),
                             quadFromPoints(canvas.cornerPoints(false)), 10, LabEncoding::Srgb);
        QVERIFY(identical(current(canvas), expected));
    }
    canvas.showNewImage(source);
    button(panel, setText)->click();
    QVERIFY(showsAdjusted(canvas, source, target));
}

void TestColorimeterDlg::srgbSetMeanLabOnTheGreyCardMeasuresTheTarget() {
    const EncodingChoice srgb(LabEncoding::Srgb);
    const DemoPhoto photo = renderDemoPhoto();
    const cv::Rect patch = greyCardPatch(photo);
    Workbench bench(photo.image, true);
    setCorners(bench.canvas, patch);

    // In-gamut targets around the card's grey, and farther off.
    const LabValue targets[] = {{50, 0, 0}, {60, 10, -10}, {40, -15, 20}, {70, 20, 15}};
    for (const LabValue &target : targets) {
        press(bench.panel, setText, target);
        const std::optional<LabStats> stats =
            measureLab(current(bench.canvas), patch, LabEncoding::Srgb);
        QVERIFY(stats);
        const double deltaE = deltaE76(stats->mean, target);
        qInfo("sRGB target %d %d %d: measured %.2f %.2f %.2f, dE76 %.2f", target.l, target.a,
              target.b, stats->mean[0], stats->mean[1], stats->mean[2], deltaE);
        QVERIFY(deltaE <= 1.5);
    }
}

QTEST_MAIN(TestColorimeterDlg)
#include "test_colorimeterdlg.moc"
