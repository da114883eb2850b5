// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstep.h"
#include "qcvimage.h"

#include <QPrinter>
#include <QScrollArea>

#include <functional>

class QAction;
class QMenu;
class QScrollBar;

// The central viewer: shows the canvas in a scroll area and carries the commands on it (open,
// save, print, zoom, fit to window, the corrections).
class QImageScrollArea : public QScrollArea {
    Q_OBJECT

public:
    // Without the start-up photograph the viewer starts empty, for a file named elsewhere.
    explicit QImageScrollArea(bool loadStartupImage = true);

    // The start-up photograph's name, with the drive prefix.
    static QString startupImagePath();

    // Builds the "&Image" menu, owned by the viewer. Called once.
    QMenu *createImageMenu();

    QCVImage *imageCanvas() { return &canvas; }

    // Every command that changes the image (New, Open, the corrections, W) runs through it.
    void setStepRunner(CanvasStepRunner runner) { stepRunner = std::move(runner); }
    // Opens an image file as Open does, with its message on failure.
    bool openFile(const QString &fileName);
    // The folders the Open and Save dialogs start in; empty for the working directory.
    void setDialogFolders(const QString &openFolder, const QString &saveFolder);

    // While a calibration series writes its images, nothing else may change the image: New,
    // Open, the corrections and corner dragging are refused until this is enabled again.
    void setImageCommandsEnabled(bool enabled);

    // Paints the shown picture, without the overlay, as large as fits the printable area.
    void printPicture(QPrinter &target);

    // The patterns of the Open and Save dialogs.
    static QString imageFileFilter();

signals:
    void signalMousePress(int nX, int nY);
    void imageOpened(const QString &fileName);
    // File > New replaced the image by a blank one, from no file.
    void blankImageMade();
    void imageSaved(const QString &fileName);

public slots:
    void warp();
    void shading();
    // After the canvas's image was replaced from outside (undo, redo): sizes the canvas to it.
    void fitCanvasToPicture();

private slots:
    void newSlot();
    void openSlot();
    void saveSlot();
    void print();
    void zoomIn();
    void zoomOut();
    void normalSize();
    void fitToWindow();
    void slotSliderH_ValueChanged(int min);
    void slotSliderV_ValueChanged(int min);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void createActions();
    // A view action, disabled until the first updateActions().
    QAction *createViewAction(const QString &text, const QString &shortcut, const char *slot);
    void updateActions();
    void scaleImage(double factor);
    void zoomKeepingCentre(double factor, const std::function<void()> &resize);
    void adjustScrollBar(QScrollBar *scrollBar, int value, double factor);
    // The zoom factor back to 1.0 for a new picture.
    void resetZoom();
    // Back to 100 %, keeping the point at the centre of the view in place.
    void showAtNaturalSize();

    QCVImage canvas;
    QAction *printAct = nullptr;
    QAction *zoomInAct = nullptr;
    QAction *zoomOutAct = nullptr;
    QAction *normalSizeAct = nullptr;
    QAction *fitToWindowAct = nullptr;
    QMenu *imageMenu = nullptr;
    QPrinter printer;
    bool imageCommandsEnabled = true;
    CanvasStepRunner stepRunner;
    QString openFolder;
    QString saveFolder;
    // Where the middle button last was while it pans the view.
    QPoint panOrigin;
};
