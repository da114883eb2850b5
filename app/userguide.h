// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// Help > User Guide: the README's sections on using the viewer, compiled into the program so
// they need no network and no installed documentation.
class UserGuideDialog : public QDialog {
    Q_OBJECT

public:
    explicit UserGuideDialog(QWidget *parent = nullptr);

    // The guide's Markdown from the resources; empty when they lack it.
    static QString guideText();
};
