// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "chartdock.h"
#include "chartpanel.h"
#include "commandrectsoverlay.h"
#include "encodingselector.h"
#include "filedrop.h"
#include "imagehistory.h"
#include "imagereadout.h"
#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"
#include "recentfiles.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>

MainWindow::MainWindow(bool loadStartupImage) {
    imageArea = new QImageScrollArea(loadStartupImage);
    setCentralWidget(imageArea);
    fileNameLabel = new QLabel;
    fileNameLabel->setObjectName(QStringLiteral("fileNameLabel"));
    statusBar()->addWidget(fileNameLabel);

    createHistory();
    if (!imageArea->imageCanvas()->isCurrentImageEmpty()) {
        const QString startup = QFileInfo(QImageScrollArea::startupImagePath()).absoluteFilePath();
        history->setCurrentFile(startup);
        showFileName(startup);
    }
    createActions();
    createMenus();
    createToolBars();
    createDockWindows();
    createViewMenu();
    createStatusBar();

    setWindowTitle(tr("Vexmira Viewer"));
    resize(800, 800);
    restoreRemembered();

    setAcceptDrops(true);
    auto *drops = new FileDropFilter(this);
    installEventFilter(drops);
    connect(drops, &FileDropFilter::fileDropped, this, &MainWindow::openFile);
    connect(imageArea, &QImageScrollArea::imageOpened, this, &MainWindow::rememberOpenedFile);
    connect(imageArea, &QImageScrollArea::blankImageMade, this, [this] {
        history->setCurrentFile(QString());
        showFileName(QString());
    });
    connect(imageArea, &QImageScrollArea::imageSaved, this, [this](const QString &fileName) {
        settings.setSaveFolder(QFileInfo(fileName).absolutePath());
    });
}

void MainWindow::createHistory() {
    history = new ImageHistory(*imageArea->imageCanvas(), ImageHistory::defaultByteLimit, this);
    imageArea->setStepRunner(history->stepRunner());
    connect(history, &ImageHistory::restored, imageArea, &QImageScrollArea::fitCanvasToPicture);
    connect(history, &ImageHistory::currentFileChanged, this, &MainWindow::showFileName);
}

void MainWindow::restoreRemembered() {
    // Unreadable geometry or state leaves the first-run layout as it is.
    restoreGeometry(settings.windowGeometry());
    restoreState(settings.windowState());
    imageArea->setDialogFolders(settings.openFolder(), settings.saveFolder());
    recentMenu->setFiles(settings.recentFiles());
}

bool MainWindow::openFile(const QString &fileName) {
    return imageArea->openFile(fileName);
}

void MainWindow::rememberOpenedFile(const QString &fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    history->setCurrentFile(path);
    showFileName(path);
    settings.setOpenFolder(QFileInfo(path).absolutePath());
    recentMenu->setFiles(withRecentFile(recentMenu->files(), path));
    settings.setRecentFiles(recentMenu->files());
}

void MainWindow::showFileName(const QString &path) {
    fileNameLabel->setText(QFileInfo(path).fileName());
    fileNameLabel->setToolTip(QDir::toNativeSeparators(path));
}

void MainWindow::openRecentFile(const QString &fileName) {
    if (openFile(fileName) || QFileInfo::exists(fileName))
        return;
    QStringList files = recentMenu->files();
    files.removeAll(fileName);
    recentMenu->setFiles(files);
    settings.setRecentFiles(files);
}

void MainWindow::addViewToggle(QAction *toggle) {
    viewMenu->addAction(toggle);
}

void MainWindow::createViewMenu() {
    viewMenu = new QMenu(tr("&View"), this);
    menuBar()->insertMenu(helpMenu->menuAction(), viewMenu);
    addViewToggle(parametersDock->toggleViewAction());
    addViewToggle(chartDock->toggleViewAction());
    addViewToggle(fileToolBar->toggleViewAction());
    addViewToggle(calibrationToolBar->toggleViewAction());
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
    recentMenu = new RecentFilesMenu(this);
    connect(recentMenu, &RecentFilesMenu::fileChosen, this, &MainWindow::openRecentFile);
    fileMenu->addMenu(recentMenu);
    fileMenu->addAction(saveAct);
    fileMenu->addSeparator();
    fileMenu->addAction(quitAct);

    editMenu = menuBar()->addMenu(tr("&Edit"));
    editMenu->addAction(history->undoAction());
    editMenu->addAction(history->redoAction());

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
    fileToolBar->addAction(history->undoAction());
    fileToolBar->addAction(history->redoAction());
    fileToolBar->setObjectName(QStringLiteral("fileToolBar"));

    calibrationToolBar = addToolBar(tr("Calibration"));
    calibrationToolBar->setObjectName(QStringLiteral("calibrationToolBar"));
    calibrationToolBar->addAction(warpAct);
    calibrationToolBar->addAction(shadingAct);
}

void MainWindow::createDockWindows() {
    parametersDock = new QDockWidget(tr("Parameters"), this);
    parametersDock->setObjectName(QStringLiteral("parametersDock"));
    parametersDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    EncodingSelector::restoreKeptEncoding();
    auto *panel = new QColorimeterDlg;
    panel->SetCVImage(imageArea->imageCanvas());
    parametersDock->setWidget(panel);
    addDockWidget(Qt::RightDockWidgetArea, parametersDock);

    connect(panel, &QColorimeterDlg::seriesRunningChanged, this, &MainWindow::lockImageCommands);
    panel->setStepRunner(history->stepRunner());
    connect(history, &ImageHistory::restored, panel, &QColorimeterDlg::rebindAtNextAdjustment);

    chartDock = createChartDock(imageArea->imageCanvas(), this);
    addDockWidget(Qt::RightDockWidgetArea, chartDock);
    tabifyDockWidget(parametersDock, chartDock);
    auto *chartPanel = static_cast<ChartPanel *>(chartDock->widget());
    chartPanel->setPictureFile(history->currentFile());
    connect(history, &ImageHistory::currentFileChanged, chartPanel, &ChartPanel::setPictureFile);
    imageArea->setStepRunner(followPicture(*chartPanel, *imageArea, history->stepRunner()));
    parametersDock->raise();
}

void MainWindow::createStatusBar() {
    constexpr int refusalShownMs = 5000;
    QCVImage *canvas = imageArea->imageCanvas();
    addCommandRectsOverlay(*canvas);
    statusBar()->addPermanentWidget(new ImageReadout(imageArea));
    const auto showRefusal = [this](const QString &reason) {
        statusBar()->showMessage(reason, refusalShownMs);
    };
    connect(canvas, &QCVImage::commandRefused, this, showRefusal);
    connect(qobject_cast<QColorimeterDlg *>(parametersDock->widget()),
            &QColorimeterDlg::commandRefused, this, showRefusal);
}

void MainWindow::lockImageCommands(bool locked) {
    for (QAction *action : {newAct, openAct, warpAct, shadingAct})
        action->setEnabled(!locked);
    recentMenu->setEnabled(!locked && !recentMenu->files().isEmpty());
    history->setLocked(locked);
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
    settings.setWindowLayout(saveGeometry(), saveState());
    QMainWindow::closeEvent(event);
}

void MainWindow::about() {
    QMessageBox::about(this, tr("About Vexmira Viewer"),
                       tr("The <b>Vexmira Viewer</b> example demonstrates how to use "
                          "QImageScrollArea and QPArametersDialog."));
}
