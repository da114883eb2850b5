// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QTemporaryDir>

// A fresh temporary folder as the working directory, which the program's "C:/" names lead to;
// the previous working directory comes back on destruction.
class TemporaryDriveRoot {
public:
    TemporaryDriveRoot() : previous(QDir::currentPath()) { QDir::setCurrent(folder.path()); }
    ~TemporaryDriveRoot() { QDir::setCurrent(previous); }
    TemporaryDriveRoot(const TemporaryDriveRoot &) = delete;
    TemporaryDriveRoot &operator=(const TemporaryDriveRoot &) = delete;

    bool isValid() const { return folder.isValid(); }
    QString path() const { return folder.path(); }
    QString filePath(const QString &name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
    QString previous;
};
