// SPDX-License-Identifier: GPL-3.0-or-later
#include "savename.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Beyond this a status bar line would hide the file's own name.
constexpr int longestShownPath = 60;

} // namespace

QString proposedSaveName(const QString &pictureFile, const QString &fallbackFolder) {
    if (pictureFile.isEmpty())
        return {};
    const QFileInfo picture(pictureFile);
    QString name = picture.completeBaseName() + QStringLiteral("-rect");
    if (!picture.suffix().isEmpty())
        name += QLatin1Char('.') + picture.suffix();
    const QFileInfo folder(picture.absolutePath());
    const bool writable = folder.isDir() && folder.isWritable();
    return QDir(writable ? folder.absoluteFilePath() : fallbackFolder).filePath(name);
}

QString shortenedPath(const QString &path) {
    const QString shown = QDir::toNativeSeparators(path);
    if (shown.size() <= longestShownPath)
        return shown;
    return QStringLiteral("…") + QDir::separator() + QFileInfo(path).fileName();
}
