// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The name Save offers for the rectangle of the picture from `pictureFile`: its base name with
// "-rect" and its own extension, in its folder, or in `fallbackFolder` when that folder cannot
// be written. Empty without a picture file.
QString proposedSaveName(const QString &pictureFile, const QString &fallbackFolder);

// `path` for a one-line message: whole when short, otherwise its file name after "…/".
QString shortenedPath(const QString &path);
