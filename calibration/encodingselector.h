// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"

#include <QWidget>

class QComboBox;

// "Pictures are:" with "Linear light", "sRGB" and "Colour-managed (ICC)": shows and sets the
// encoding every Lab step reads. The user's choice is kept in the settings (key "colour/encoding")
// across runs.
class EncodingSelector : public QWidget {
    Q_OBJECT

public:
    static const QString settingsKey;

    // Sets the process's encoding to the one kept, or to linear light when none is kept or it is
    // not understood. Called once at start-up.
    static void restoreKeptEncoding();

    explicit EncodingSelector(QWidget *parent = nullptr);

    QComboBox *comboBox() const { return combo; }

private:
    void showEncoding(LabEncoding encoding);

    QComboBox *combo;
};
