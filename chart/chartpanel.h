// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"
#include "charttablemodel.h"
#include "patchgrid.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class ChartPlots;
class ChartProfileTools;
class QCVImage;
class QLabel;
class QSpinBox;
class QTableView;

// The "Chart" dock's content: the grid's rows, columns and inset, the patch table with its
// summary, reference loading, export and the plots. While shown it measures the canvas's current
// image under its corners, following drags at most every 40 ms and always ending on the final
// corners, and draws the sample areas on the canvas.
class ChartPanel : public QWidget {
    Q_OBJECT

public:
    explicit ChartPanel(QCVImage *canvas, QWidget *parent = nullptr);

    GridLayout gridLayout() const;
    void setGridLayout(const GridLayout &layout);

    // Reads a reference (CSV for ".csv", CGATS otherwise) of as many patches as the grid.
    // On failure the message names the file and the line or field, and the table stays.
    // A reference that held only XYZ says so beside its name.
    bool loadReference(const QString &path);
    QString referenceText() const;
    // The loaded reference, one L*a*b* per patch; empty when none is loaded.
    const ChartReference &chartReference() const { return reference; }
    // The file the picture was opened from; empty for none.
    QString pictureFilePath() const { return pictureFile; }
    // CSV for ".csv", CGATS otherwise; false with the cause in message().
    bool exportMeasurement(const QString &path);

    // Measures now instead of at the next throttled update.
    void refresh();

    const ChartTableModel &tableModel() const { return model; }
    // Why nothing is measured, or the outcome of the last file command.
    QString message() const;
    QString summary() const;
    // The warning beside the summary that the reading cannot be trusted; empty when none.
    QString shadingWarning() const;
    ChartPlots *plots() const;
    // Find Chart, Make Profile and the fit.
    ChartProfileTools *profileTools() const { return tools; }

public slots:
    // The picture has had a shading correction since it was opened: it evens out the patches
    // themselves, so a reading against a reference is warned about.
    void setShadingCorrected(bool corrected);
    // The file the picture was opened from (empty for none); the chart file dialogs start
    // beside it.
    void setPictureFile(const QString &path);
    void chooseReference();
    void chooseExport();
    void showPlots();

signals:
    // The table holds a new reading.
    void measured();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void scheduleRefresh();
    void layoutChanged();
    // A message about measuring goes once measuring works again; file messages stay.
    void setMessage(const QString &text, bool isError, bool aboutMeasuring = false);
    void updateSummary();
    void updateShadingWarning();
    PatchGrid currentGrid() const;

    QPointer<QCVImage> canvas;
    ChartTableModel model;
    ChartReference reference;
    QString referenceName;
    QString pictureFile;
    bool shadingCorrected = false;
    QTimer throttle;
    QSpinBox *rowsBox = nullptr;
    QSpinBox *columnsBox = nullptr;
    QSpinBox *insetBox = nullptr;
    QLabel *referenceLabel = nullptr;
    QLabel *summaryLabel = nullptr;
    QLabel *shadingLabel = nullptr;
    QLabel *messageLabel = nullptr;
    QTableView *table = nullptr;
    QPointer<ChartPlots> plotsWindow;
    ChartProfileTools *tools = nullptr;
    bool messageAboutMeasuring = false;
    int worstPatch = -1;
};
