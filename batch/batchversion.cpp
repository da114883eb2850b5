// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchversion.h"

QString batchVersionLine() {
    return QStringLiteral("vexmira-batch " VEXMIRA_VERSION "\n");
}
