// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMenu>
#include <QStringList>

// The list with `file` first and no other copy of it, cut to the `recentFileLimit` newest.
constexpr int recentFileLimit = 10;
QStringList withRecentFile(QStringList files, const QString &file);

// "Open &Recent": one entry per file, most recent first; choosing one emits fileChosen.
class RecentFilesMenu : public QMenu {
    Q_OBJECT

public:
    explicit RecentFilesMenu(QWidget *parent = nullptr);

    QStringList files() const { return recent; }
    void setFiles(const QStringList &files);

signals:
    void fileChosen(const QString &file);

private:
    QStringList recent;
};
