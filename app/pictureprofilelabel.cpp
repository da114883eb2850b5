// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictureprofilelabel.h"

#include "labencoding.h"
#include "qcvimage.h"

PictureProfileLabel::PictureProfileLabel(QCVImage &canvasShown, QWidget *parent)
    : QLabel(parent), canvas(canvasShown) {
    setObjectName(QStringLiteral("pictureProfileLabel"));
    connect(&canvas, &QCVImage::pictureProfileChanged, this, &PictureProfileLabel::showProfile);
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, this,
            &PictureProfileLabel::showProfile);
    showProfile();
}

void PictureProfileLabel::showProfile() {
    const ColourProfilePtr &profile = canvas.pictureProfile();
    if (profile) {
        setText(profile->description().isEmpty() ? tr("Unnamed ICC profile")
                                                 : profile->description());
        setToolTip(tr("The picture's ICC profile"));
    } else if (currentLabEncoding() == LabEncoding::Icc) {
        setText(tr("sRGB (assumed)"));
        setToolTip(tr("The picture carries no ICC profile: its numbers are taken as sRGB"));
    } else {
        setText(QString());
        setToolTip(QString());
    }
}
