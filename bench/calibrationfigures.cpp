// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures.h"

#include "benchviewer.h"
#include "measure.h"
#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"

#include <QMetaObject>
#include <opencv2/core.hpp>

#include <array>
#include <memory>

namespace {

const cv::Size patch(1000, 1000);

// Calls the panel's slot as the "Set Mean Lab Value" button does.
void setLab(QColorimeterDlg &panel, const LabCodes &target) {
    QMetaObject::invokeMethod(&panel, "SetLab", Qt::DirectConnection, Q_ARG(int, target.l),
                              Q_ARG(int, target.a), Q_ARG(int, target.b));
}

// A panel attached to the viewer's canvas, bound to its image by a first adjustment.
void attach(QColorimeterDlg &panel, QImageScrollArea &viewer) {
    panel.setMessageBoxesShown(false);
    panel.SetCVImage(viewer.imageCanvas());
    setLab(panel, {120, 130, 125});
    if (panel.resultCount != 1)
        throw BenchFailure("SetLab did not bind the panel to the canvas's image");
}

// The 1000 x 1000 rectangle in the middle of the photograph.
cv::Rect patchRect(const cv::Mat &photo) {
    return {(photo.cols - patch.width) / 2, (photo.rows - patch.height) / 2, patch.width,
            patch.height};
}

// That rectangle, scrolled into view.
cv::Rect showPatchOf(QImageScrollArea &viewer, const cv::Mat &photo) {
    const cv::Rect rect = patchRect(photo);
    holdPicture(*viewer.imageCanvas(), photo, rect);
    viewer.ensureVisible(rect.x + rect.width / 2, rect.y + rect.height / 2,
                         viewer.viewport()->width() / 2, viewer.viewport()->height() / 2);
    return rect;
}

} // namespace

double setLab24MpVs1Mp(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding) {
    const EncodingChosen chosen(encoding);
    const cv::Rect rect = showPatchOf(viewer, photo);
    QColorimeterDlg large;
    attach(large, viewer);

    const auto smallViewer = shownViewer();
    holdPicture(*smallViewer->imageCanvas(), photo(rect).clone(), cv::Rect(cv::Point(), patch));
    QColorimeterDlg small;
    attach(small, *smallViewer);

    // Every call moves the means, as a user stepping through values does.
    const std::array<LabCodes, 3> targets{{{110, 135, 120}, {140, 120, 138}, {95, 128, 128}}};
    int largeCalls = 0;
    int smallCalls = 0;
    const Timed onLarge{[&] { setLab(large, targets[largeCalls++ % targets.size()]); }};
    const Timed onSmall{[&] { setLab(small, targets[smallCalls++ % targets.size()]); }};
    return medianRatio(onLarge, onSmall, 15);
}

double setLabVsLinear(QImageScrollArea &viewer, const cv::Mat &photo, LabEncoding encoding) {
    // A panel binds in the encoding chosen at its first adjustment, and binds afresh when the
    // choice has changed since; each side sets its own before its calls.
    const auto chosen = std::make_unique<EncodingChosen>(encoding);
    showPatchOf(viewer, photo);
    QColorimeterDlg other;
    attach(other, viewer);
    const auto linearViewer = shownViewer();
    LabEncodingChoice::instance().set(LabEncoding::Linear);
    showPatchOf(*linearViewer, photo);
    QColorimeterDlg linear;
    attach(linear, *linearViewer);

    const std::array<LabCodes, 3> targets{{{110, 135, 120}, {140, 120, 138}, {95, 128, 128}}};
    // Nine calls a side: one call's difference between the encodings is a fraction of a
    // millisecond, below the noise of timing it alone.
    const auto steadyCalls = [&targets](QColorimeterDlg &panel) {
        for (int pass = 0; pass < 3; ++pass)
            for (const LabCodes &target : targets)
                setLab(panel, target);
    };
    const Timed onOther{[&] { steadyCalls(other); },
                        [encoding] { LabEncodingChoice::instance().set(encoding); }};
    const Timed onLinear{[&] { steadyCalls(linear); },
                         [] { LabEncodingChoice::instance().set(LabEncoding::Linear); }};
    const double ratio = medianRatio(onOther, onLinear, 21);
    // Both panels ended on the same target: the same pixels would mean the same encoding.
    const cv::Rect rect = patchRect(photo);
    if (cv::norm(viewer.imageCanvas()->image(true, -1, false)(rect),
                 linearViewer->imageCanvas()->image(true, -1, false)(rect), cv::NORM_INF) == 0)
        throw BenchFailure("SetLab re-coloured the same way in both encodings");
    return ratio;
}
