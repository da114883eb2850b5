// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

#include "viewersettings.h"

class ImageHistory;
class PictureProfileCommands;
class QAction;
class QDockWidget;
class QImageScrollArea;
class QLabel;
class QMenu;
class QToolBar;
class RecentFilesMenu;

// The one top-level window: the viewer in the centre, the calibration panel in the
// "Parameters" dock, and the commands that reach both.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Without the start-up photograph when a file is to be opened in its place.
    explicit MainWindow(bool loadStartupImage = true);

    // Opens an image file as Open does; false, after the load message, when it cannot.
    bool openFile(const QString &fileName);
    // Adds a dock's or tool bar's show/hide action to the "&View" menu.
    void addViewToggle(QAction *toggle);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void about();
    void showShortcuts();
    void showUserGuide();
    void newImage();
    void openImage();
    void openRecentFile(const QString &fileName);
    void rememberOpenedFile(const QString &fileName);
    // The status bar's name of the file shown; empty for none.
    void showFileName(const QString &path);

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createDockWindows();
    void createHistory();
    void createViewMenu();
    void createColourMenu();
    // Copy and Export tell in the status bar what they did.
    void confirmDockCommands();
    // True when the picture may be dropped: unchanged, or the user saved or discarded it.
    bool mayDropPicture();
    void showSaved(const QString &fileName, const QSize &size);
    void restoreRemembered();
    // The read-outs, the actions' status tips and why a command did nothing.
    void createStatusBar();
    // A calibration series must own the image while it runs; the commands that would change
    // it wait until it has ended.
    void lockImageCommands(bool locked);

    QImageScrollArea *imageArea = nullptr;
    QDockWidget *parametersDock = nullptr;
    QDockWidget *chartDock = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *imageMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *colourMenu = nullptr;
    RecentFilesMenu *recentMenu = nullptr;
    ImageHistory *history = nullptr;
    PictureProfileCommands *profileCommands = nullptr;
    QLabel *fileNameLabel = nullptr;
    ViewerSettings settings;
    QToolBar *fileToolBar = nullptr;
    QToolBar *calibrationToolBar = nullptr;
    QAction *newAct = nullptr;
    QAction *openAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *warpAct = nullptr;
    QAction *shadingAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *shortcutsAct = nullptr;
    QAction *userGuideAct = nullptr;
    QAction *quitAct = nullptr;
    bool closeAfterSeries = false;
    bool placedOnScreen = false;
};
