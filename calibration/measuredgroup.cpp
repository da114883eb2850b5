// SPDX-License-Identifier: GPL-3.0-or-later
#include "measuredgroup.h"

#include "labencoding.h"
#include "qcvimage.h"
#include "quad.h"
#include "readouttext.h"

#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <exception>

namespace {

const QString noValue = QStringLiteral("–");

} // namespace

MeasuredGroup::MeasuredGroup(QWidget *parent)
    : QGroupBox(tr("Measured"), parent), throttle(new QTimer(this)) {
    throttle->setSingleShot(true);
    throttle->setInterval(refreshIntervalMs);
    connect(throttle, &QTimer::timeout, this, [this] {
        if (refreshPending)
            refresh();
    });

    auto *form = new QFormLayout;
    const QString names[3] = {tr("L*:"), tr("a*:"), tr("b*:")};
    for (int c = 0; c < 3; ++c) {
        values[c] = new QLabel(noValue);
        values[c]->setObjectName(QStringLiteral("measured%1").arg(c));
        values[c]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(names[c], values[c]);
    }
    pixels = new QLabel(noValue);
    pixels->setObjectName(QStringLiteral("measuredPixels"));
    form->addRow(tr("Pixels:"), pixels);
    copyButton = new QPushButton(tr("Copy"));
    copyButton->setStatusTip(tr("Copy the mean L*, a*, b*, their standard deviations and the "
                                "pixel count, separated by tabs"));
    copyButton->setToolTip(copyButton->statusTip());
    copyButton->setEnabled(false);
    form->addRow(copyButton);
    setLayout(form);
    setStatusTip(tr("Mean ± standard deviation over the rectangle that Set Mean Lab Value "
                    "re-colours"));
    setToolTip(statusTip());

    connect(copyButton, &QPushButton::clicked, this, &MeasuredGroup::copy);
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, this,
            &MeasuredGroup::requestRefresh);
}

void MeasuredGroup::setCanvas(QCVImage *newCanvas) {
    if (canvas)
        disconnect(canvas, nullptr, this, nullptr);
    canvas = newCanvas;
    if (canvas) {
        connect(canvas, &QCVImage::cornersChanged, this, &MeasuredGroup::requestRefresh);
        connect(canvas, &QCVImage::imageChanged, this, &MeasuredGroup::requestRefresh);
    }
    refresh();
}

void MeasuredGroup::requestRefresh() {
    if (throttle->isActive())
        refreshPending = true;
    else
        refresh();
}

void MeasuredGroup::refresh() {
    refreshPending = false;
    throttle->start();
    std::optional<LabStats> measured;
    if (canvas && !canvas->isCurrentImageEmpty()) {
        const cv::Rect rect = rectFromCorners013(quadFromPoints(canvas->cornerPoints(false)));
        try {
            measured = measureLab(canvas->image(true, -1, false), rect, currentLabSpace());
        } catch (const std::exception &) { // out of memory or threads: nothing to show
            measured.reset();
        }
    }
    show(measured);
}

void MeasuredGroup::show(const std::optional<LabStats> &measured) {
    stats = measured;
    for (int c = 0; c < 3; ++c) {
        values[c]->setText(stats ? QStringLiteral("%1 ± %2").arg(oneDecimal(stats->mean[c]),
                                                                 oneDecimal(stats->stdDev[c]))
                                 : noValue);
    }
    pixels->setText(stats ? QString::number(stats->count) : noValue);
    copyButton->setEnabled(stats.has_value());
}

void MeasuredGroup::copy() {
    if (stats)
        QApplication::clipboard()->setText(measurementLine(*stats));
}
