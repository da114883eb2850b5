// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstate.h"

#include <QUndoCommand>

class QCVImage;

// A change of the canvas that has already happened, as a step of the undo history. A subclass
// holds just what puts the canvas back on either side of the change, without recomputing it,
// and can give up its pixels when the history runs out of room; the step is then inert.
class CanvasStep : public QUndoCommand {
public:
    CanvasStep(const QString &text, QCVImage &canvas);

    void undo() final;
    // Pushed onto the stack after the change: the first call has nothing to do.
    void redo() final;

    // The pixel buffers the step keeps alive, including those it shares with the store.
    virtual void collectBuffers(BufferBytes &buffers) const = 0;
    void dropPixels();
    bool pixelsDropped() const { return dropped; }

    // The file the canvas's image came from before and after the step (empty: none).
    QString fileBefore;
    QString fileAfter;

protected:
    // Puts the canvas as it was after the change (forward) or before it, and shows it.
    virtual void restore(bool forward) = 0;
    virtual void releasePixels() = 0;

    QCVImage &canvas;

private:
    bool done = false;
    bool dropped = false;
};

// A step that left other images in the store (open, new, the corrections, the panel's first
// binding) or gave the picture another profile: both lists of image headers, the corners and
// the profile.
class ReplacedImageStep : public CanvasStep {
public:
    ReplacedImageStep(const QString &text, QCVImage &canvas, CanvasState before, CanvasState after);
    void collectBuffers(BufferBytes &buffers) const override;

protected:
    void restore(bool forward) override;
    void releasePixels() override;

private:
    CanvasState before;
    CanvasState after;
};

// A step that re-coloured part of the current image in its own buffer: that part's pixels on
// either side, and the corners.
class RecolouredRectStep : public CanvasStep {
public:
    // `image` is the buffer that was written; only its address is kept, to check that it is
    // still the current image when the step is undone or redone.
    RecolouredRectStep(const QString &text, QCVImage &canvas, const cv::Mat &image,
                       const cv::Rect &part, cv::Mat before, cv::Mat after);
    void collectBuffers(BufferBytes &buffers) const override;

protected:
    void restore(bool forward) override;
    void releasePixels() override;

private:
    const uchar *imageStart;
    cv::Rect part;
    cv::Mat before;
    cv::Mat after;
    Quad corners;
    Quad targetCorners;
};
