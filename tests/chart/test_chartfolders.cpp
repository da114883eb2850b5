// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartfolders.h"

#include "qstringprinting.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

TEST(ChartFolders, DialogsStartBesideThePictureOrInTheLastChartFolder) {
    const QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    const QTemporaryDir pictures;
    const QTemporaryDir charts;
    const QString picture = pictures.filePath(QStringLiteral("DSC_1245.tif"));
    const QString gone = QDir::cleanPath(charts.path() + QStringLiteral("/gone"));
    const QString home = QDir::homePath();

    const struct {
        const char *what;
        QString remembered;
        QString picture;
        QString referenceFolder;
        QString exportPath;
    } cases[] = {
        {"first run", QString(), picture, pictures.path(),
         pictures.filePath(QStringLiteral("DSC_1245-chart.txt"))},
        {"chart folder used", charts.path(), picture, charts.path(),
         pictures.filePath(QStringLiteral("DSC_1245-chart.txt"))},
        {"no picture file", charts.path(), QString(), charts.path(),
         charts.filePath(QStringLiteral("chart.txt"))},
        {"picture's folder gone", charts.path(), gone + QStringLiteral("/a.png"), charts.path(),
         charts.filePath(QStringLiteral("a-chart.txt"))},
        {"nothing left", gone, QString(), home, QDir(home).filePath(QStringLiteral("chart.txt"))},
    };
    for (const auto &folders : cases) {
        SCOPED_TRACE(folders.what);
        QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
        if (!folders.remembered.isEmpty())
            rememberChartFolder(folders.remembered);
        EXPECT_EQ(referenceDialogFolder(folders.picture), folders.referenceFolder);
        EXPECT_EQ(exportDialogPath(folders.picture, QStringLiteral(".txt")), folders.exportPath);
    }
}
