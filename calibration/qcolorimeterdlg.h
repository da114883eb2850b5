// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstep.h"
#include "cvprocessing.h"
#include "meanlabadjustment.h"
#include "referenceseries.h"
#include "seriesrun.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

class EncodingSelector;
class MeasuredGroup;
class QCVImage;
class QLabel;
class QProgressBar;
class QPushButton;
class SeriesOptionsWidget;
class SeriesReportWindow;
class QSpinBox;

// The colour calibration panel: an L*a*b* entry and the commands that re-colour the canvas's
// rectangle to that mean value and write the series of reference images. Its own store holds
// the working pair: the source it is bound to (sourceImages) and the work image (resultImages),
// which is also the canvas's current image.
//
// The slots run to completion when called; a series keeps the window responsive by processing
// events between its images, so a click on "Stop" ends it. Tests and benchmarks run a series
// with QMetaObject::invokeMethod(panel, "CreateLabImgs") after setLabValues().
class QColorimeterDlg : public QDialog, public CVProcessing {
    Q_OBJECT

public:
    // How the last series ended.
    struct SeriesReport {
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
        // A write found no space left on the disk (or reached the file size limit), and the
        // series stopped there; why, in words for the user.
        bool diskFull = false;
        QString diskFullCause;
        // The folder the files go to.
        QString folder;
        // What the user was told at the end (or instead of starting); empty when nothing.
        QString message;
    };

    QColorimeterDlg();
    ~QColorimeterDlg() override;

    void SetCVImage(QCVImage *image);

    // Fills the L*, a* and b* entries as the user would.
    void setLabValues(int l, int a, int b);

    // Set Mean Lab Value and each series run through it as one step.
    void setStepRunner(CanvasStepRunner runner) { stepRunner = std::move(runner); }
    // The canvas's image was put back from elsewhere (undo, redo): the next adjustment binds to
    // it afresh instead of writing into the work image.
    void rebindAtNextAdjustment() { adjustment = MeanLabAdjustment(); }

    bool isSeriesRunning() const { return seriesRunning; }
    const SeriesReport &lastSeriesReport() const { return report; }
    // Warnings are shown in message boxes unless turned off; the report keeps them either way.
    void setMessageBoxesShown(bool shown) { messageBoxesShown = shown; }

signals:
    // A series started or ended: while it runs, nothing else may change the canvas's image.
    void seriesRunningChanged(bool running);
    // "Set Mean Lab Value" did nothing, for this reason.
    void commandRefused(const QString &reason);

protected:
    // Escape would hide the panel inside its dock with no way to bring it back.
    void reject() override;

private slots:
    void SetMeanLab();
    void SetLab(int nL, int nA, int nB);
    void CreateLabImgs();
    void CreateDeltaImgs();
    void Stop();

private:
    // What an adjustment changed on the canvas: its whole current image after a binding,
    // otherwise one part of it.
    struct CanvasChange {
        bool whole = false;
        cv::Rect part;
        void add(const CanvasChange &other);
        bool isEmpty() const { return !whole && part.empty(); }
    };

    // Re-colours the canvas's rectangle, binding afresh to the canvas's current image first when
    // that is not the work image. Nothing when refused; then nothing has changed.
    std::optional<CanvasChange> adjustCanvas(const LabCodes &target);
    std::optional<CanvasChange> adjustCanvas(const cv::Vec3d &target, CodeRounding rounding);
    void showChange(const CanvasChange &change);
    bool currentImageIsWorkImage() const;
    // The part of the canvas's image that the next adjustment writes into in place: the
    // previous rectangle and the current one; empty when it binds afresh.
    cv::Rect partAdjustedInPlace() const;
    // Why no series can start on the canvas as it is; empty when one can.
    QString seriesObstacle() const;
    // Why the canvas's rectangle could not be re-coloured.
    QString adjustmentObstacle() const;
    void runSeries(const SeriesPlan &plan);
    // Re-colours the canvas as the series' file with these codes was.
    void showSeriesImage(const cv::Vec3d &target, CodeRounding rounding);
    void imageChanged();
    void scheduleForecast();
    // The line that says what the next grid and delta series would write.
    void updateForecast();
    void showSeriesReport();
    void setSeriesRunning(bool running, int total);
    void showProgress(int done, const QString &fileName);
    void finishReport();
    void warn(const QString &text);

    QSpinBox *spinL;
    QSpinBox *spinA;
    QSpinBox *spinB;
    QCVImage *cvImage = nullptr;
    bool stopFlag = false;

    MeanLabAdjustment adjustment;
    QList<QWidget *> lockedDuringSeries;
    QProgressBar *progressBar;
    QLabel *statusLabel;
    EncodingSelector *encodingSelector;
    MeasuredGroup *measuredGroup;
    bool seriesRunning = false;
    bool messageBoxesShown = true;
    SeriesReport report;
    SeriesResult lastResult;
    SeriesOptionsWidget *seriesOptions;
    QPushButton *reportButton;
    QLabel *forecastLabel;
    QTimer forecastTimer;
    SeriesReportWindow *reportWindow = nullptr;
    // The series shows its images on the canvas: not a change by another command.
    bool adjustingForSeries = false;
    CanvasStepRunner stepRunner;
};
