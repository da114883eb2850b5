// SPDX-License-Identifier: GPL-3.0-or-later
#include "recentfiles.h"

#include <QDir>
#include <QFileInfo>

QStringList withRecentFile(QStringList files, const QString &file) {
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > recentFileLimit)
        files.removeLast();
    return files;
}

RecentFilesMenu::RecentFilesMenu(QWidget *parent) : QMenu(tr("Open &Recent"), parent) {
    setFiles({});
}

void RecentFilesMenu::setFiles(const QStringList &files) {
    recent = files.mid(0, recentFileLimit);
    clear();
    for (int i = 0; i < recent.size(); ++i) {
        const QString &file = recent[i];
        // Keys 1 to 9 and 0 for the ten entries; && keeps a file name's & visible.
        QString label = QFileInfo(file).fileName();
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *entry = addAction(QStringLiteral("&%1 %2").arg((i + 1) % 10).arg(label));
        entry->setData(file);
        entry->setStatusTip(QDir::toNativeSeparators(file));
        connect(entry, &QAction::triggered, this, [this, file] { emit fileChosen(file); });
    }
    setEnabled(!recent.isEmpty());
}
