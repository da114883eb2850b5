// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// "vexmira-batch <version>", the line --version prints.
QString batchVersionLine();
