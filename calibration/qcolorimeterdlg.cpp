// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcolorimeterdlg.h"

#include "drivepath.h"
#include "encodingselector.h"
#include "imageencoding.h"
#include "matconversion.h"
#include "measuredgroup.h"
#include "qcvimage.h"
#include "quad.h"
#include "seriesoptionswidget.h"
#include "seriesreportwindow.h"
#include "seriesrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <chrono>
#include <utility>

namespace {

// How long a stopped series waits for the files still being written before it leaves them to
// the writer: a write may hang for as long as its medium does.
constexpr qint64 abandonAfterStopMs = 500;

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
    seriesOptions = new SeriesOptionsWidget;
    topLayout->addWidget(seriesOptions);
    encodingSelector = new EncodingSelector;
    topLayout->addWidget(encodingSelector);
    measuredGroup = new MeasuredGroup;
    topLayout->addWidget(measuredGroup);

    progressBar = new QProgressBar;
    progressBar->setFormat(tr("%v of %m"));
    progressBar->hide();
    statusLabel = new QLabel;
    statusLabel->setWordWrap(true);
    statusLabel->hide();
    reportButton = new QPushButton(tr("Show Report"));
    reportButton->hide();
    forecastLabel = new QLabel;
    forecastLabel->setWordWrap(true);
    topLayout->addWidget(progressBar);
    topLayout->addWidget(statusLabel);
    topLayout->addWidget(reportButton);
    topLayout->addWidget(forecastLabel);
    // The groups keep their natural height; the empty height goes below everything.
    topLayout->addStretch(1);
    setLayout(topLayout);

    forecastTimer.setSingleShot(true);
    forecastTimer.setInterval(150);
    connect(&forecastTimer, &QTimer::timeout, this, &QColorimeterDlg::updateForecast);
    for (QSpinBox *spin : {spinL, spinA, spinB})
        connect(spin, &QSpinBox::valueChanged, this, &QColorimeterDlg::scheduleForecast);
    connect(seriesOptions, &SeriesOptionsWidget::optionsChanged, this,
            &QColorimeterDlg::scheduleForecast);
    connect(reportButton, &QPushButton::clicked, this, &QColorimeterDlg::showSeriesReport);

    connect(setButton, SIGNAL(clicked()), this, SLOT(SetMeanLab()));
    connect(deltaButton, SIGNAL(clicked()), this, SLOT(CreateDeltaImgs()));
    connect(gridButton, SIGNAL(clicked()), this, SLOT(CreateLabImgs()));
    connect(stopButton, SIGNAL(clicked()), this, SLOT(Stop()));

    setButton->setStatusTip(tr("Re-colour the rectangle drawn dashed orange, from corner 0 to the "
                               "x of corner 3 and the y of corner 1"));
    lockedDuringSeries = {spinL,       spinA,      spinB,         setButton,
                          deltaButton, gridButton, seriesOptions, encodingSelector};
}

QColorimeterDlg::~QColorimeterDlg() = default;

void QColorimeterDlg::SetCVImage(QCVImage *image) {
    cvImage = image;
    measuredGroup->setCanvas(image);
    if (!image)
        return;
    connect(image, &QCVImage::cornersChanged, this, &QColorimeterDlg::scheduleForecast);
    connect(image, &QCVImage::imageChanged, this, &QColorimeterDlg::imageChanged);
    scheduleForecast();
}

void QColorimeterDlg::imageChanged() {
    // A finished series' line belongs to the picture it left.
    if (!seriesRunning && !adjustingForSeries)
        statusLabel->hide();
    scheduleForecast();
}

void QColorimeterDlg::scheduleForecast() {
    forecastTimer.start();
}

void QColorimeterDlg::updateForecast() {
    if (!cvImage || cvImage->isCurrentImageEmpty()) {
        forecastLabel->clear();
        return;
    }
    const cv::Mat image = cvImage->image(true, -1, false);
    const Quad quad = quadFromPoints(cvImage->cornerPoints(false));
    const SeriesOptions options = seriesOptions->options();
    const QString folder = QDir::toNativeSeparators(seriesFolder(options));
    const auto line = [&](const QString &kind, int count) {
        const std::optional<std::int64_t> bytes =
            estimateSeriesBytes(image, quad, options.format, count);
        return tr("Next %1 series: %2 files, about %3, in %4.")
            .arg(kind)
            .arg(count)
            .arg(bytes ? QLocale().formattedDataSize(*bytes) : tr("an unknown size"), folder);
    };
    const LabValue values{spinL->value(), spinA->value(), spinB->value()};
    QStringList lines;
    const int gridSize = gridSeriesSize(values);
    lines << (gridSize > 0 ? line(tr("grid"), gridSize)
                           : tr("Next grid series: the steps must be positive."));
    lines << line(tr("delta"), deltaSeriesSize);
    forecastLabel->setText(lines.join(QLatin1Char('\n')));
}

void QColorimeterDlg::showSeriesReport() {
    if (!reportWindow)
        reportWindow = new SeriesReportWindow(this);
    reportWindow->showResult(lastResult);
    reportWindow->show();
    reportWindow->raise();
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
    runCanvasStep(stepRunner, tr("Set Mean Lab Value"), partAdjustedInPlace(), [&] {
        if (const std::optional<CanvasChange> change = adjustCanvas({nL, nA, nB}))
            showChange(*change);
        else
            emit commandRefused(tr("Set Mean Lab Value: %1").arg(adjustmentObstacle()));
    });
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
    runSeries({SeriesPlan::Kind::Grid, steps});
}

void QColorimeterDlg::CreateDeltaImgs() {
    if (seriesRunning)
        return;
    const LabValue centre{spinL->value(), spinA->value(), spinB->value()};
    runSeries({SeriesPlan::Kind::Delta, centre});
}

void QColorimeterDlg::Stop() {
    stopFlag = true;
}

bool QColorimeterDlg::currentImageIsWorkImage() const {
    return resultCount > 0 && adjustment.isBound() &&
           sameImage(cvImage->image(true, -1, false), adjustment.workImage());
}

cv::Rect QColorimeterDlg::partAdjustedInPlace() const {
    // After a change of encoding the work image is replaced, not written.
    if (!cvImage || !currentImageIsWorkImage() || adjustment.encoding() != currentLabEncoding())
        return {};
    const cv::Mat &current = cvImage->image(true, -1, false);
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    return (adjustment.lastAdjustedRect() | rect) & cv::Rect(0, 0, current.cols, current.rows);
}

std::optional<QColorimeterDlg::CanvasChange> QColorimeterDlg::adjustCanvas(const LabCodes &target) {
    return adjustCanvas(cv::Vec3d(target.l, target.a, target.b), CodeRounding::Truncate);
}

std::optional<QColorimeterDlg::CanvasChange> QColorimeterDlg::adjustCanvas(const cv::Vec3d &target,
                                                                           CodeRounding rounding) {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return std::nullopt;
    const cv::Mat current = cvImage->image(true, -1, false);
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    if (!rectInside(rect, current.size()))
        return std::nullopt;

    const LabEncoding encoding = currentLabEncoding();
    const bool showsWorkImage = currentImageIsWorkImage();
    if (showsWorkImage && adjustment.encoding() == encoding) {
        const std::optional<cv::Rect> changed = adjustment.adjust(rect, target, rounding);
        if (!changed)
            return std::nullopt;
        return CanvasChange{false, *changed};
    }

    // First adjustment, or the canvas shows another image since: bind to that one. The
    // encoding changed while the work image is shown: bind its untouched source afresh, in the
    // work image's place.
    MeanLabAdjustment fresh;
    if (!fresh.bind(showsWorkImage ? adjustment.source() : current, encoding) ||
        !fresh.adjust(rect, target, rounding))
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
    if (showsWorkImage)
        cvImage->image(true, -1, false) = image(false, -1, false);
    else
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

QString QColorimeterDlg::adjustmentObstacle() const {
    if (!cvImage || cvImage->isCurrentImageEmpty())
        return tr("there is no image to re-colour");
    const cv::Rect rect = rectFromCorners013(quadFromPoints(cvImage->cornerPoints(false)));
    if (!rectInside(rect, cvImage->image(true, -1, false).size()))
        return tr("the corners are crossed: corner 0 must lie left of corner 3 and above "
                  "corner 1");
    if (!convertsToBgr8(cvImage->image(true, -1, false).type()))
        return tr("the image is of a type that cannot be re-coloured");
    return tr("there is not enough memory to re-colour the image");
}

void QColorimeterDlg::runSeries(const SeriesPlan &plan) {
    report = SeriesReport();
    report.total = plan.size();
    const QString obstacle = seriesObstacle();
    if (!obstacle.isEmpty()) {
        report.message = obstacle;
        warn(report.message);
        return;
    }

    SeriesRequest request;
    // The untouched source: the series re-colours from it as the adjustment does.
    request.image =
        currentImageIsWorkImage() ? adjustment.source() : cvImage->image(true, -1, false);
    request.corners = quadFromPoints(cvImage->cornerPoints(false));
    request.plan = plan;
    request.options = seriesOptions->options();
    request.options.encoding = currentLabEncoding();
    SeriesEnvironment environment;
    environment.stopGrace = std::chrono::milliseconds(abandonAfterStopMs);

    const QPointer<QColorimeterDlg> alive(this);
    SeriesResult result;
    // The whole series is one step: the canvas ends on its last image.
    runCanvasStep(stepRunner, tr("Reference series"), partAdjustedInPlace(), [&] {
        setSeriesRunning(true, report.total);
        std::atomic<bool> stop{false};
        std::optional<cv::Vec3d> shown;
        const CodeRounding rounding =
            request.options.precise ? CodeRounding::Nearest : CodeRounding::Truncate;
        try {
            result = runReferenceSeries(
                request, stop,
                [&](const SeriesProgress &progress) {
                    if (!alive)
                        return;
                    showProgress(progress.done, progress.file);
                    // The viewer shows the image last written, a few times a second.
                    if (progress.target && progress.target != shown) {
                        showSeriesImage(*progress.target, rounding);
                        shown = progress.target;
                    }
                    QCoreApplication::processEvents();
                    stop = !alive || stopFlag;
                },
                environment);
        } catch (const std::exception &error) { // out of memory or threads
            result = SeriesResult();
            result.refusal =
                tr("The series ended early: %1").arg(QString::fromLocal8Bit(error.what()));
        }
        if (alive && result.lastTarget && result.lastTarget != shown)
            showSeriesImage(*result.lastTarget, rounding);
    });
    // Closed while the series ran: nothing of the panel is left to report to.
    if (!alive)
        return;

    lastResult = result;
    report.processed = result.processed;
    report.written = result.written;
    report.failed = result.failed;
    report.firstFailedFile = result.firstFailedFile;
    report.firstFailure = result.firstFailure;
    report.stopped = result.stopped;
    stopFlag = false;
    report.unconfirmedFiles = result.notConfirmedFiles;
    report.diskFull = result.diskFull;
    report.diskFullCause = result.diskFullCause;
    report.folder = result.folder;
    setSeriesRunning(false, report.total);
    if (!result.refusal.isEmpty()) {
        report.message = result.refusal;
        statusLabel->setText(report.message);
        warn(report.message);
        return;
    }
    finishReport();
}

void QColorimeterDlg::showSeriesImage(const cv::Vec3d &target, CodeRounding rounding) {
    adjustingForSeries = true;
    if (const std::optional<CanvasChange> change = adjustCanvas(target, rounding))
        showChange(*change);
    adjustingForSeries = false;
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
    const QString folder = QDir::toNativeSeparators(report.folder);
    QString summary = report.stopped ? tr("Stopped after %1 of %2 images: %3 written to %4.")
                                           .arg(report.processed)
                                           .arg(report.total)
                                           .arg(report.written)
                                           .arg(folder)
                                     : tr("%1 of %2 images written to %3.")
                                           .arg(report.written)
                                           .arg(report.total)
                                           .arg(folder);
    if (!lastResult.points.empty())
        summary += QLatin1Char(' ') + tr("ΔE76 from their names: mean %1, maximum %2; %3 out of "
                                         "gamut.")
                                          .arg(lastResult.meanDeltaE76, 0, 'f', 2)
                                          .arg(lastResult.maxDeltaE76, 0, 'f', 2)
                                          .arg(lastResult.outOfGamut);
    if (!lastResult.manifestError.isEmpty())
        summary +=
            QLatin1Char(' ') + tr("The manifest is incomplete: %1").arg(lastResult.manifestError);
    reportButton->setVisible(!lastResult.points.empty());
    if (!report.unconfirmedFiles.isEmpty())
        summary += QLatin1Char(' ') + tr("%1 not confirmed: still being written when the series "
                                         "ended.")
                                          .arg(report.unconfirmedFiles.size());
    statusLabel->setText(summary);
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
