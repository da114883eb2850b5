// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstep.h"

#include <QObject>
#include <QPointer>

class QAction;
class QCVImage;
class QWidget;

// "Assign Profile..." and "Remove Profile": give the current picture the ICC profile of a file,
// or take its profile away, each as one step that can be undone. Neither changes a pixel.
class PictureProfileCommands : public QObject {
    Q_OBJECT

public:
    PictureProfileCommands(QCVImage &canvas, CanvasStepRunner runner, QWidget *dialogParent);

    QAction *assignAction() const { return assignAct; }
    QAction *removeAction() const { return removeAct; }

    // Gives the picture the profile in `path`; the reason when it is refused (a file Little CMS
    // cannot open, or a profile that does not fit the picture), otherwise empty.
    QString assignFile(const QString &path);
    void removeProfile();

    // While a calibration series runs the picture keeps its profile.
    void setLocked(bool lockedNow);

    // The folder the dialog starts in; the last one chosen from then on.
    void setDialogFolder(const QString &folder) { dialogFolder = folder; }

private:
    void chooseAndAssign();
    void updateActions();

    QPointer<QCVImage> canvas;
    CanvasStepRunner stepRunner;
    QWidget *dialogParent;
    QString dialogFolder;
    bool locked = false;
    QAction *assignAct;
    QAction *removeAct;
};
