// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

// What the viewer remembers between runs, under organisation "Vexmira", application "Viewer".
// A missing or unreadable value reads as its default: empty.
class ViewerSettings {
public:
    ViewerSettings();

    QString openFolder() const;
    void setOpenFolder(const QString &folder);
    QString saveFolder() const;
    void setSaveFolder(const QString &folder);

    QStringList recentFiles() const;
    void setRecentFiles(const QStringList &files);

    QByteArray windowGeometry() const;
    QByteArray windowState() const;
    void setWindowLayout(const QByteArray &geometry, const QByteArray &state);

private:
    QString text(const QString &key) const;
    QByteArray bytes(const QString &key) const;

    QSettings settings;
};
