// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QAction;

struct ShortcutRow {
    QString command;
    // Every key of the command, in the platform's own words, separated by commas.
    QString keys;
};

// One row per action that has a shortcut, in the order given, each action once; the command is
// its text without mnemonic marks or a trailing ellipsis.
QList<ShortcutRow> shortcutRows(const QList<QAction *> &actions);

// Help > Keyboard Shortcuts: the rows in a read-only table.
class ShortcutsDialog : public QDialog {
    Q_OBJECT

public:
    explicit ShortcutsDialog(const QList<ShortcutRow> &rows, QWidget *parent = nullptr);
};
