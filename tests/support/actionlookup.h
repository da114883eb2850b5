// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QWidget>

// The action with this text among the widget's children, or null.
inline QAction *actionNamed(QWidget &owner, const QString &text) {
    for (QAction *action : owner.findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}
