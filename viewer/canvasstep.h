// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <opencv2/core/types.hpp>

#include <functional>

// Runs `change`, a command that may change the canvas's image or corners, as one step that can
// be undone. `writtenInPlace` is the part of the current image the command may overwrite in its
// own buffer (empty when it only makes new images). Without a runner the change simply runs.
using CanvasStepRunner = std::function<void(const QString &text, const cv::Rect &writtenInPlace,
                                            const std::function<void()> &change)>;

// The runner is taken by copy: the change may destroy the object that holds it.
inline void runCanvasStep(CanvasStepRunner runner, const QString &text,
                          const cv::Rect &writtenInPlace, const std::function<void()> &change) {
    if (runner)
        runner(text, writtenInPlace, change);
    else
        change();
}
