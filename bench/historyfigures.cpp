// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "benchviewer.h"
#include "imagehistory.h"
#include "measure.h"
#include "qimagescrollarea.h"

double undoWarpVsShow(QImageScrollArea &viewer, const cv::Mat &photo) {
    QCVImage &canvas = *viewer.imageCanvas();
    holdPicture(canvas, photo, cv::Rect(900, 700, 4000, 2800));
    ImageHistory history(canvas);
    history.stepRunner()(QStringLiteral("Warp"), cv::Rect(), [&] { canvas.warpCurrentImage(); });
    const auto showsPhoto = [&] { return canvas.image(true, -1, false).data == photo.data; };
    if (history.stepCount() != 1 || showsPhoto())
        throw BenchFailure("the warp left no step to undo");

    const Timed undo{[&] {
                         if (!history.undo() || !showsPhoto())
                             throw BenchFailure("undo did not bring the photograph back");
                     },
                     [&] { history.redo(); }};
    const Timed show{[&] { canvas.showCurrentImage(); },
                     [&] {
                         if (!showsPhoto())
                             history.undo();
                     }};
    return medianRatio(undo, show, 11);
}
