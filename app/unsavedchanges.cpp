// SPDX-License-Identifier: GPL-3.0-or-later
#include "unsavedchanges.h"

#include <QCoreApplication>
#include <QMessageBox>

bool mayDropChangedPicture(QWidget *parent, const std::function<bool()> &save) {
    QMessageBox question(
        QMessageBox::Warning, QCoreApplication::translate("UnsavedChanges", "Vexmira Viewer"),
        QCoreApplication::translate("UnsavedChanges", "The picture has changed since it was "
                                                      "opened or saved."),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    question.setInformativeText(QCoreApplication::translate(
        "UnsavedChanges", "Save writes the blue rectangle to a file first."));
    question.setDefaultButton(QMessageBox::Save);
    switch (question.exec()) {
    case QMessageBox::Save:
        return save();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}
