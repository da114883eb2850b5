// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewersettings.h"

namespace {

const QString openFolderKey = QStringLiteral("folders/open");
const QString saveFolderKey = QStringLiteral("folders/save");
const QString recentFilesKey = QStringLiteral("recentFiles");
const QString geometryKey = QStringLiteral("window/geometry");
const QString stateKey = QStringLiteral("window/state");

} // namespace

ViewerSettings::ViewerSettings() : settings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")) {
}

QString ViewerSettings::text(const QString &key) const {
    const QVariant value = settings.value(key);
    return value.canConvert<QString>() ? value.toString() : QString();
}

QByteArray ViewerSettings::bytes(const QString &key) const {
    const QVariant value = settings.value(key);
    return value.canConvert<QByteArray>() ? value.toByteArray() : QByteArray();
}

QString ViewerSettings::openFolder() const {
    return text(openFolderKey);
}

void ViewerSettings::setOpenFolder(const QString &folder) {
    settings.setValue(openFolderKey, folder);
}

QString ViewerSettings::saveFolder() const {
    return text(saveFolderKey);
}

void ViewerSettings::setSaveFolder(const QString &folder) {
    settings.setValue(saveFolderKey, folder);
}

QStringList ViewerSettings::recentFiles() const {
    const QVariant value = settings.value(recentFilesKey);
    if (value.canConvert<QStringList>())
        return value.toStringList();
    return {};
}

void ViewerSettings::setRecentFiles(const QStringList &files) {
    settings.setValue(recentFilesKey, files);
}

QByteArray ViewerSettings::windowGeometry() const {
    return bytes(geometryKey);
}

QByteArray ViewerSettings::windowState() const {
    return bytes(stateKey);
}

void ViewerSettings::setWindowLayout(const QByteArray &geometry, const QByteArray &state) {
    settings.setValue(geometryKey, geometry);
    settings.setValue(stateKey, state);
}
