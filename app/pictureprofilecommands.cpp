// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictureprofilecommands.h"

#include "qcvimage.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

PictureProfileCommands::PictureProfileCommands(QCVImage &canvasToChange, CanvasStepRunner runner,
                                               QWidget *parent)
    : QObject(parent), canvas(&canvasToChange), stepRunner(std::move(runner)),
      dialogParent(parent) {
    assignAct = new QAction(tr("Assign Profile..."), this);
    assignAct->setStatusTip(tr("Say which ICC profile the picture's numbers are in; no pixel "
                               "changes"));
    connect(assignAct, &QAction::triggered, this, &PictureProfileCommands::chooseAndAssign);

    removeAct = new QAction(tr("Remove Profile"), this);
    removeAct->setStatusTip(tr("Take the picture's ICC profile away; no pixel changes"));
    connect(removeAct, &QAction::triggered, this, &PictureProfileCommands::removeProfile);

    connect(canvas, &QCVImage::pictureProfileChanged, this, &PictureProfileCommands::updateActions);
    connect(canvas, &QCVImage::imageChanged, this, &PictureProfileCommands::updateActions);
    updateActions();
}

QString PictureProfileCommands::assignFile(const QString &path) {
    if (locked)
        return tr("The picture keeps its profile while a series runs.");
    if (!canvas || canvas->isCurrentImageEmpty())
        return tr("There is no picture to give a profile.");
    QString error;
    ColourProfilePtr profile = ColourProfile::fromFile(path, &error);
    if (!profile)
        return error;
    const int channels = canvas->image(true, -1, false).channels();
    if (!profile->fits(channels))
        return profile->misfitMessage(channels);
    runCanvasStep(stepRunner, tr("Assign Profile"), cv::Rect(), [this, &profile] {
        canvas->setPictureProfile(profile);
        canvas->showCurrentImage();
    });
    return QString();
}

void PictureProfileCommands::removeProfile() {
    if (locked || !canvas || !canvas->pictureProfile())
        return;
    runCanvasStep(stepRunner, tr("Remove Profile"), cv::Rect(), [this] {
        canvas->setPictureProfile(nullptr);
        canvas->showCurrentImage();
    });
}

void PictureProfileCommands::chooseAndAssign() {
    const QString path =
        QFileDialog::getOpenFileName(dialogParent, tr("Assign Profile"), dialogFolder,
                                     tr("ICC profiles (*.icc *.icm *.ICC *.ICM)"));
    if (path.isEmpty())
        return;
    dialogFolder = QFileInfo(path).absolutePath();
    const QString refusal = assignFile(path);
    if (!refusal.isEmpty())
        QMessageBox::warning(
            dialogParent, tr("Assign Profile"),
            tr("%1 was not assigned.\n%2").arg(QFileInfo(path).fileName(), refusal));
}

void PictureProfileCommands::setLocked(bool lockedNow) {
    locked = lockedNow;
    updateActions();
}

void PictureProfileCommands::updateActions() {
    if (!canvas)
        return;
    assignAct->setEnabled(!locked && !canvas->isCurrentImageEmpty());
    removeAct->setEnabled(!locked && canvas->pictureProfile() != nullptr);
}
