// SPDX-License-Identifier: GPL-3.0-or-later
#include "drivepath.h"

#include <QDir>

QString resolveDrivePath(const QString &name) {
    static const QString drivePrefix = QStringLiteral("C:/");
    if (!name.startsWith(drivePrefix))
        return name;
    // Read at every call: the drive root follows the working directory.
    return QDir::current().filePath(name.mid(drivePrefix.size()));
}
