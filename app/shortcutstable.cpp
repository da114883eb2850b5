// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcutstable.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString commandName(const QAction &action) {
    QString text = action.text();
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text;
}

} // namespace

QList<ShortcutRow> shortcutRows(const QList<QAction *> &actions) {
    QList<ShortcutRow> rows;
    QList<const QAction *> seen;
    for (const QAction *action : actions) {
        if (action->shortcuts().isEmpty() || seen.contains(action))
            continue;
        seen << action;
        QStringList keys;
        for (const QKeySequence &key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        rows.append({commandName(*action), keys.join(QStringLiteral(", "))});
    }
    return rows;
}

ShortcutsDialog::ShortcutsDialog(const QList<ShortcutRow> &rows, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(tr("Keyboard Shortcuts"));
    auto *table = new QTableWidget(static_cast<int>(rows.size()), 2, this);
    table->setHorizontalHeaderLabels({tr("Command"), tr("Keys")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    for (int row = 0; row < rows.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(rows[row].command));
        table->setItem(row, 1, new QTableWidgetItem(rows[row].keys));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(420, 480);
}
