// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow.h"

#include "chartdock.h"
#include "chartpanel.h"
#include "chartprofiletools.h"
#include "commandrectsoverlay.h"
#include "dockinfront.h"
#include "drivepath.h"
#include "encodingselector.h"
#include "filedrop.h"
#include "imagehistory.h"
#include "imagereadout.h"
#include "labencoding.h"
#include "pictureprofilecommands.h"
#include "pictureprofilelabel.h"
#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"
#include "recentfiles.h"
#include "savename.h"
#include "shortcutstable.h"
#include "unsavedchanges.h"
#include "userguide.h"
#include "windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include <memory>

MainWindow::MainWindow(bool loadStartupImage) {
    imageArea = new QImageScrollArea(loadStartupImage);
    setCentralWidget(imageArea);
    fileNameLabel = new QLabel;
    fileNameLabel->setObjectName(QStringLiteral("fileNameLabel"));
    statusBar()->addWidget(fileNameLabel);

    createHistory();
    if (!imageArea->imageCanvas()->isCurrentImageEmpty()) {
        // The drive prefix resolved, so that Save proposes the photograph's real folder.
        const QString startup =
            QFileInfo(resolveDrivePath(QImageScrollArea::startupImagePath())).absoluteFilePath();
        history->setCurrentFile(startup);
        showFileName(startup);
    }
    createActions();
    createMenus();
    createToolBars();
    createDockWindows();
    createViewMenu();
    createColourMenu();
    createStatusBar();
    confirmDockCommands();

    setWindowTitle(tr("Vexmira Viewer"));
    resize(800, 800);
    restoreRemembered();

    setAcceptDrops(true);
    auto *drops = new FileDropFilter(this);
    installEventFilter(drops);
    // Queued: a question about the current picture must not run inside the drop itself.
    connect(drops, &FileDropFilter::fileDropped, this, &MainWindow::openFile, Qt::QueuedConnection);
    connect(imageArea, &QImageScrollArea::imageOpened, this, &MainWindow::rememberOpenedFile);
    connect(imageArea, &QImageScrollArea::blankImageMade, this, [this] {
        history->setCurrentFile(QString());
        showFileName(QString());
        history->markUnchanged();
    });
    connect(imageArea, &QImageScrollArea::imageSaved, this, &MainWindow::showSaved);
}

void MainWindow::showSaved(const QString &fileName, const QSize &size) {
    settings.setSaveFolder(QFileInfo(fileName).absolutePath());
    history->markUnchanged();
    statusBar()->showMessage(tr("Saved %1 × %2 pixels (the blue rectangle) to %3")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(shortenedPath(fileName)));
}

bool MainWindow::mayDropPicture() {
    if (!history->isChanged())
        return true;
    return mayDropChangedPicture(this, [this] { return imageArea->saveWithDialog(); });
}

void MainWindow::newImage() {
    if (mayDropPicture())
        imageArea->newSlot();
}

void MainWindow::openImage() {
    if (mayDropPicture())
        imageArea->openSlot();
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
    keepWindowOnScreen(*this);
    imageArea->setDialogFolders(settings.openFolder(), settings.saveFolder());
    recentMenu->setFiles(settings.recentFiles());
}

bool MainWindow::openFile(const QString &fileName) {
    return mayDropPicture() && imageArea->openFile(fileName);
}

void MainWindow::rememberOpenedFile(const QString &fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    history->setCurrentFile(path);
    showFileName(path);
    history->markUnchanged();
    settings.setOpenFolder(QFileInfo(path).absolutePath());
    const QString profileProblem = imageArea->imageCanvas()->lastProfileProblem();
    if (!profileProblem.isEmpty())
        statusBar()->showMessage(profileProblem);
    recentMenu->setFiles(withRecentFile(recentMenu->files(), path));
    settings.setRecentFiles(recentMenu->files());
}

void MainWindow::showFileName(const QString &path) {
    fileNameLabel->setText(QFileInfo(path).fileName());
    fileNameLabel->setToolTip(QDir::toNativeSeparators(path));
    imageArea->setPictureFile(path);
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
    viewMenu->addAction(imageArea->zoomToFitAction());
    viewMenu->addSeparator();
    addViewToggle(parametersDock->toggleViewAction());
    addViewToggle(chartDock->toggleViewAction());
    addViewToggle(fileToolBar->toggleViewAction());
    addViewToggle(calibrationToolBar->toggleViewAction());
}

void MainWindow::createColourMenu() {
    colourMenu = new QMenu(tr("&Colour"), this);
    menuBar()->insertMenu(viewMenu->menuAction(), colourMenu);
    colourMenu->addAction(warpAct);
    colourMenu->addAction(shadingAct);
    colourMenu->addAction(imageArea->warpAndShadingAction());
    colourMenu->addSeparator();
    profileCommands =
        new PictureProfileCommands(*imageArea->imageCanvas(), history->stepRunner(), this);
    colourMenu->addAction(profileCommands->assignAction());
    colourMenu->addAction(profileCommands->removeAction());
    // The screen's colours of a picture without a profile follow the mode.
    connect(&LabEncodingChoice::instance(), &LabEncodingChoice::changed, imageArea,
            [this] { imageArea->imageCanvas()->showCurrentImage(); });
    colourMenu->addSeparator();
    constexpr int chartMessageShownMs = 8000;
    ChartProfileTools *tools = static_cast<ChartPanel *>(chartDock->widget())->profileTools();
    const auto showChartDock = [this] {
        chartDock->show();
        chartDock->raise();
    };
    colourMenu->addAction(tr("Find Chart"), tools, [tools, showChartDock] {
        showChartDock();
        tools->findChart();
    });
    colourMenu->addAction(tr("Make Profile..."), tools, [tools, showChartDock] {
        showChartDock();
        tools->chooseProfileFile();
    });
    connect(tools, &ChartProfileTools::reported, this,
            [this](const QString &text) { statusBar()->showMessage(text, chartMessageShownMs); });
    connect(tools, &ChartProfileTools::profileAssigned, this, [this](const QString &path) {
        const QString refusal = profileCommands->assignFile(path);
        if (!refusal.isEmpty())
            statusBar()->showMessage(refusal, chartMessageShownMs);
    });
}

void MainWindow::createActions() {
    newAct = new QAction(QIcon(QStringLiteral(":/images/new.png")), tr("&New image"), this);
    newAct->setShortcuts(QKeySequence::New);
    newAct->setStatusTip(tr("Create a new empty image"));
    connect(newAct, &QAction::triggered, this, &MainWindow::newImage);

    openAct = new QAction(QIcon(QStringLiteral(":/images/open.png")), tr("&Open..."), this);
    openAct->setShortcuts(QKeySequence::Open);
    openAct->setStatusTip(tr("Open an image"));
    connect(openAct, &QAction::triggered, this, &MainWindow::openImage);

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

    shortcutsAct = new QAction(tr("&Keyboard Shortcuts"), this);
    shortcutsAct->setStatusTip(tr("List every keyboard shortcut of the window"));
    connect(shortcutsAct, &QAction::triggered, this, &MainWindow::showShortcuts);

    userGuideAct = new QAction(tr("&User Guide"), this);
    userGuideAct->setShortcuts(QKeySequence::HelpContents);
    userGuideAct->setStatusTip(tr("Read how to use the viewer"));
    connect(userGuideAct, &QAction::triggered, this, &MainWindow::showUserGuide);
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
    helpMenu->addAction(userGuideAct);
    helpMenu->addAction(shortcutsAct);
    helpMenu->addSeparator();
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
    // The chart's sample squares show while its panel does: only with its dock in front. The
    // window hides its docks while it is being destroyed, when only the canvas is left to ask.
    showContentOnlyInFront(*chartDock, [canvas = QPointer<QCVImage>(imageArea->imageCanvas())] {
        if (canvas)
            canvas->update();
    });
}

void MainWindow::createStatusBar() {
    constexpr int refusalShownMs = 5000;
    QCVImage *canvas = imageArea->imageCanvas();
    addCommandRectsOverlay(*canvas);
    statusBar()->addPermanentWidget(new ImageReadout(imageArea));
    statusBar()->addPermanentWidget(new PictureProfileLabel(*canvas));
    const auto showRefusal = [this](const QString &reason) {
        statusBar()->showMessage(reason, refusalShownMs);
    };
    connect(canvas, &QCVImage::commandRefused, this, showRefusal);
    connect(qobject_cast<QColorimeterDlg *>(parametersDock->widget()),
            &QColorimeterDlg::commandRefused, this, showRefusal);
}

void MainWindow::lockImageCommands(bool locked) {
    for (QAction *action :
         {newAct, openAct, warpAct, shadingAct, imageArea->warpAndShadingAction()})
        action->setEnabled(!locked);
    recentMenu->setEnabled(!locked && !recentMenu->files().isEmpty());
    history->setLocked(locked);
    profileCommands->setLocked(locked);
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
    if (!mayDropPicture()) {
        event->ignore();
        return;
    }
    settings.setWindowLayout(saveGeometry(), saveState());
    QMainWindow::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // Once shown its frame is known, and the screen it opened on.
    if (!placedOnScreen) {
        placedOnScreen = true;
        holdMinimumSize(*this);
        keepWindowOnScreen(*this);
    }
}

void MainWindow::about() {
    QMessageBox::about(this, tr("About Vexmira Viewer"),
                       tr("The <b>Vexmira Viewer</b> example demonstrates how to use "
                          "QImageScrollArea and QPArametersDialog."));
}

void MainWindow::showShortcuts() {
    QList<QAction *> actions;
    for (QAction *menu : menuBar()->actions())
        if (menu->menu())
            actions << menu->menu()->actions();
    actions << findChildren<QAction *>();
    ShortcutsDialog(shortcutRows(actions), this).exec();
}

void MainWindow::showUserGuide() {
    auto *guide = findChild<UserGuideDialog *>();
    if (!guide)
        guide = new UserGuideDialog(this);
    guide->show();
    guide->raise();
}

namespace {

QPushButton *buttonNamed(QWidget *owner, const QString &text) {
    for (QPushButton *button : owner->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

} // namespace

void MainWindow::confirmDockCommands() {
    constexpr int confirmationShownMs = 8000;
    // The panels' own handlers were connected first, so these run once they have finished.
    if (QPushButton *copy = buttonNamed(parametersDock->widget(), tr("Copy"))) {
        connect(copy, &QPushButton::clicked, this, [this] {
            QString copied = QApplication::clipboard()->text();
            copied.replace(QLatin1Char('\t'), QLatin1Char(' '));
            statusBar()->showMessage(tr("Copied to the clipboard: %1").arg(copied),
                                     confirmationShownMs);
        });
    }
    auto *chartPanel = qobject_cast<ChartPanel *>(chartDock->widget());
    QPushButton *exportButton = chartPanel ? buttonNamed(chartPanel, tr("Export...")) : nullptr;
    if (!exportButton)
        return;
    // A cancelled dialog leaves the panel's message as it was: then there is nothing to tell.
    auto before = std::make_shared<QString>();
    connect(exportButton, &QPushButton::pressed, this,
            [chartPanel, before] { *before = chartPanel->message(); });
    connect(exportButton, &QPushButton::clicked, this, [this, chartPanel, before] {
        const QString outcome = chartPanel->message();
        if (!outcome.isEmpty() && outcome != *before)
            statusBar()->showMessage(tr("Chart: %1").arg(outcome), confirmationShownMs);
    });
}
