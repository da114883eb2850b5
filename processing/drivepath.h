// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Fixed names of the program begin with the drive prefix "C:/". It leads to the drive root, which
// is the process's working directory at the moment the name is used; other names are returned
// unchanged.
QString resolveDrivePath(const QString &name);
