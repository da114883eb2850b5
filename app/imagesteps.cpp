// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagesteps.h"

#include "qcvimage.h"

#include <algorithm>
#include <utility>

CanvasStep::CanvasStep(const QString &text, QCVImage &canvasToRestore)
    : QUndoCommand(text), canvas(canvasToRestore) {
}

void CanvasStep::undo() {
    if (!dropped)
        restore(false);
}

void CanvasStep::redo() {
    if (!done) {
        done = true;
        return;
    }
    if (!dropped)
        restore(true);
}

void CanvasStep::dropPixels() {
    releasePixels();
    dropped = true;
}

ReplacedImageStep::ReplacedImageStep(const QString &text, QCVImage &canvasToRestore,
                                     CanvasState beforeStep, CanvasState afterStep)
    : CanvasStep(text, canvasToRestore), before(std::move(beforeStep)),
      after(std::move(afterStep)) {
}

void ReplacedImageStep::collectBuffers(BufferBytes &buffers) const {
    addBuffers(buffers, before);
    addBuffers(buffers, after);
}

void ReplacedImageStep::restore(bool forward) {
    const CanvasState &state = forward ? after : before;
    restoreState(canvas, state);
    canvas.setPictureProfile(state.profile);
    canvas.showCurrentImage();
    emit canvas.cornersChanged();
}

void ReplacedImageStep::releasePixels() {
    before = CanvasState();
    after = CanvasState();
}

RecolouredRectStep::RecolouredRectStep(const QString &text, QCVImage &canvasToRestore,
                                       const cv::Mat &image, const cv::Rect &changedPart,
                                       cv::Mat beforeStep, cv::Mat afterStep)
    : CanvasStep(text, canvasToRestore), imageStart(image.datastart), part(changedPart),
      before(std::move(beforeStep)), after(std::move(afterStep)),
      corners(quadFromPoints(canvasToRestore.corners)),
      targetCorners(quadFromPoints(canvasToRestore.targetCorners)) {
}

void RecolouredRectStep::collectBuffers(BufferBytes &buffers) const {
    addBuffer(buffers, before);
    addBuffer(buffers, after);
}

void RecolouredRectStep::restore(bool forward) {
    cv::Mat &current = canvas.image(true, -1, false);
    const cv::Mat &pixels = forward ? after : before;
    // The history is linear, so the written buffer is current again whenever this step is
    // next; anything else means the store was changed behind the history's back.
    if (current.datastart != imageStart || !rectInside(part, current.size()) ||
        pixels.type() != current.type())
        return;
    pixels.copyTo(current(part));
    std::copy(corners.begin(), corners.end(), canvas.corners);
    std::copy(targetCorners.begin(), targetCorners.end(), canvas.targetCorners);
    canvas.showCurrentImage(part);
    // The corners may have moved since: the overlay is drawn again.
    canvas.update();
    emit canvas.cornersChanged();
}

void RecolouredRectStep::releasePixels() {
    before.release();
    after.release();
}
