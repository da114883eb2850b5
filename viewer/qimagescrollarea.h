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
    // "Zoom to Fit": the whole picture in the view at its own aspect ratio, centred, kept so
    // while the view is resized. Checkable; the window puts it in its menus.
    QAction *zoomToFitAction() const { return zoomToFitAct; }
    // W: the warp and then the shading correction, as one step.
    QAction *warpAndShadingAction() const { return warpAndShadingAct; }

    QCVImage *imageCanvas() { return &canvas; }

    // Every command that changes the image (New, Open, the corrections, W) runs through it.
    void setStepRunner(CanvasStepRunner runner) { stepRunner = std::move(runner); }
    // Opens an image file as Open does, with its message on failure.
    bool openFile(const QString &fileName);
    // The folders the Open and Save dialogs start in; empty for the working directory.
    void setDialogFolders(const QString &openFolder, const QString &saveFolder);
    // The file the picture came from, whose name Save proposes; empty for none.
    void setPictureFile(const QString &path) { pictureFile = path; }
    // Save with its dialog; false when cancelled or not written (after the message).
    bool saveWithDialog();

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
    // The rectangle of `size` image pixels was written to `fileName`.
    void imageSaved(const QString &fileName, const QSize &size);

public slots:
    void warp();
    void shading();
    void warpAndShading();
    void newSlot();
    void openSlot();
    void saveSlot();
    // After the canvas's image was replaced from outside (undo, redo): sizes the canvas to it.
    void fitCanvasToPicture();

private slots:
    void print();
    void zoomIn();
    void zoomOut();
    void normalSize();
    void fitToWindow();
    void zoomToFit();
    void slotSliderH_ValueChanged(int min);
    void slotSliderV_ValueChanged(int min);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

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
    // Sizes the canvas to the largest picture of the same aspect ratio the view holds.
    void fitKeepingAspect();
    void leaveZoomToFit();
    void showScrollBarsWhileFitting(bool fitting);

    QCVImage canvas;
    QAction *printAct = nullptr;
    QAction *zoomInAct = nullptr;
    QAction *zoomOutAct = nullptr;
    QAction *normalSizeAct = nullptr;
    QAction *fitToWindowAct = nullptr;
    QAction *zoomToFitAct = nullptr;
    QAction *warpAndShadingAct = nullptr;
    QMenu *imageMenu = nullptr;
    QPrinter printer;
    bool imageCommandsEnabled = true;
    CanvasStepRunner stepRunner;
    QString openFolder;
    QString saveFolder;
    QString pictureFile;
    // Where the middle button last was while it pans the view.
    QPoint panOrigin;
};
