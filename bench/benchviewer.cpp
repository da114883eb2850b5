// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchviewer.h"

#include "measure.h"
#include "qimagescrollarea.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWindow>

std::unique_ptr<QImageScrollArea> shownViewer() {
    auto viewer = std::make_unique<QImageScrollArea>();
    viewer->resize(1280, 800);
    viewer->show();
    const QDeadlineTimer deadline(5000);
    while (!(viewer->windowHandle() && viewer->windowHandle()->isExposed())) {
        if (deadline.hasExpired())
            throw BenchFailure("the viewer window was never exposed");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return viewer;
}

void setCornersOnRect(QCVImage &canvas, const cv::Rect &rect) {
    canvas.corners[0] = rect.tl();
    canvas.corners[1] = cv::Point(rect.x, rect.br().y);
    canvas.corners[2] = rect.br();
    canvas.corners[3] = cv::Point(rect.br().x, rect.y);
}

void holdPicture(QCVImage &canvas, const cv::Mat &picture, const cv::Rect &rect) {
    for (cv::Mat &slot : canvas.sourceImages)
        slot.release();
    canvas.sourceCount = 0;
    if (!canvas.showNewImage(picture))
        throw BenchFailure("the canvas refused the photograph");
    setCornersOnRect(canvas, rect);
    canvas.setScale(1.0);
}
