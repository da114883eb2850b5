// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "seriesforecast.h"
#include "seriesrun.h"

#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class SeriesReportWindow;

// How the last series ended, as the panel told it.
struct SeriesRunReport {
    // Images in the series, and those re-coloured and handed to the writer before it ended.
    int total = 0;
    int processed = 0;
    int written = 0;
    int failed = 0;
    // The failure first in series order: the file's path and why it was not written.
    QString firstFailedFile;
    QString firstFailure;
    bool stopped = false;
    // Files handed to the writer and still being written when the series ended; they are
    // finished or given up in the background.
    QStringList unconfirmedFiles;
    // A write found no space left on the disk (or reached the file size limit), and the series
    // stopped there; why, in words for the user.
    bool diskFull = false;
    QString diskFullCause;
    // The folder the files go to.
    QString folder;
    // What the user was told at the end (or instead of starting); empty when nothing.
    QString message;
};

// Runs the panel's reference series: asks before a large one, shows its progress (the window
// stays responsive, events are processed between progress reports, so "Stop" is heard), and
// tells how it ended: a line that wraps inside the panel, a message box when files failed, and
// "Show Report".
class SeriesRunner : public QWidget {
    Q_OBJECT

public:
    explicit SeriesRunner(QWidget *parent = nullptr);

    bool isRunning() const { return running; }
    const SeriesRunReport &report() const { return lastReport; }
    // Questions and warnings are shown in message boxes unless turned off: then a large series
    // starts without asking, and the report keeps the warnings.
    void setMessageBoxesShown(bool shown) { messageBoxesShown = shown; }

    // Tells why a series of `total` images did not start.
    void refuse(int total, const QString &reason);
    // Whether the user wants the series: asks when it is large. False, with a fresh report,
    // when the answer is no: nothing is written.
    bool confirm(const SeriesForecast &forecast);
    // Runs the series; `showImage` shows the codes of the file last written on the canvas a few
    // times a second. Nothing when the panel was closed while it ran: then nothing of it may be
    // touched. Call finish() with the result once the canvas step has ended.
    std::optional<SeriesResult> execute(const SeriesRequest &request,
                                        const std::function<void(const cv::Vec3d &)> &showImage);
    void finish(const SeriesResult &result);
    // Hides the line of a finished series: it belongs to the picture it left.
    void clearStatus();

public slots:
    void stop() { stopRequested = true; }

signals:
    void runningChanged(bool running);

private:
    void setRunning(bool on, int total);
    void showSummary(const SeriesResult &result);
    void showReportWindow();
    void warn(const QString &text);

    QProgressBar *progressBar;
    QLabel *statusLabel;
    QPushButton *reportButton;
    SeriesReportWindow *reportWindow = nullptr;
    SeriesRunReport lastReport;
    SeriesResult lastResult;
    bool running = false;
    bool stopRequested = false;
    bool messageBoxesShown = true;
};
