// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "filedrop.h"
#include "mainwindow.h"
#include "qimagescrollarea.h"
#include "recentfiles.h"

#include "../support/actionlookup.h"
#include "../support/driveroot.h"
#include "../support/modalanswer.h"

#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUrl>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include <memory>

namespace {

QCVImage &canvasOf(MainWindow &window) {
    return *qobject_cast<QImageScrollArea *>(window.centralWidget())->imageCanvas();
}

QString shownFileName(MainWindow &window) {
    auto *label = window.statusBar()->findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    return label ? label->text() : QString();
}

RecentFilesMenu *recentMenuOf(MainWindow &window) {
    return window.findChild<RecentFilesMenu *>();
}

QStringList entryTexts(QMenu *menu) {
    QStringList texts;
    for (QAction *action : menu->actions())
        texts << action->text();
    return texts;
}

// Sends a drag of `urls` over the window and, when it is taken, drops it; true when taken.
bool dropOn(MainWindow &window, const QList<QUrl> &urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPointF at(window.width() / 2, window.height() / 2);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    return drop.isAccepted();
}

} // namespace

class WindowHabitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLineNamesTheFileToOpen();
    void droppedImageOpensAndAnythingElseIsRefused();
    void recentFilesKeepTheLastTenAndForgetOneThatHasGone();
    void foldersAndLayoutAreRemembered();
    void corruptSettingsGiveTheFirstRunLayout();
    void viewMenuTogglesAndCtrlEqualsZooms();

private:
    QString writeImage(const QString &name, int width = 64, int height = 48) {
        const QString path = root->filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        cv::Mat image(height, width, CV_8UC3, cv::Scalar(width % 256, height % 256, 90));
        return cv::imwrite(path.toStdString(), image) ? path : QString();
    }

    std::unique_ptr<TemporaryDriveRoot> root;
    QTemporaryDir settingsFolder;
};

void WindowHabitsTest::initTestCase() {
    Q_INIT_RESOURCE(resources);
    QVERIFY(settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
}

void WindowHabitsTest::init() {
    root = std::make_unique<TemporaryDriveRoot>();
    QVERIFY(root->isValid());
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
}

void WindowHabitsTest::cleanup() {
    root.reset();
}

void WindowHabitsTest::commandLineNamesTheFileToOpen() {
    QCOMPARE(fileFromCommandLine({"vexmira-viewer", "photo.tif"}), QString("photo.tif"));
    QCOMPARE(fileFromCommandLine({"vexmira-viewer"}), QString());

    // A file given: the start-up photograph is not loaded, the file is, and named.
    writeImage("Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif", 30, 20);
    const QString good = writeImage("given.png", 70, 50);
    {
        MainWindow window(false);
        QVERIFY(canvasOf(window).isCurrentImageEmpty());
        QVERIFY(window.openFile(good));
        QCOMPARE(canvasOf(window).image(true, -1, false).cols, 70);
        QCOMPARE(canvasOf(window).sourceCount, 1);
        QCOMPARE(shownFileName(window), QString("given.png"));

        // Undo and redo move the name with the image; a warp keeps it.
        const QString other = writeImage("other.png", 40, 30);
        QVERIFY(window.openFile(other));
        QCOMPARE(shownFileName(window), QString("other.png"));
        actionNamed(window, "Warp...")->trigger();
        QAction *undo = actionNamed(window, "&Undo");
        QAction *redo = actionNamed(window, "&Redo");
        undo->trigger();
        QCOMPARE(shownFileName(window), QString("other.png"));
        undo->trigger();
        QCOMPARE(canvasOf(window).image(true, -1, false).cols, 70);
        QCOMPARE(shownFileName(window), QString("given.png"));
        redo->trigger();
        QCOMPARE(shownFileName(window), QString("other.png"));
        actionNamed(window, "&New image")->trigger();
        QCOMPARE(shownFileName(window), QString());
        undo->trigger();
        QCOMPARE(shownFileName(window), QString("other.png"));
        undo->trigger();
        undo->trigger();
        QVERIFY(canvasOf(window).isCurrentImageEmpty());
        QCOMPARE(shownFileName(window), QString());
    }
    // A file that cannot be loaded: the load message, and the window goes on, empty.
    MainWindow window(false);
    window.show();
    QString message;
    answerNextModal<QMessageBox>([&](QMessageBox *box) {
        message = box->text();
        box->accept();
    });
    QVERIFY(!window.openFile(root->filePath("missing.tif")));
    QVERIFY(message.startsWith("Cannot load Error " + root->filePath("missing.tif")));
    QVERIFY(window.isVisible());
    QVERIFY(canvasOf(window).isCurrentImageEmpty());
}

void WindowHabitsTest::droppedImageOpensAndAnythingElseIsRefused() {
    const QString first = writeImage("first.png", 80, 60);
    const QString second = writeImage("second.png", 90, 70);
    QFile text(root->filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    QDir().mkpath(root->filePath("folder.png"));

    MainWindow window(false);
    QVERIFY(window.acceptDrops());
    QVERIFY(!dropOn(window, {QUrl::fromLocalFile(text.fileName())}));
    QVERIFY(!dropOn(window, {QUrl::fromLocalFile(root->filePath("folder.png"))}));
    QVERIFY(!dropOn(window, {QUrl::fromLocalFile(root->filePath("gone.png"))}));
    QVERIFY(!dropOn(window, {QUrl("https://example.org/picture.png")}));
    QVERIFY(canvasOf(window).isCurrentImageEmpty());

    // Several files: the first.
    QVERIFY(dropOn(window, {QUrl::fromLocalFile(second), QUrl::fromLocalFile(first)}));
    // Opened once the drop has returned.
    QTRY_COMPARE(canvasOf(window).image(true, -1, false).cols, 90);
    QCOMPARE(shownFileName(window), QString("second.png"));
    QCOMPARE(recentMenuOf(window)->files(), QStringList({second}));
}

void WindowHabitsTest::recentFilesKeepTheLastTenAndForgetOneThatHasGone() {
    QStringList files;
    for (int i = 0; i < 12; ++i)
        files << writeImage(QString("picture%1.png").arg(i), 40 + i, 30);
    {
        MainWindow window(false);
        QVERIFY(!recentMenuOf(window)->isEnabled());
        for (const QString &file : files)
            QVERIFY(window.openFile(file));
        // Opened again: moves to the front, not listed twice.
        QVERIFY(window.openFile(files[5]));
    }
    // Kept across runs, most recent first, ten at most.
    MainWindow window(false);
    RecentFilesMenu *menu = recentMenuOf(window);
    QVERIFY(menu->isEnabled());
    const QStringList expected{files[5], files[11], files[10], files[9], files[8],
                               files[7], files[6],  files[4],  files[3], files[2]};
    QCOMPARE(menu->files(), expected);
    QCOMPARE(entryTexts(menu).first(), QString("&1 picture5.png"));
    QCOMPARE(entryTexts(menu).last(), QString("&0 picture2.png"));

    menu->actions().at(1)->trigger();
    QCOMPARE(canvasOf(window).image(true, -1, false).cols, 51);
    QCOMPARE(menu->files().first(), files[11]);

    // A file that has gone: the load message, and it leaves the list.
    QVERIFY(QFile::remove(files[9]));
    QString message;
    answerNextModal<QMessageBox>([&](QMessageBox *box) {
        message = box->text();
        box->accept();
    });
    menu->actions().at(menu->files().indexOf(files[9]))->trigger();
    QVERIFY(message.startsWith("Cannot load Error"));
    QVERIFY(!menu->files().contains(files[9]));
    QCOMPARE(menu->files().size(), 9);
    QCOMPARE(canvasOf(window).image(true, -1, false).cols, 51);
    QCOMPARE(QSettings("Vexmira", "Viewer").value("recentFiles").toStringList(), menu->files());
}

void WindowHabitsTest::foldersAndLayoutAreRemembered() {
    const QString opened = writeImage("pictures/opened.png");
    QDir().mkpath(root->filePath("results"));
    {
        MainWindow window(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        answerNextFileDialog(opened);
        actionNamed(window, "&Open...")->trigger();
        QCOMPARE(canvasOf(window).image(true, -1, false).cols, 64);
        answerNextFileDialog(root->filePath("results/saved.png"));
        actionNamed(window, "&Save...")->trigger();
        QVERIFY(QFile::exists(root->filePath("results/saved.png")));

        auto *dock = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
        window.addDockWidget(Qt::LeftDockWidgetArea, dock);
        window.findChild<QToolBar *>(QStringLiteral("calibrationToolBar"))->hide();
        // Kept above the window's minimum height, which the docks' contents set.
        window.resize(1000, 820);
        window.close();
    }
    MainWindow window(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(1000, 820));
    QCOMPARE(
        window.dockWidgetArea(window.findChild<QDockWidget *>(QStringLiteral("parametersDock"))),
        Qt::LeftDockWidgetArea);
    QVERIFY(window.findChild<QToolBar *>(QStringLiteral("calibrationToolBar"))->isHidden());

    // Each dialog starts in its own last folder.
    QString openStart;
    answerNextModal<QFileDialog>([&](QFileDialog *dialog) {
        openStart = dialog->directory().absolutePath();
        dialog->reject();
    });
    actionNamed(window, "&Open...")->trigger();
    QCOMPARE(openStart, QFileInfo(opened).absolutePath());
    QString saveStart;
    answerNextModal<QFileDialog>([&](QFileDialog *dialog) {
        saveStart = dialog->directory().absolutePath();
        dialog->reject();
    });
    actionNamed(window, "&Save...")->trigger();
    QCOMPARE(saveStart, QDir(root->filePath("results")).absolutePath());
}

void WindowHabitsTest::corruptSettingsGiveTheFirstRunLayout() {
    const QString file = QSettings("Vexmira", "Viewer").fileName();
    QDir().mkpath(QFileInfo(file).path());
    QFile corrupt(file);
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("[window]\ngeometry=@ByteArray(\\x1\\xd9junk)\nstate=12\x01\xff\n"
                  "[folders]\nopen=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x18)\nrecentFiles=@@\n");
    corrupt.close();

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(800, 800));
    QCOMPARE(
        window.dockWidgetArea(window.findChild<QDockWidget *>(QStringLiteral("parametersDock"))),
        Qt::RightDockWidgetArea);
    QVERIFY(window.findChild<QDockWidget *>(QStringLiteral("parametersDock"))->isVisible());
    // The dialogs start where they did before anything was remembered.
    QString openStart;
    answerNextModal<QFileDialog>([&](QFileDialog *dialog) {
        openStart = dialog->directory().absolutePath();
        dialog->reject();
    });
    actionNamed(window, "&Open...")->trigger();
    QCOMPARE(openStart, QDir::currentPath());
}

void WindowHabitsTest::viewMenuTogglesAndCtrlEqualsZooms() {
    MainWindow window(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *dock = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
    dock->close();
    QVERIFY(!dock->isVisible());
    QAction *parameters = actionNamed(window, "Parameters");
    QVERIFY(parameters && parameters->isCheckable());
    QVERIFY(!parameters->isChecked());
    parameters->trigger();
    QVERIFY(dock->isVisible());

    auto *fileBar = window.findChild<QToolBar *>(QStringLiteral("fileToolBar"));
    QAction *fileToggle = actionNamed(window, "File");
    fileToggle->trigger();
    QVERIFY(!fileBar->isVisible());
    fileToggle->trigger();
    QVERIFY(fileBar->isVisible());

    // Ctrl+= zooms in as Ctrl++ does.
    QCVImage &canvas = canvasOf(window);
    QVERIFY(canvas.showNewImage(cv::Mat(60, 80, CV_8UC3, cv::Scalar::all(7))));
    QTest::keyClick(&window, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(canvas.scaleFactor, 1.25);

    // Another dock's toggle joins the same menu.
    auto *extra = new QDockWidget(QStringLiteral("Extra"), &window);
    window.addViewToggle(extra->toggleViewAction());
    QMenu *view = window.menuBar()->actions().at(4)->menu();
    QCOMPARE(entryTexts(view), QStringList({"&Zoom to Fit", "", "Parameters", "Chart", "File",
                                            "Calibration", "Extra"}));
}

QTEST_MAIN(WindowHabitsTest)
#include "test_windowhabits.moc"
