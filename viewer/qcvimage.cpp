// SPDX-License-Identifier: GPL-3.0-or-later
#include "qcvimage.h"

#include "canvasgeometry.h"
#include "displaycolour.h"
#include "embeddedprofile.h"
#include "imagefiles.h"
#include "labspace.h"
#include "matconversion.h"
#include "picturefile.h"
#include "picturepaint.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

namespace {

// The picture of a matrix in the form a pixmap takes without another pass: the ARGB32
// conversions are opaque, so they are relabelled as RGB32, the raster pixmap's own format.
QImage opaquePicture(const cv::Mat &mat) {
    QImage picture = qImageFromMat(mat);
    if (picture.format() == QImage::Format_ARGB32)
        picture.reinterpretAsFormat(QImage::Format_RGB32);
    return picture;
}

bool sameMatrix(const cv::Mat &a, const cv::Mat &b) {
    return !a.empty() && a.data == b.data && a.size == b.size && a.type() == b.type() &&
           a.step[0] == b.step[0];
}

void setCorners(CVProcessing &store, const Quad &quad) {
    std::copy(quad.begin(), quad.end(), store.cornerPoints(false));
}

} // namespace

QCVImage::QCVImage() {
    setAttribute(Qt::WA_MouseTracking);
}

QCVImage::~QCVImage() = default;

void QCVImage::showCurrentImage() {
    const cv::Mat &current = image(true, -1, false);
    shownFrom =
        DisplayColour::instance().sourceProfile(profile, currentLabEncoding(), current.channels());
    QImage view = qImageViewOfMat(current);
    if (!view.isNull()) {
        // Kept in the matrix's own format, so the pixmap shares its pixels instead of
        // converting all of them.
        shownPixmap = QPixmap::fromImage(std::move(view), Qt::NoFormatConversion);
        const bool shared = shownPixmap.toImage().constBits() == current.data;
        viewedImage = shared ? current : cv::Mat();
    } else {
        QImage picture = opaquePicture(current);
        shownPixmap = picture.isNull() ? QPixmap() : QPixmap::fromImage(std::move(picture));
        viewedImage.release();
    }
    setPixmap(shownPixmap);
    repaint();
    emit imageChanged();
}

void QCVImage::showCurrentImage(const cv::Rect &changed) {
    const cv::Mat &current = image(true, -1, false);
    if (!sameMatrix(current, viewedImage)) {
        showCurrentImage();
        return;
    }
    const cv::Rect part = changed & cv::Rect(0, 0, current.cols, current.rows);
    if (part.empty())
        return;
    emit imageChanged();
    // The widget pixels showing the part, with a pixel of margin for smoothed scaling.
    const QPointF scale = displayScale();
    const int left = static_cast<int>(std::floor(part.x * scale.x()));
    const int top = static_cast<int>(std::floor(part.y * scale.y()));
    const int right = static_cast<int>(std::ceil(part.br().x * scale.x()));
    const int bottom = static_cast<int>(std::ceil(part.br().y * scale.y()));
    repaint(QRect(left - 1, top - 1, right - left + 2, bottom - top + 2));
}

bool QCVImage::loadImage(const QString &fileName) {
    loadError.clear();
    PictureFile file = readPictureFile(fileName, &loadError);
    if (file.pixels.empty())
        return false;
    profileProblem = file.profileProblem;
    ColourProfilePtr fileProfile;
    if (!file.icc.empty()) {
        const QByteArray bytes(reinterpret_cast<const char *>(file.icc.data()),
                               static_cast<qsizetype>(file.icc.size()));
        QString refusal;
        fileProfile = ColourProfile::fromBytes(bytes, &refusal);
        if (!fileProfile)
            profileProblem = tr("The picture's ICC profile is left out. %1").arg(refusal);
    }
    const ColourProfilePtr previous = profile;
    setPictureProfile(fileProfile);
    if (showNewImage(file.pixels))
        return true;
    setPictureProfile(previous);
    return false;
}

void QCVImage::setPictureProfile(ColourProfilePtr newProfile) {
    if (newProfile == profile)
        return;
    profile = std::move(newProfile);
    PictureProfileChoice::instance().set(profile);
    emit pictureProfileChanged(profile);
}

bool QCVImage::showNewImage(const cv::Mat &newImage) {
    if (!pushImage(newImage, true))
        return false;
    setCorners(*this, innerQuarterCorners(newImage.size()));
    showCurrentImage();
    emit cornersChanged();
    return true;
}

bool QCVImage::saveImage(const QString &fileName) {
    saveError.clear();
    std::vector<unsigned char> icc;
    if (currentLabEncoding() == LabEncoding::Icc) {
        // A picture without a profile is sRGB; formats without room for one are written as
        // they always were, which other programs read as sRGB too.
        const ColourProfilePtr written =
            profile ? profile : (formatCarriesProfile(fileName) ? ColourProfile::srgb() : nullptr);
        if (written)
            icc.assign(written->bytes().begin(), written->bytes().end());
    }
    return writeImageRectWithProfile(image(true, -1, false), savedRect(), fileName, icc,
                                     &saveError);
}

cv::Rect QCVImage::savedRect() const {
    return rectFromCorners02(quadFromPoints(corners));
}

void QCVImage::scaleBy(double factor) {
    setScale(scaleFactor * factor);
}

void QCVImage::setScale(double factor) {
    scaleFactor = factor;
    resize(shownPixmap.size() * scaleFactor);
}

QPointF QCVImage::displayScale() const {
    if (shownPixmap.isNull() || width() <= 0 || height() <= 0)
        return {scaleFactor, scaleFactor};
    return {static_cast<double>(width()) / shownPixmap.width(),
            static_cast<double>(height()) / shownPixmap.height()};
}

void QCVImage::trackMouse(int x, int y, Qt::MouseButtons buttons) {
    const QPointF scale = displayScale();
    const cv::Point pixel = widgetToImage(QPoint(x, y), scale);
    if (buttons == Qt::NoButton) {
        dragHandle = noHandle;
        hoverHandle = hitTest(quadFromPoints(corners), pixel, hoverTolerance(scale));
        setCursor(cursorForHandle(hoverHandle));
        return;
    }
    // Without an image there is nothing to clamp against: the corners stay where they are.
    const cv::Mat &current = image(true, -1, false);
    if (current.empty())
        return;
    if (dragHandle == noHandle) {
        dragHandle = hoverHandle;
        lastX = pixel.x;
        lastY = pixel.y;
        return;
    }
    const Quad quad = quadFromPoints(corners);
    if (dragHandle == wholeQuadHandle) {
        setCorners(*this, moveQuad(quad, cv::Point(lastX, lastY), pixel, current.size()));
        lastX = pixel.x;
        lastY = pixel.y;
    } else {
        setCorners(*this, dragCorner(quad, dragHandle, pixel, current.size()));
    }
    repaint();
    emit cornersChanged();
}

void QCVImage::mouseMoveEvent(QMouseEvent *event) {
    // The middle button pans the view around the canvas; the corners stay.
    if (event->buttons() & Qt::MiddleButton) {
        event->ignore();
        return;
    }
    const QPoint position = event->position().toPoint();
    trackMouse(position.x(), position.y(), event->buttons());
    const cv::Point pixel = widgetToImage(position, displayScale());
    const cv::Mat &current = image(true, -1, false);
    if (position.x() >= 0 && position.y() >= 0 &&
        cv::Rect(0, 0, current.cols, current.rows).contains(pixel))
        emit hoveredPixelChanged(QPoint(pixel.x, pixel.y));
    else
        emit hoverLeft();
}

void QCVImage::leaveEvent(QEvent *event) {
    QLabel::leaveEvent(event);
    emit hoverLeft();
}

void QCVImage::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    const QPointF scale = displayScale();
    if (!shownPixmap.isNull()) {
        // Drawn here, stretched to the canvas, instead of by QLabel, which rescales the whole
        // picture after every change: this costs only the area being painted.
        drawPicture(painter, event->rect() & rect(), rect(), shownPixmap,
                    scale.x() < 1.0 || scale.y() < 1.0, shownFrom, paintBuffer);
    }
    for (const OverlayPainter &overlayPainter : overlayPainters) {
        painter.save();
        overlayPainter(painter, scale);
        painter.restore();
    }
    // Last, so that rectangles lying along its sides never hide the quadrilateral.
    painter.setPen(
        QPen(QBrush(QColor(169, 1, 219, 255)), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const Overlay overlay = overlayGeometry(quadFromPoints(corners), scale);
    for (int i = 0; i < 4; ++i) {
        painter.drawRect(overlay.marks[i]);
        painter.drawLine(overlay.sides[i]);
    }
}

void QCVImage::addOverlayPainter(OverlayPainter overlayPainter) {
    overlayPainters.push_back(std::move(overlayPainter));
    update();
}
