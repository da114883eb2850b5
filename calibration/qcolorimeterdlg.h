// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstep.h"
#include "cvprocessing.h"
#include "meanlabadjustment.h"
#include "referenceseries.h"
#include "seriesrun.h"
#include "seriesrunner.h"

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
class QPushButton;
class SeriesOptionsWidget;
class SeriesRunner;
class QSpinBox;

// The colour calibration panel: an L*a*b* entry and the commands that re-colour the canvas's
// rectangle to that mean value and write the series of reference images. Its own store holds
// the working pair: the source it is bound to (sourceImages) and the work image (resultImages),
// which is also the canvas's current image. Its groups scroll inside it, so that it never makes
// the window taller or wider than the screen.
//
// The slots run to completion when called; a series keeps the window responsive by processing
// events between its images, so a click on "Stop" ends it. Tests and benchmarks run a series
// with QMetaObject::invokeMethod(panel, "CreateLabImgs") after setLabValues().
class QColorimeterDlg : public QDialog, public CVProcessing {
    Q_OBJECT

public:
    using SeriesReport = SeriesRunReport;

    QColorimeterDlg();
    ~QColorimeterDlg() override;

    void SetCVImage(QCVImage *image);

    // Fills the L*, a* and b* entries as the user would.
    void setLabValues(int l, int a, int b);

    // Set Mean Lab Value and each series run through it as one step.
    void setStepRunner(CanvasStepRunner step) { stepRunner = std::move(step); }
    // The canvas's image was put back from elsewhere (undo, redo): the next adjustment binds to
    // it afresh instead of writing into the work image.
    void rebindAtNextAdjustment() { adjustment = MeanLabAdjustment(); }

    bool isSeriesRunning() const;
    const SeriesReport &lastSeriesReport() const;
    // Questions and warnings are shown in message boxes unless turned off; the report keeps the
    // warnings either way, and a large series then starts without asking.
    void setMessageBoxesShown(bool shown);

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

    QWidget *makeMeanLabGroup();
    void addTips();
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
    SeriesRequest seriesRequest(const SeriesPlan &plan) const;
    void runSeries(const SeriesPlan &plan);
    // Re-colours the canvas as the series' file with these codes was.
    void showSeriesImage(const cv::Vec3d &target, CodeRounding rounding);
    void lockForSeries(bool running);
    void imageChanged();
    void scheduleForecast();
    // The line that says what the next grid and delta series would write, and the buttons' tips.
    void updateForecast();

    QSpinBox *spinL;
    QSpinBox *spinA;
    QSpinBox *spinB;
    QPushButton *setButton;
    QPushButton *deltaButton;
    QPushButton *gridButton;
    QPushButton *stopButton;
    QCVImage *cvImage = nullptr;

    MeanLabAdjustment adjustment;
    QList<QWidget *> lockedDuringSeries;
    EncodingSelector *encodingSelector;
    MeasuredGroup *measuredGroup;
    SeriesOptionsWidget *seriesOptions;
    SeriesRunner *runner;
    QLabel *forecastLabel;
    QTimer forecastTimer;
    // The series shows its images on the canvas: not a change by another command.
    bool adjustingForSeries = false;
    CanvasStepRunner stepRunner;
};
