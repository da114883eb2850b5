// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"

#include <QStringList>

// merge DIR: joins the shard manifests of each series in DIR into the series' manifest; refuses
// (exit code 2) when an image has no row or more than one.
ExitCode mergeManifests(const QString &folder, bool quiet);
int runMergeCommand(const QStringList &arguments);
