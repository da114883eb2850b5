// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// One CSV field: as it is, or in double quotes (inner quotes doubled) when it holds a comma, a
// quote or a line break.
QString csvField(const QString &text);
// The fields of one CSV line, quotes undone.
QStringList splitCsvLine(const QString &line);
