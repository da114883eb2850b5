// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesrunner.h"

#include "seriesreportwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <chrono>

namespace {

// How long a stopped series waits for the files still being written before it leaves them to
// the writer: a write may hang for as long as its medium does.
constexpr std::chrono::milliseconds abandonAfterStop{500};

} // namespace

SeriesRunner::SeriesRunner(QWidget *parent)
    : QWidget(parent), progressBar(new QProgressBar), statusLabel(new QLabel),
      reportButton(new QPushButton(tr("Show Report"))) {
    progressBar->setFormat(tr("%v of %m"));
    progressBar->hide();
    // A long line wraps inside the panel's width instead of widening the window.
    statusLabel->setWordWrap(true);
    statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLabel->hide();
    reportButton->hide();
    reportButton->setToolTip(tr("Plot the last series' files: a histogram of their ΔE76 from "
                                "their names and their targets and measured values in the a*b* "
                                "plane."));
    reportButton->setStatusTip(reportButton->toolTip());
    auto *layout = new QVBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(progressBar);
    layout->addWidget(statusLabel);
    layout->addWidget(reportButton);
    setLayout(layout);
    connect(reportButton, &QPushButton::clicked, this, &SeriesRunner::showReportWindow);
}

void SeriesRunner::refuse(int total, const QString &reason) {
    lastReport = SeriesRunReport();
    lastReport.total = total;
    lastReport.message = reason;
    warn(reason);
}

bool SeriesRunner::confirm(const SeriesForecast &forecast) {
    if (!forecast.isLarge() || !messageBoxesShown)
        return true;
    QMessageBox question(
        QMessageBox::Question, tr("Reference Images"),
        tr("This series writes %1 to %2.").arg(forecast.sizeText(), forecast.folder),
        QMessageBox::Yes | QMessageBox::No, this);
    question.setInformativeText(tr("Write them?"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() == QMessageBox::Yes)
        return true;
    lastReport = SeriesRunReport();
    lastReport.total = forecast.files;
    return false;
}

std::optional<SeriesResult>
SeriesRunner::execute(const SeriesRequest &request,
                      const std::function<void(const cv::Vec3d &)> &showImage) {
    lastReport = SeriesRunReport();
    lastReport.total = request.plan.size();
    SeriesEnvironment environment;
    environment.stopGrace = abandonAfterStop;
    const QPointer<SeriesRunner> alive(this);
    setRunning(true, lastReport.total);
    std::atomic<bool> stopNow{false};
    std::optional<cv::Vec3d> shown;
    SeriesResult result;
    try {
        result = runReferenceSeries(
            request, stopNow,
            [&](const SeriesProgress &progress) {
                if (!alive)
                    return;
                progressBar->setValue(progress.done);
                if (!progress.file.isEmpty())
                    statusLabel->setText(tr("Writing %1").arg(progress.file));
                // The viewer shows the image last written, a few times a second.
                if (progress.target && progress.target != shown) {
                    showImage(*progress.target);
                    shown = progress.target;
                }
                QCoreApplication::processEvents();
                stopNow = !alive || stopRequested;
            },
            environment);
    } catch (const std::exception &error) { // out of memory or threads
        result = SeriesResult();
        result.refusal = tr("The series ended early: %1").arg(QString::fromLocal8Bit(error.what()));
    }
    if (!alive)
        return std::nullopt;
    if (result.lastTarget && result.lastTarget != shown)
        showImage(*result.lastTarget);
    return result;
}

void SeriesRunner::finish(const SeriesResult &result) {
    lastResult = result;
    SeriesRunReport &report = lastReport;
    report.processed = result.processed;
    report.written = result.written;
    report.failed = result.failed;
    report.firstFailedFile = result.firstFailedFile;
    report.firstFailure = result.firstFailure;
    report.stopped = result.stopped;
    report.unconfirmedFiles = result.notConfirmedFiles;
    report.diskFull = result.diskFull;
    report.diskFullCause = result.diskFullCause;
    report.folder = result.folder;
    setRunning(false, report.total);
    if (!result.refusal.isEmpty()) {
        report.message = result.refusal;
        statusLabel->setText(report.message);
        warn(report.message);
        return;
    }
    showSummary(result);
}

void SeriesRunner::showSummary(const SeriesResult &result) {
    SeriesRunReport &report = lastReport;
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
    if (!result.points.empty())
        summary += QLatin1Char(' ') + tr("ΔE76 from their names: mean %1, maximum %2; %3 out of "
                                         "gamut, %4 off target.")
                                          .arg(result.meanDeltaE76, 0, 'f', 2)
                                          .arg(result.maxDeltaE76, 0, 'f', 2)
                                          .arg(result.outOfGamut)
                                          .arg(result.offTarget);
    if (!result.manifestError.isEmpty())
        summary +=
            QLatin1Char(' ') + tr("The manifest is incomplete: %1").arg(result.manifestError);
    reportButton->setVisible(!result.points.empty());
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

void SeriesRunner::clearStatus() {
    if (!running)
        statusLabel->hide();
}

void SeriesRunner::setRunning(bool on, int total) {
    running = on;
    if (on) {
        // A request made while no series ran is not meant for this one.
        stopRequested = false;
        progressBar->setRange(0, total);
        progressBar->setValue(0);
        statusLabel->clear();
        statusLabel->show();
    } else {
        stopRequested = false;
    }
    progressBar->setVisible(on);
    emit runningChanged(on);
}

void SeriesRunner::showReportWindow() {
    if (!reportWindow)
        reportWindow = new SeriesReportWindow(this);
    reportWindow->showResult(lastResult);
    reportWindow->show();
    reportWindow->raise();
}

void SeriesRunner::warn(const QString &text) {
    if (messageBoxesShown)
        QMessageBox::warning(this, tr("Reference Images"), text);
}
