// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturepaint.h"

#include "displaycolour.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <cmath>

void drawPicture(QPainter &painter, const QRect &exposed, const QRect &target,
                 const QPixmap &picture, bool smooth, const ColourProfilePtr &source,
                 QImage &buffer) {
    if (!source || exposed.isEmpty()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.drawPixmap(target, picture);
        return;
    }
    // In device pixels, so that a high-density screen keeps its resolution.
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QSize size(static_cast<int>(std::ceil(exposed.width() * ratio)),
                     static_cast<int>(std::ceil(exposed.height() * ratio)));
    if (buffer.size() != size || buffer.format() != QImage::Format_RGB32)
        buffer = QImage(size, QImage::Format_RGB32);
    buffer.setDevicePixelRatio(ratio);
    {
        QPainter scaled(&buffer);
        scaled.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        scaled.translate(-exposed.topLeft());
        scaled.drawPixmap(target, picture);
    }
    cv::Mat pixels(buffer.height(), buffer.width(), CV_8UC4, buffer.bits(),
                   static_cast<size_t>(buffer.bytesPerLine()));
    DisplayColour::instance().convert(pixels, source);
    painter.drawImage(exposed.topLeft(), buffer);
}
