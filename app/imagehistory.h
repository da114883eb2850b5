// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstate.h"
#include "canvasstep.h"

#include <QObject>
#include <QPointer>
#include <QUndoStack>

#include <cstddef>

class CanvasStep;
class QAction;
class QCVImage;

// The undo history of the canvas: a bounded record of steps beside the image store, which keeps
// its own rules. At most `stepLimit` steps; when the pixels the steps keep beyond the store's
// pass the byte limit, the oldest steps give theirs up and are no longer offered.
class ImageHistory : public QObject {
    Q_OBJECT

public:
    static constexpr int stepLimit = 20;
    static constexpr std::size_t defaultByteLimit = std::size_t{2} << 30;

    explicit ImageHistory(QCVImage &canvas, std::size_t byteLimit = defaultByteLimit,
                          QObject *parent = nullptr);

    // Records each change it runs as one step; changes that change nothing leave no step.
    CanvasStepRunner stepRunner();

    bool canUndo() const;
    bool canRedo() const;
    int stepCount() const { return stack.count(); }
    // The step `index` from the oldest, or null.
    const CanvasStep *step(int index) const;
    // Bytes of the pixel buffers the steps keep alive beyond the store's, each buffer once.
    std::size_t heldBytes() const;

    // The file the canvas's image was opened from, as undo and redo move through the steps.
    QString currentFile() const { return file; }
    // The canvas now shows the file `path`, opened by the step just recorded (or before any).
    void setCurrentFile(const QString &path);

    // Whether the picture differs from what was last opened, made or saved: undo back to that
    // point makes it unchanged again.
    bool isChanged() const { return !stack.isClean(); }
    void markUnchanged() { stack.setClean(); }

    // "&Undo" and "&Redo", enabled only when there is a step to offer.
    QAction *undoAction() const { return undoAct; }
    QAction *redoAction() const { return redoAct; }

public slots:
    bool undo();
    bool redo();
    // While a series runs nothing is undone or redone.
    void setLocked(bool locked);

signals:
    // The canvas's image was put back by an undo or a redo.
    void restored();
    // An undo or a redo went back to an image from another file.
    void currentFileChanged(const QString &path);

private:
    struct PendingStep {
        QString text;
        CanvasState before;
        cv::Rect part;
        cv::Mat partBefore;
        const uchar *imageStart = nullptr;
    };

    PendingStep begin(const QString &text, const cv::Rect &writtenInPlace);
    void finish(const PendingStep &pending);
    void push(CanvasStep *step);
    void keepWithinByteLimit();
    void updateActions();
    void moveToFile(const QString &path);

    QUndoStack stack;
    QPointer<QCVImage> canvas;
    std::size_t byteLimit;
    bool locked = false;
    bool recording = false;
    QString file;
    // The step recorded last, while nothing has been undone since.
    CanvasStep *lastPushed = nullptr;
    QAction *undoAct;
    QAction *redoAct;
};
