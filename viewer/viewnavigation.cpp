// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewnavigation.h"

#include <QScrollBar>

bool scrollForKey(int key, QScrollBar &horizontal, QScrollBar &vertical) {
    switch (key) {
    case Qt::Key_Left:
        horizontal.triggerAction(QAbstractSlider::SliderSingleStepSub);
        return true;
    case Qt::Key_Right:
        horizontal.triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return true;
    case Qt::Key_Up:
        vertical.triggerAction(QAbstractSlider::SliderSingleStepSub);
        return true;
    case Qt::Key_Down:
        vertical.triggerAction(QAbstractSlider::SliderSingleStepAdd);
        return true;
    case Qt::Key_PageUp:
        vertical.triggerAction(QAbstractSlider::SliderPageStepSub);
        return true;
    case Qt::Key_PageDown:
        vertical.triggerAction(QAbstractSlider::SliderPageStepAdd);
        return true;
    case Qt::Key_Home:
        horizontal.triggerAction(QAbstractSlider::SliderToMinimum);
        vertical.triggerAction(QAbstractSlider::SliderToMinimum);
        return true;
    case Qt::Key_End:
        horizontal.triggerAction(QAbstractSlider::SliderToMaximum);
        vertical.triggerAction(QAbstractSlider::SliderToMaximum);
        return true;
    default:
        return false;
    }
}

void panBy(const QPoint &movement, QScrollBar &horizontal, QScrollBar &vertical) {
    horizontal.setValue(horizontal.value() - movement.x());
    vertical.setValue(vertical.value() - movement.y());
}
