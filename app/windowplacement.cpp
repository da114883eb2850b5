// SPDX-License-Identifier: GPL-3.0-or-later
#include "windowplacement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

qint64 overlapArea(const QRect &a, const QRect &b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

} // namespace

QRect placedOnScreens(const QRect &frame, const QList<QRect> &availableAreas) {
    if (availableAreas.isEmpty())
        return frame;
    const QRect *best = nullptr;
    qint64 bestArea = 0;
    for (const QRect &area : availableAreas) {
        const qint64 overlap = overlapArea(frame, area);
        if (overlap > bestArea) {
            best = &area;
            bestArea = overlap;
        }
    }
    const QRect screen = best ? *best : availableAreas.first();
    QRect placed(frame.topLeft(), frame.size().boundedTo(screen.size()));
    if (!best) {
        placed.moveCenter(screen.center());
        return placed;
    }
    placed.moveLeft(std::clamp(placed.left(), screen.left(), screen.right() - placed.width() + 1));
    placed.moveTop(std::clamp(placed.top(), screen.top(), screen.bottom() - placed.height() + 1));
    return placed;
}

void holdMinimumSize(QWidget &window) {
    QSize minimum = window.minimumSizeHint();
    if (const QScreen *screen = window.screen())
        minimum = minimum.boundedTo(screen->availableGeometry().size());
    // Otherwise the layout raises the window's minimum, and so its size, with its contents.
    if (window.layout())
        window.layout()->setSizeConstraint(QLayout::SetNoConstraint);
    window.setMinimumSize(minimum);
}

void keepWindowOnScreen(QWidget &window) {
    QList<QRect> areas;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        areas << primary->availableGeometry();
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            areas << screen->availableGeometry();
    // The frame adds the title bar and borders, which must fit too; before the window is
    // shown the frame is not known and counts as the geometry.
    const QRect frame = window.frameGeometry();
    const QRect inner = window.geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(),
                           frame.right() - inner.right(), frame.bottom() - inner.bottom());
    const QRect placed = placedOnScreens(frame, areas);
    if (placed == frame)
        return;
    const QRect placedInner = placed.marginsRemoved(margins);
    window.resize(placedInner.size().expandedTo(window.minimumSize()));
    window.move(placed.topLeft());
}
