// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagereadout.h"

#include "labencoding.h"
#include "labmeasurement.h"
#include "qimagescrollarea.h"
#include "readouttext.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

#include <cmath>

namespace {

const QString noValue = QStringLiteral("–");

QLabel *field(QHBoxLayout *layout, const QString &name) {
    auto *label = new QLabel;
    label->setObjectName(name);
    layout->addWidget(label);
    return label;
}

} // namespace

ImageReadout::ImageReadout(QImageScrollArea *scrollArea, QWidget *parent)
    : QWidget(parent), viewer(scrollArea) {
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    position = field(layout, QStringLiteral("readoutPosition"));
    values = field(layout, QStringLiteral("readoutValues"));
    lab = field(layout, QStringLiteral("readoutLab"));
    zoom = field(layout, QStringLiteral("readoutZoom"));
    format = field(layout, QStringLiteral("readoutFormat"));
    setLayout(layout);

    QCVImage *canvas = viewer->imageCanvas();
    connect(canvas, &QCVImage::hoveredPixelChanged, this, &ImageReadout::hover);
    connect(canvas, &QCVImage::hoverLeft, this, &ImageReadout::leave);
    connect(canvas, &QCVImage::imageChanged, this, &ImageReadout::refreshImage);
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, this,
            &ImageReadout::refreshPixel);
    // The zoom shows in the canvas's size.
    canvas->installEventFilter(this);
    refreshImage();
}

QString ImageReadout::positionText() const {
    return position->text();
}

QString ImageReadout::valuesText() const {
    return values->text();
}

QString ImageReadout::labText() const {
    return lab->text();
}

QString ImageReadout::zoomText() const {
    return zoom->text();
}

QString ImageReadout::formatText() const {
    return format->text();
}

bool ImageReadout::eventFilter(QObject *watched, QEvent *event) {
    if (watched == viewer->imageCanvas() && event->type() == QEvent::Resize)
        refreshImage();
    return QWidget::eventFilter(watched, event);
}

void ImageReadout::hover(const QPoint &pixel) {
    hovered = pixel;
    refreshPixel();
}

void ImageReadout::leave() {
    hovered.reset();
    refreshPixel();
}

void ImageReadout::refreshPixel() {
    const cv::Mat &image = viewer->imageCanvas()->image(true, -1, false);
    const cv::Point point = hovered ? cv::Point(hovered->x(), hovered->y()) : cv::Point(-1, -1);
    if (!hovered || !cv::Rect(0, 0, image.cols, image.rows).contains(point)) {
        position->clear();
        values->clear();
        lab->clear();
        return;
    }
    position->setText(QStringLiteral("%1, %2").arg(point.x).arg(point.y));
    values->setText(pixelValuesText(image, point));
    const std::optional<cv::Vec3d> pixel = pixelLab(image, point, currentLabSpace());
    lab->setText(pixel ? ::labText(*pixel) : QStringLiteral("L* %1 a* %1 b* %1").arg(noValue));
}

void ImageReadout::refreshImage() {
    QCVImage *canvas = viewer->imageCanvas();
    const cv::Mat &image = canvas->image(true, -1, false);
    format->setText(imageFormatText(image));
    if (image.empty())
        zoom->clear();
    else if (viewer->widgetResizable())
        zoom->setText(tr("Fit"));
    else
        zoom->setText(QStringLiteral("%1%").arg(std::lround(canvas->scaleFactor * 100.0)));
    refreshPixel();
}
