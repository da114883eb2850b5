// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagehistory.h"

#include "imagesteps.h"
#include "qcvimage.h"

#include <QAction>
#include <opencv2/core.hpp>

namespace {

CanvasState captureCanvas(const QCVImage &canvas) {
    CanvasState state = captureState(canvas);
    state.profile = canvas.pictureProfile();
    return state;
}

bool samePixels(const cv::Mat &a, const cv::Mat &b) {
    return a.size == b.size && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

} // namespace

ImageHistory::ImageHistory(QCVImage &canvasToRecord, std::size_t limit, QObject *parent)
    : QObject(parent), canvas(&canvasToRecord), byteLimit(limit) {
    stack.setUndoLimit(stepLimit);

    undoAct = new QAction(QIcon(QStringLiteral(":/images/undo_32.png")), tr("&Undo"), this);
    undoAct->setShortcuts(QKeySequence::Undo);
    undoAct->setStatusTip(tr("Undo the last change of the image"));
    connect(undoAct, &QAction::triggered, this, &ImageHistory::undo);

    redoAct = new QAction(QIcon(QStringLiteral(":/images/redo_32.png")), tr("&Redo"), this);
    redoAct->setShortcuts(QKeySequence::Redo);
    redoAct->setStatusTip(tr("Redo the change last undone"));
    connect(redoAct, &QAction::triggered, this, &ImageHistory::redo);

    updateActions();
}

CanvasStepRunner ImageHistory::stepRunner() {
    return [history = QPointer<ImageHistory>(this)](const QString &text,
                                                    const cv::Rect &writtenInPlace,
                                                    const std::function<void()> &change) {
        // A change inside another is part of that one's step.
        if (!history || history->recording) {
            change();
            return;
        }
        const PendingStep pending = history->begin(text, writtenInPlace);
        try {
            change();
        } catch (...) {
            // Whatever it did before failing can be undone.
            if (history)
                history->finish(pending);
            throw;
        }
        if (history)
            history->finish(pending);
    };
}

ImageHistory::PendingStep ImageHistory::begin(const QString &text, const cv::Rect &writtenInPlace) {
    recording = true;
    PendingStep pending;
    if (!canvas)
        return pending;
    pending.text = text;
    pending.before = captureCanvas(*canvas);
    const cv::Mat &current = canvas->image(true, -1, false);
    if (!writtenInPlace.empty() && rectInside(writtenInPlace, current.size())) {
        pending.part = writtenInPlace;
        pending.partBefore = current(writtenInPlace).clone();
        pending.imageStart = current.datastart;
    }
    return pending;
}

void ImageHistory::finish(const PendingStep &pending) {
    recording = false;
    if (!canvas)
        return;
    CanvasState after = captureCanvas(*canvas);
    if (!sameState(pending.before, after)) {
        push(new ReplacedImageStep(pending.text, *canvas, pending.before, std::move(after)));
        return;
    }
    if (pending.partBefore.empty())
        return;
    const cv::Mat &current = canvas->image(true, -1, false);
    if (current.datastart != pending.imageStart || !rectInside(pending.part, current.size()))
        return;
    const cv::Mat partAfter = current(pending.part);
    if (samePixels(pending.partBefore, partAfter))
        return;
    push(new RecolouredRectStep(pending.text, *canvas, current, pending.part, pending.partBefore,
                                partAfter.clone()));
}

void ImageHistory::push(CanvasStep *step) {
    step->fileBefore = file;
    step->fileAfter = file;
    stack.push(step);
    lastPushed = step;
    keepWithinByteLimit();
    updateActions();
}

void ImageHistory::keepWithinByteLimit() {
    for (int index = 0; index < stack.count() && heldBytes() > byteLimit; ++index) {
        auto *oldest = static_cast<CanvasStep *>(const_cast<QUndoCommand *>(stack.command(index)));
        if (!oldest->pixelsDropped())
            oldest->dropPixels();
    }
}

const CanvasStep *ImageHistory::step(int index) const {
    return static_cast<const CanvasStep *>(stack.command(index));
}

std::size_t ImageHistory::heldBytes() const {
    BufferBytes buffers;
    for (int index = 0; index < stack.count(); ++index)
        step(index)->collectBuffers(buffers);
    // The store's own images cost the history nothing. Undo and redo only move buffers between
    // the store and the steps, so the sum of both stays what it was at the last push.
    if (canvas)
        for (const cv::Mat &image : canvas->sourceImages)
            if (!image.empty())
                buffers.erase(image.datastart);
    return totalBytes(buffers);
}

bool ImageHistory::canUndo() const {
    const CanvasStep *last = step(stack.index() - 1);
    return !locked && !recording && last && !last->pixelsDropped();
}

bool ImageHistory::canRedo() const {
    const CanvasStep *next = step(stack.index());
    return !locked && !recording && next && !next->pixelsDropped();
}

bool ImageHistory::undo() {
    if (!canUndo() || !canvas)
        return false;
    stack.undo();
    lastPushed = nullptr;
    updateActions();
    emit restored();
    moveToFile(static_cast<const CanvasStep *>(stack.command(stack.index()))->fileBefore);
    return true;
}

bool ImageHistory::redo() {
    if (!canRedo() || !canvas)
        return false;
    stack.redo();
    lastPushed = nullptr;
    updateActions();
    emit restored();
    moveToFile(static_cast<const CanvasStep *>(stack.command(stack.index() - 1))->fileAfter);
    return true;
}

void ImageHistory::setCurrentFile(const QString &path) {
    file = path;
    if (lastPushed)
        lastPushed->fileAfter = path;
}

void ImageHistory::moveToFile(const QString &path) {
    if (path == file)
        return;
    file = path;
    emit currentFileChanged(path);
}

void ImageHistory::setLocked(bool lockedNow) {
    locked = lockedNow;
    updateActions();
}

void ImageHistory::updateActions() {
    undoAct->setEnabled(canUndo());
    redoAct->setEnabled(canRedo());
    undoAct->setToolTip(canUndo() ? tr("Undo %1").arg(stack.undoText()) : tr("Undo"));
    redoAct->setToolTip(canRedo() ? tr("Redo %1").arg(stack.redoText()) : tr("Redo"));
}
