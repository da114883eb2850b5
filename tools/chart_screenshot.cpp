// SPDX-License-Identifier: GPL-3.0-or-later
// Takes the README's picture of the "Chart" dock, run on an X server (xvfb-run):
// chart-screenshot <output.png>. The main window opens on the demo photograph in a temporary
// drive root, the corners are set on the chart's patches, the demo reference is loaded and the
// plots are opened beside it; then the screen is saved.

#include "chartpanel.h"
#include "chartplots.h"
#include "demophoto.h"
#include "demoreference.h"
#include "mainwindow.h"
#include "qcvimage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(resources);
    if (argc != 2) {
        std::fprintf(stderr, "usage: chart-screenshot <output.png>\n");
        return 2;
    }
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

    const QTemporaryDir root;
    const std::string photo = root.filePath(QString::fromLatin1(demoPhotoInDrive)).toStdString();
    std::string error;
    if (!root.isValid() || !writeDemoPhotoWithReference(photo, error) ||
        !QDir::setCurrent(root.path())) {
        std::fprintf(stderr, "chart-screenshot: %s\n", error.c_str());
        return 1;
    }

    MainWindow window;
    window.setGeometry(0, 0, 1280, 600);
    window.show();
    auto *canvas = window.findChild<QCVImage *>();
    auto *panel = window.findChild<ChartPanel *>();
    auto *dock = window.findChild<QDockWidget *>(QStringLiteral("chartDock"));
    if (!canvas || !panel || !dock) {
        std::fprintf(stderr, "chart-screenshot: no canvas or chart dock\n");
        return 1;
    }
    dock->raise();
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QLatin1String("&Fit to Window"))
            action->trigger();
    const Quad corners = renderDemoPhoto().patchGrid;
    std::copy(corners.begin(), corners.end(), canvas->corners);
    emit canvas->cornersChanged();
    if (!panel->loadReference(QString::fromStdString(demoReferencePath(photo)))) {
        std::fprintf(stderr, "chart-screenshot: %s\n", qPrintable(panel->message()));
        return 1;
    }
    panel->showPlots();

    QTimer::singleShot(1500, &window, [&] {
        panel->refresh();
        if (QWidget *plots = panel->plots())
            plots->setGeometry(140, 610, 1000, 400);
        QTimer::singleShot(1000, &window, [&] {
            const bool saved = window.screen()->grabWindow(0).save(output);
            application.exit(saved ? 0 : 1);
        });
    });
    return application.exec();
}
