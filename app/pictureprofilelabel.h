// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "colourprofile.h"

#include <QLabel>

class QCVImage;

// The status bar's name of the picture's profile: its description; "sRGB (assumed)" for a
// picture without one in the ICC mode, where its numbers are taken as sRGB; nothing otherwise.
class PictureProfileLabel : public QLabel {
    Q_OBJECT

public:
    explicit PictureProfileLabel(QCVImage &canvas, QWidget *parent = nullptr);

private:
    void showProfile();

    QCVImage &canvas;
};
