// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>

class QAction;
class QDockWidget;
class QImageScrollArea;
class QMenu;
class QToolBar;

// The one top-level window: the viewer in the centre, the calibration panel in the
// "Parameters" dock, and the commands that reach both.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void about();

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createDockWindows();
    // A calibration series must own the image while it runs; the commands that would change
    // it wait until it has ended.
    void lockImageCommands(bool locked);

    QImageScrollArea *imageArea = nullptr;
    QDockWidget *parametersDock = nullptr;
    QMenu *fileMenu = nullptr;
    QMenu *imageMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QToolBar *fileToolBar = nullptr;
    QToolBar *calibrationToolBar = nullptr;
    QAction *newAct = nullptr;
    QAction *openAct = nullptr;
    QAction *saveAct = nullptr;
    QAction *warpAct = nullptr;
    QAction *shadingAct = nullptr;
    QAction *aboutAct = nullptr;
    QAction *quitAct = nullptr;
    bool closeAfterSeries = false;
};
