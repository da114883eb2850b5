// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcolorimeterdlg.h"

#include "drivepath.h"
#include "imageencoding.h"
#include "matconversion.h"
#include "qcvimage.h"
#include "quad.h"
#include "seriesfilewriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <chrono>
#include <utility>

namespace {

// The canvas shows at most about 25 pictures a second during a series.
constexpr qint64 repaintIntervalMs = 40;
constexpr std::chrono::milliseconds writerWait{40};
// How long a stopped series waits for the files still being written before it leaves them to
// the writer: a write may hang for as long as its medium does.
constexpr qint64 abandonAfterStopMs = 500;
// The copies of the last series' rectangle kept for the next series, so that it starts without
// faulting in fresh pages: all of them for rectangles of a few megapixels.
constexpr std::size_t keptBufferBytes = std::size_t{32} << 20;

bool sameImage(const cv::Mat &a, const cv::Mat &b) {
    return a.data == b.data && a.size == b.size && a.type() == b.type() && a.step == b.step;
}

} // namespace

void QColorimeterDlg::CanvasChange::add(const CanvasChange &other) {
    whole = whole || other.whole;
    part |= other.part;
}

QColorimeterDlg::QColorimeterDlg() {
    auto *topLayout = new QVBoxLayout;
    auto *group = new QGroupBox(tr("Mean Lab"));
    auto *form = new QFormLayout;

    spinL = new QSpinBox;
    spinL->setMaximum(100);
    spinA = new QSpinBox;
    spinA->setMinimum(-127);
    spinA->setMaximum(127);
    spinB = new QSpinBox;
    spinB->setMinimum(-127);
    spinB->setMaximum(127);

    auto *setButton = new QPushButton(tr("Set Mean Lab Value"));
    auto *deltaButton = new QPushButton(tr("Create dE of 2 around this Value"));
    auto *gridButton = new QPushButton(tr("Create Lab images with dE set"));
    auto *stopButton = new QPushButton(tr("Stop"));

    form->addRow(new QLabel(tr("L:")), spinL);
    form->addRow(new QLabel(tr("a:")), spinA);
    form->addRow(new QLabel(tr("b:")), spinB);
    form->addRow(setButton);
    form->addRow(deltaButton);
    form->addRow(gridButton);
    form->addRow(stopButton);

    group->setLayout(form);
    topLayout->addWidget(group);

    progressBar = new QProgressBar;
    progressBar->setFormat(tr("%v of %m"));
    progressBar->hide();
    statusLabel = new QLabel;
    statusLabel->setWordWrap(true);
    statusLabel->hide();
    topLayout->addWidget(progressBar);
    topLayout->addWidget(statusLabel);
    setLayout(topLayout);

    connect(setButton, SIGNAL(clicked()), this, SLOT(SetMeanLab()));
    connect(deltaButton, SIGNAL(clicked()), this, SLOT(CreateDeltaImgs()));
    connect(gridButton, SIGNAL(clicked()), this, SLOT(CreateLabImgs()));
    connect(stopButton, SIGNAL(clicked()), this, SLOT(Stop()));

    lockedDuringSeries = {spinL, spinA, spinB, setButton, deltaButton, gridButton};
}

QColorimeterDlg::~QColorimeterDlg() = default;

void QColorimeterDlg::SetCVImage(QCVImage *image) {
    cvImage = image;
}

void QColorimeterDlg::setLabValues(int l, int a, int b) {
    spinL->setValue(l);
    spinA->setValue(a);
    spinB->setValue(b);
}

void QColorimeterDlg::reject() {
    if (isWindow())
        QDialog::reject();
}

void QColorimeterDlg::SetMeanLab() {
    const LabCodes codes = labCodes({spinL->value(), spinA->value(), spinB->value()});
    SetLab(codes.l, codes.a, codes.b);
}

void QColorimeterDlg::SetLab(int nL, int nA, int nB) {
    if (seriesRunning)
        return;
    if (const std::optional<CanvasChange> change = adjustCanvas({nL, nA, nB}))
        showChange(*change);
}

void QColorimeterDlg::CreateLabImgs() {
    if (seriesRunning)
        return;
    const LabValue steps{spinL->value(), spinA->value(), spinB->value()};
    const QStringList refused = nonPositiveGridSteps(steps);
    if (!refused.isEmpty()) {
        report = SeriesReport();
        QStringList lines;
        for (const QString &channel : refused)
            lines << tr("The %1 step must be positive.").arg(channel);
        report.message = lines.join(QLatin1Char('\n'));
        warn(report.message);
        return;
    }
    runSeries(gridSeriesSize(steps), [steps](int index) { return gridSeriesImage(steps, index); });
}

void QColorimeterDlg::CreateDeltaImgs() {
    if (seriesRunning)
        return;
    const LabValue centre{spinL->value(), spinA->value(), spinB->value()};
    runSeries(deltaSeriesSize, [centre](int index) { return deltaSeriesImage(centre, index); });
}

void QColorimeterDlg::Stop() {
    stopFlag = true;
}

bool QColorimeterDlg::currentImageIsWorkImage() const {
    return resultCount > 0 && adjustment.isBound() &&
           sameImage(cvImage->image(true, -1, false), adjustment.workImage());
}

std::optional<QColorimeterDlg::CanvasChange> QColorimeterDlg::adjustCanvas(const LabCodes &target) {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return std::nullopt;
    const cv::Mat current = cvImage->image(true, -1, false);
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    if (!rectInside(rect, current.size()))
        return std::nullopt;

    if (currentImageIsWorkImage()) {
        const std::optional<cv::Rect> changed = adjustment.adjust(rect, target);
        if (!changed)
            return std::nullopt;
        return CanvasChange{false, *changed};
    }

    // First adjustment, or the canvas shows another image since: bind to that one.
    MeanLabAdjustment fresh;
    if (!fresh.bind(current) || !fresh.adjust(rect, target))
        return std::nullopt;
    adjustment = std::move(fresh);
    // The panel's own lists hold the working pair only: a pair it has left would keep two
    // full-size images alive that nothing reads again.
    if (resultCount == 0) {
        pushImage(adjustment.source(), true);
        pushImage(adjustment.workImage(), false);
    } else {
        image(true, -1, false) = adjustment.source();
        image(false, -1, false) = adjustment.workImage();
    }
    cvImage->pushImage(image(false, -1, false), true);
    return CanvasChange{true, cv::Rect()};
}

void QColorimeterDlg::showChange(const CanvasChange &change) {
    if (change.whole)
        cvImage->showCurrentImage();
    else if (!change.part.empty())
        cvImage->showCurrentImage(change.part);
}

QString QColorimeterDlg::seriesObstacle() const {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return tr("There is no image to re-colour.");
    const cv::Size size = cvImage->image(true, -1, false).size();
    const Quad quad = quadFromPoints(cvImage->cornerPoints(false));
    const cv::Rect recoloured = rectFromCorners013(quad);
    if (!rectInside(recoloured, size))
        return tr("The corners do not form a rectangle inside the image to re-colour: corner 0 "
                  "must lie left of corner 3 and above corner 1.");
    // Every file would hold the untouched image under a name that claims a Lab value.
    if (recoloured.empty())
        return tr("The rectangle to re-colour, from corner 0 to the x of corner 3 and the y of "
                  "corner 1, is empty (%1 x %2 pixels): corner 3 must lie to the right of corner "
                  "0 and corner 1 below it.")
            .arg(recoloured.width)
            .arg(recoloured.height);
    const cv::Rect saved = rectFromCorners02(quad);
    if (saved.empty() || !rectInside(saved, size))
        return tr("The rectangle from corner 0 to corner 2, which the files hold, is empty or "
                  "does not lie inside the image.");
    const int type = cvImage->image(true, -1, false).type();
    const int depth = CV_MAT_DEPTH(type);
    if (depth == CV_8S || depth == CV_16S || depth == CV_32S)
        return tr("The image holds %1 samples, which the series cannot re-colour into its "
                  "8-bit files; save it as TIFF (.tif) to keep them.")
            .arg(sampleTypeName(type));
    if (!convertsToBgr8(type))
        return tr("The image is of a type that cannot be re-coloured.");
    return {};
}

void QColorimeterDlg::runSeries(int total, const std::function<ReferenceImage(int)> &imageAt) {
    report = SeriesReport();
    report.total = total;
    const QString obstacle = seriesObstacle();
    if (!obstacle.isEmpty()) {
        report.message = obstacle;
        warn(report.message);
        return;
    }

    const QPointer<QColorimeterDlg> alive(this);
    try {
        writeSeries(total, imageAt);
    } catch (const std::exception &error) { // out of memory or threads
        if (!alive)
            return;
        if (seriesRunning)
            setSeriesRunning(false, total);
        report.message = tr("The series ended early: %1").arg(QString::fromLocal8Bit(error.what()));
        statusLabel->setText(report.message);
        warn(report.message);
    }
}

void QColorimeterDlg::writeSeries(int total, const std::function<ReferenceImage(int)> &imageAt) {
    const QPointer<QColorimeterDlg> alive(this);
    setSeriesRunning(true, total);
    SeriesFileWriter writer;
    writer.adoptBuffers(std::exchange(seriesBuffers, {}));
    const auto done = [&writer] { return writer.written() + writer.failed(); };
    const auto diskFull = [&writer] { return writer.diskFull().index >= 0; };
    // Events are processed while waiting, so Stop and closing the window reach us.
    const auto keepWaiting = [&] {
        QCoreApplication::processEvents();
        return alive && !stopFlag && !diskFull();
    };
    CanvasChange unshown;
    QElapsedTimer sinceRepaint;
    int index = 0;
    for (; index < total; ++index) {
        const ReferenceImage reference = imageAt(index);
        const QString path = resolveDrivePath(reference.fileName);
        const std::optional<CanvasChange> change = adjustCanvas(reference.target);
        const cv::Mat current = cvImage->image(true, -1, false);
        const cv::Rect saved = rectFromCorners02(quadFromPoints(cvImage->cornerPoints(false)));
        if (!change) {
            writer.recordFailure(index, path,
                                 tr("The rectangle could not be re-coloured to this value."));
        } else if (saved.empty() || !rectInside(saved, current.size())) {
            unshown.add(*change);
            writer.recordFailure(index, path,
                                 tr("The rectangle from corner 0 to corner 2 is empty or does "
                                    "not lie inside the image."));
        } else {
            unshown.add(*change);
            // The next image is re-coloured into the same buffer, so the writer gets a copy.
            cv::Mat pixels = writer.buffer(saved.size(), current.type());
            current(saved).copyTo(pixels);
            bool handedOver = false;
            while (!(handedOver = writer.submit(index, pixels, path, writerWait)) &&
                   keepWaiting()) {
            }
            if (!alive)
                return;
            if (!handedOver)
                break;
            // Let go so the writer can hand the buffer out again once the file is written.
            pixels.release();
        }

        if (!sinceRepaint.isValid() || sinceRepaint.elapsed() >= repaintIntervalMs) {
            showChange(unshown);
            unshown = CanvasChange();
            showProgress(done(), QFileInfo(path).fileName());
            sinceRepaint.start();
        }
        QCoreApplication::processEvents();
        if (!alive)
            return;
        if (stopFlag || diskFull()) {
            ++index;
            break;
        }
    }

    // After a stop, files still pending get a moment and are then left to the writer.
    QElapsedTimer sinceStop;
    while (!writer.waitUntilDone(writerWait)) {
        showProgress(done(), QString());
        QCoreApplication::processEvents();
        if (!alive)
            return;
        if (stopFlag && !sinceStop.isValid())
            sinceStop.start();
        if (sinceStop.isValid() && sinceStop.elapsed() >= abandonAfterStopMs)
            break;
    }
    report.stopped = std::exchange(stopFlag, false);
    for (const SeriesFileWriter::Pending &file : writer.pending())
        report.unconfirmedFiles << file.path;
    seriesBuffers = writer.takeSpareBuffers(keptBufferBytes);
    showChange(unshown);
    report.processed = index;
    report.written = writer.written();
    report.failed = writer.failed();
    const SeriesFileWriter::Failure first = writer.firstFailure();
    report.firstFailedFile = first.path;
    report.firstFailure = first.reason;
    const SeriesFileWriter::Failure full = writer.diskFull();
    report.diskFull = full.index >= 0;
    report.diskFullCause = full.reason;
    report.folder = QFileInfo(report.diskFull ? full.path : resolveDrivePath(imageAt(0).fileName))
                        .absolutePath();
    setSeriesRunning(false, total);
    finishReport();
}

void QColorimeterDlg::setSeriesRunning(bool running, int total) {
    seriesRunning = running;
    for (QWidget *widget : std::as_const(lockedDuringSeries))
        widget->setEnabled(!running);
    if (running) {
        // A request made while no series ran is not meant for this one.
        stopFlag = false;
        progressBar->setRange(0, total);
        progressBar->setValue(0);
        statusLabel->clear();
        statusLabel->show();
    }
    progressBar->setVisible(running);
    emit seriesRunningChanged(running);
}

void QColorimeterDlg::showProgress(int done, const QString &fileName) {
    progressBar->setValue(done);
    if (!fileName.isEmpty())
        statusLabel->setText(tr("Writing %1").arg(fileName));
}

void QColorimeterDlg::finishReport() {
    QString summary = report.stopped
                          ? tr("Stopped after %1 of %2 images: %3 written.")
                                .arg(report.processed)
                                .arg(report.total)
                                .arg(report.written)
                          : tr("%1 of %2 images written.").arg(report.written).arg(report.total);
    if (!report.unconfirmedFiles.isEmpty())
        summary += QLatin1Char(' ') + tr("%1 not confirmed: still being written when the series "
                                         "ended.")
                                          .arg(report.unconfirmedFiles.size());
    statusLabel->setText(summary);
    const QString folder = QDir::toNativeSeparators(report.folder);
    if (report.diskFull) {
        report.message = tr("The series stopped after %1 of %2 images: %3\n%4 files were written "
                            "to %5.")
                             .arg(report.processed)
                             .arg(report.total)
                             .arg(report.diskFullCause)
                             .arg(report.written)
                             .arg(folder);
        statusLabel->setText(report.message);
        warn(report.message);
        return;
    }
    if (report.failed == 0) {
        // Told in the panel only: a message box would hold up closing the window.
        if (!report.unconfirmedFiles.isEmpty())
            report.message = summary;
        return;
    }
    const QString count =
        report.failed == 1
            ? tr("1 file of the reference series could not be written.")
            : tr("%1 files of the reference series could not be written.").arg(report.failed);
    report.message =
        count + QLatin1Char('\n') +
        tr("The first was %1: %2")
            .arg(QDir::toNativeSeparators(report.firstFailedFile), report.firstFailure);
    if (!report.unconfirmedFiles.isEmpty())
        report.message += QLatin1Char('\n') + summary;
    warn(report.message);
}

void QColorimeterDlg::warn(const QString &text) {
    if (messageBoxesShown)
        QMessageBox::warning(this, tr("Reference Images"), text);
}
