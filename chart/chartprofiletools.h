// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cameraprofile.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class ChartPanel;
class QCVImage;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The Chart dock's part that finds the chart on the picture and fits a camera profile to it:
// "Find Chart" places the grid and its corners on the chart; "Make Profile..." fits a profile
// from the reading under the corners and the loaded reference, writes it and shows the fit
// per patch; "Assign to Picture" hands the written profile on. The widget holds the buttons and
// messages; its tone chooser and fit table are for the owner to place.
class ChartProfileTools : public QWidget {
    Q_OBJECT

public:
    ChartProfileTools(ChartPanel &panel, QCVImage *canvas, QWidget *parent = nullptr);

    // Finds a chart on the current picture and sets the rows, columns and corners to it; with
    // a reference, its orientation is the one that reads closest to it in the current mode.
    // False, with the corners left alone, when none is found.
    bool findChart();
    // Fits a profile with the chosen tone curve and writes it to `path`; false, with the
    // reason in message() and any old file left as it was, when it cannot.
    bool makeProfile(const QString &path);

    ToneCurve toneCurve() const;
    void setToneCurve(ToneCurve tone);
    // The outcome of the last command.
    QString message() const;
    // The fit's mean and maximum ΔE2000 before and after; empty before a fit.
    QString fitSummary() const;
    QTableWidget *fitTable() const { return table; }
    QComboBox *toneChooser() const { return toneBox; }
    // The profile written by the last fit; empty when there is none.
    QString profilePath() const { return writtenProfile; }

public slots:
    void chooseProfileFile();
    // Emits profileAssigned with the written profile.
    void assignToPicture();

signals:
    // What a command did, for the status bar.
    void reported(const QString &text);
    void profileAssigned(const QString &path);
    // The fit table holds a new fit.
    void fitShown();

private:
    void report(const QString &text, bool isError);
    void showFit(const CameraProfileFit &fit);
    QString chartName() const;

    ChartPanel &panel;
    QPointer<QCVImage> canvas;
    QString foundChartName;
    QString writtenProfile;
    QComboBox *toneBox = nullptr;
    QPushButton *assignButton = nullptr;
    QLabel *messageLabel = nullptr;
    QLabel *summaryLabel = nullptr;
    QTableWidget *table = nullptr;
};
