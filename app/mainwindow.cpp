// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolBar>

MainWindow::MainWindow() {
    imageArea = new QImageScrollArea;
    setCentralWidget(imageArea);

    createActions();
    createMenus();
    createToolBars();
    createDockWindows();

    setWindowTitle(tr("Vexmira Viewer"));
    resize(800, 800);
}

void MainWindow::createActions() {
    newAct = new QAction(QIcon(QStringLiteral(":/images/new.png")), tr("&New image"), this);
    newAct->setShortcuts(QKeySequence::New);
    newAct->setStatusTip(tr("Create a new empty image"));
    connect(newAct, SIGNAL(triggered()), imageArea, SLOT(newSlot()));

    openAct = new QAction(QIcon(QStringLiteral(":/images/open.png")), tr("&Open..."), this);
    openAct->setShortcuts(QKeySequence::Open);
    openAct->setStatusTip(tr("Open an image"));
    connect(openAct, SIGNAL(triggered()), imageArea, SLOT(openSlot()));

    saveAct = new QAction(QIcon(QStringLiteral(":/images/save.png")), tr("&Save..."), this);
    saveAct->setShortcuts(QKeySequence::Save);
    saveAct->setStatusTip(tr("Save the current image"));
    connect(saveAct, SIGNAL(triggered()), imageArea, SLOT(saveSlot()));

    warpAct = new QAction(QIcon(QStringLiteral(":/images/roi.png")), tr("Warp..."), this);
    warpAct->setStatusTip(tr("Warp the current image"));
    connect(warpAct, SIGNAL(triggered()), imageArea, SLOT(warp()));

    shadingAct = new QAction(QIcon(QStringLiteral(":/images/shading.png")),
                             tr("Shading Correction..."), this);
    shadingAct->setStatusTip(tr("Correct spatial drift on the current image"));
    connect(shadingAct, SIGNAL(triggered()), imageArea, SLOT(shading()));

    quitAct = new QAction(tr("&Quit"), this);
    quitAct->setShortcuts(QKeySequence::Quit);
    quitAct->setStatusTip(tr("Quit the application"));
    connect(quitAct, SIGNAL(triggered()), this, SLOT(close()));

    aboutAct = new QAction(tr("&About"), this);
    aboutAct->setStatusTip(tr("Show the application's About box"));
    connect(aboutAct, SIGNAL(triggered()), this, SLOT(about()));
}

void MainWindow::createMenus() {
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(newAct);
    fileMenu->addAction(openAct);
    fileMenu->addAction(saveAct);
    fileMenu->addSeparator();
    fileMenu->addAction(quitAct);

    imageMenu = imageArea->createImageMenu();
    menuBar()->addMenu(imageMenu);

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(aboutAct);
}

void MainWindow::createToolBars() {
    fileToolBar = addToolBar(tr("File"));
    fileToolBar->addAction(newAct);
    fileToolBar->addAction(openAct);
    fileToolBar->addAction(saveAct);

    calibrationToolBar = addToolBar(tr("Calibration"));
    calibrationToolBar->addAction(warpAct);
    calibrationToolBar->addAction(shadingAct);
}

void MainWindow::createDockWindows() {
    parametersDock = new QDockWidget(tr("Parameters"), this);
    parametersDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    auto *panel = new QColorimeterDlg;
    panel->SetCVImage(imageArea->imageCanvas());
    parametersDock->setWidget(panel);
    addDockWidget(Qt::RightDockWidgetArea, parametersDock);

    connect(panel, &QColorimeterDlg::seriesRunningChanged, this, &MainWindow::lockImageCommands);
}

void MainWindow::lockImageCommands(bool locked) {
    for (QAction *action : {newAct, openAct, warpAct, shadingAct})
        action->setEnabled(!locked);
    imageArea->setImageCommandsEnabled(!locked);
    if (!locked && closeAfterSeries)
        close();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // The series runs inside a slot below us on the stack: stop it, and close once it has
    // returned.
    auto *panel = qobject_cast<QColorimeterDlg *>(parametersDock->widget());
    if (panel && panel->isSeriesRunning()) {
        closeAfterSeries = true;
        QMetaObject::invokeMethod(panel, "Stop");
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::about() {
    QMessageBox::about(this, tr("About Vexmira Viewer"),
                       tr("The <b>Vexmira Viewer</b> example demonstrates how to use "
                          "QImageScrollArea and QPArametersDialog."));
}
