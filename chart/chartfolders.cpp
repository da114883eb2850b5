// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString chartFolderKey = QStringLiteral("folders/chart");

QString folderOf(const QString &file) {
    return file.isEmpty() ? QString() : QFileInfo(file).absolutePath();
}

} // namespace

QString rememberedChartFolder() {
    const QVariant value =
        QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).value(chartFolderKey);
    return value.canConvert<QString>() ? value.toString() : QString();
}

void rememberChartFolder(const QString &folder) {
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"))
        .setValue(chartFolderKey, QDir(folder).absolutePath());
}

QString chartDialogFolder(const QString &preferred, const QString &fallback) {
    for (const QString &folder : {preferred, fallback}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

QString referenceDialogFolder(const QString &pictureFile) {
    return chartDialogFolder(rememberedChartFolder(), folderOf(pictureFile));
}

QString exportDialogPath(const QString &pictureFile, const QString &suffix) {
    const QString folder = chartDialogFolder(folderOf(pictureFile), rememberedChartFolder());
    const QString name = pictureFile.isEmpty()
                             ? QStringLiteral("chart")
                             : QFileInfo(pictureFile).completeBaseName() + QStringLiteral("-chart");
    return QDir(folder).filePath(name + suffix);
}
