// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vexmira-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(VEXMIRA_VERSION));
    const QString file = fileFromCommandLine(QApplication::arguments());
    Q_INIT_RESOURCE(resources);
    MainWindow window(file.isEmpty());
    window.show();
    // After show, so that a load message has its window.
    if (!file.isEmpty())
        window.openFile(file);
    return application.exec();
}
