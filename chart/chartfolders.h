// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the Chart dock's file dialogs start. The folder last used for a chart file is kept
// under organisation "Vexmira", application "Viewer"; a missing or unreadable value reads as
// empty.
QString rememberedChartFolder();
void rememberChartFolder(const QString &folder);

// The first of `preferred` and `fallback` that is an existing folder, else the home folder.
QString chartDialogFolder(const QString &preferred, const QString &fallback);

// References are usually kept together, so their dialog starts where the last chart file was;
// before any, in the folder of the picture `pictureFile` (empty when it has no file).
QString referenceDialogFolder(const QString &pictureFile);

// A measurement belongs with its picture: the picture's folder and name with "-chart" and
// `suffix`; without a picture file, "chart" and `suffix` in the last chart folder.
QString exportDialogPath(const QString &pictureFile, const QString &suffix);
