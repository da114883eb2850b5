// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturepaint.h"

#include "displaycolour.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cmath>

void drawPicture(QPainter &painter, const QRect &exposed, const QRect &target,
                 const QPixmap &picture, bool smooth, const ColourProfilePtr &source) {
    if (!source || exposed.isEmpty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.drawPixmap(target, picture);
        return;
    }
    // In device pixels, so that a high-density screen keeps its resolution.
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QSize size(static_cast<int>(std::ceil(exposed.width() * ratio)),
                     static_cast<int>(std::ceil(exposed.height() * ratio)));
    // Kept from paint to paint: a fresh buffer of a view's size costs its page faults each time.
    static QImage shown;
    if (shown.size() != size)
        shown = QImage(size, QImage::Format_RGB32);
    shown.setDevicePixelRatio(ratio);
    {
        QPainter scaled(&shown);
        scaled.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        scaled.translate(-exposed.topLeft());
        scaled.drawPixmap(target, picture);
    }
    cv::Mat pixels(shown.height(), shown.width(), CV_8UC4, shown.bits(),
                   static_cast<size_t>(shown.bytesPerLine()));
    DisplayColour::instance().convert(pixels, source);
    painter.drawImage(exposed.topLeft(), shown);
}
