// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(resources);
    MainWindow window;
    window.show();
    return application.exec();
}
