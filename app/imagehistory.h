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

    QUndoStack stack;
    QPointer<QCVImage> canvas;
    std::size_t byteLimit;
    bool locked = false;
    bool recording = false;
    QAction *undoAct;
    QAction *redoAct;
};
