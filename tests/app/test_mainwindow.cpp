// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagereadout.h"
#include "mainwindow.h"
#include "qcolorimeterdlg.h"
#include "qimagescrollarea.h"

#include "../support/actionlookup.h"
#include "../support/driveroot.h"
#include "../support/modalanswer.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

QStringList textsOf(const QList<QAction *> &actions) {
    QStringList texts;
    for (QAction *action : actions)
        texts << (action->isSeparator() ? QString("|") : action->text());
    return texts;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menusHoldTheirCommandsInOrder();
    void toolBarsCarryTheIconsAndActionsAreAlwaysEnabled();
    void windowStartsWithTitleSizeAndDock();
    void aboutNamesTheProgram();
    void resourcesHoldEveryIcon();
    void aSeriesLocksTheImageCommandsAndDelaysClosing();
    void closingEndsASeriesWhoseWriteHangs();
    void correctionActionsReachTheCanvas();
    void refusalsShowTheirCauseInTheStatusBar();
    void quitClosesTheWindow();

private:
    std::unique_ptr<TemporaryDriveRoot> root;
    QTemporaryDir settingsFolder;
};

void MainWindowTest::initTestCase() {
    Q_INIT_RESOURCE(resources);
    QVERIFY(settingsFolder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
}

void MainWindowTest::init() {
    root = std::make_unique<TemporaryDriveRoot>();
    QVERIFY(root->isValid());
    // Every window starts as on a first run.
    QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
}

void MainWindowTest::cleanup() {
    root.reset();
}

void MainWindowTest::menusHoldTheirCommandsInOrder() {
    MainWindow window;
    QCOMPARE(textsOf(window.menuBar()->actions()),
             QStringList({"&File", "&Edit", "&Image", "&Colour", "&View", "&Help"}));
    const QList<QAction *> menus = window.menuBar()->actions();
    QCOMPARE(textsOf(menus[0]->menu()->actions()),
             QStringList({"&New image", "&Open...", "Open &Recent", "&Save...", "|", "&Quit"}));
    QCOMPARE(textsOf(menus[1]->menu()->actions()), QStringList({"&Undo", "&Redo"}));
    QCOMPARE(textsOf(menus[2]->menu()->actions()),
             QStringList({"Zoom &In (25%)", "Zoom &Out (25%)", "&Normal Size", "&Fit to Window",
                          "&Print..."}));
    QCOMPARE(textsOf(menus[4]->menu()->actions()),
             QStringList({"&Zoom to Fit", "|", "Parameters", "Chart", "File", "Calibration"}));
    QCOMPARE(actionNamed(window, "&Undo")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::Undo));
    QCOMPARE(actionNamed(window, "&Redo")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::Redo));

    // Every shortcut is unique in the window, so none is ambiguous.
    QList<QKeySequence> keys;
    for (QAction *action : window.findChildren<QAction *>())
        for (const QKeySequence &key : action->shortcuts()) {
            QVERIFY2(!keys.contains(key), qPrintable(key.toString()));
            keys << key;
        }
    QCOMPARE(actionNamed(window, "&New image")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::New));
    QCOMPARE(actionNamed(window, "&Open...")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::Open));
    QCOMPARE(actionNamed(window, "&Save...")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::Save));
    QCOMPARE(actionNamed(window, "&Quit")->shortcuts(),
             QKeySequence::keyBindings(QKeySequence::Quit));
    QVERIFY(actionNamed(window, "Warp...")->shortcuts().isEmpty());
    QVERIFY(actionNamed(window, "&About")->shortcuts().isEmpty());

    QCOMPARE(actionNamed(window, "&New image")->statusTip(), QString("Create a new empty image"));
    QCOMPARE(actionNamed(window, "&Open...")->statusTip(), QString("Open an image"));
    QCOMPARE(actionNamed(window, "&Save...")->statusTip(), QString("Save the current image"));
    QCOMPARE(actionNamed(window, "Warp...")->statusTip(), QString("Warp the current image"));
    QCOMPARE(actionNamed(window, "Shading Correction...")->statusTip(),
             QString("Correct spatial drift on the current image"));
    QCOMPARE(actionNamed(window, "&Quit")->statusTip(), QString("Quit the application"));
    QCOMPARE(actionNamed(window, "&About")->statusTip(),
             QString("Show the application's About box"));
}

void MainWindowTest::toolBarsCarryTheIconsAndActionsAreAlwaysEnabled() {
    MainWindow window;
    const QList<QToolBar *> bars = window.findChildren<QToolBar *>();
    QCOMPARE(bars.size(), 2);
    QCOMPARE(bars[0]->windowTitle(), QString("File"));
    QCOMPARE(bars[1]->windowTitle(), QString("Calibration"));
    QCOMPARE(textsOf(bars[0]->actions()),
             QStringList({"&New image", "&Open...", "&Save...", "&Undo", "&Redo"}));
    QCOMPARE(textsOf(bars[1]->actions()), QStringList({"Warp...", "Shading Correction..."}));
    for (QToolBar *bar : bars) {
        QCOMPARE(window.toolBarArea(bar), Qt::TopToolBarArea);
        for (QAction *action : bar->actions())
            QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
    }
    // The corrections are the same actions in the tool bar and the "&Colour" menu.
    QCOMPARE(window.menuBar()->actions()[3]->menu()->actions().mid(0, 2), bars[1]->actions());
    QVERIFY(actionNamed(window, "&Quit")->icon().isNull());
    QVERIFY(actionNamed(window, "&About")->icon().isNull());
    // Except what has nothing to offer yet: no step to undo or redo, no recent file.
    // A picture without a profile has none to remove.
    QStringList idle{"&Undo", "&Redo", "Open &Recent", "Remove Profile"};
    if (window.findChild<QImageScrollArea *>()->imageCanvas()->isCurrentImageEmpty())
        idle << "Assign Profile...";
    for (QAction *action : window.findChildren<QAction *>())
        QVERIFY2(action->isEnabled() != idle.contains(action->text()), qPrintable(action->text()));
}

void MainWindowTest::windowStartsWithTitleSizeAndDock() {
    MainWindow window;
    QCOMPARE(window.windowTitle(), QString("Vexmira Viewer"));
    QCOMPARE(window.size(), QSize(800, 800));
    QVERIFY(qobject_cast<QImageScrollArea *>(window.centralWidget()));

    const QList<QDockWidget *> docks = window.findChildren<QDockWidget *>();
    QCOMPARE(docks.size(), 2);
    QDockWidget *dock = docks[0]->windowTitle() == "Parameters" ? docks[0] : docks[1];
    QDockWidget *chartDock = dock == docks[0] ? docks[1] : docks[0];
    QCOMPARE(dock->windowTitle(), QString("Parameters"));
    QCOMPARE(chartDock->windowTitle(), QString("Chart"));
    QCOMPARE(window.tabifiedDockWidgets(dock), QList<QDockWidget *>({chartDock}));
    QCOMPARE(dock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    QCOMPARE(window.dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QVERIFY(dock->features() & QDockWidget::DockWidgetClosable);
    QVERIFY(dock->features() & QDockWidget::DockWidgetMovable);
    QVERIFY(dock->features() & QDockWidget::DockWidgetFloatable);
    auto *panel = qobject_cast<QColorimeterDlg *>(dock->widget());
    QVERIFY(panel);
    auto *viewer = qobject_cast<QImageScrollArea *>(window.centralWidget());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(dock->geometry().left() >= viewer->geometry().right());

    // Closing only hides the dock; the panel keeps its values.
    QSpinBox *spinL = panel->findChildren<QSpinBox *>().value(0);
    QVERIFY(spinL);
    spinL->setValue(42);
    dock->close();
    QVERIFY(!dock->isVisible());
    dock->show();
    QCOMPARE(spinL->value(), 42);

    // The panel works on the viewer's canvas.
    QCVImage &canvas = *viewer->imageCanvas();
    QVERIFY(QMetaObject::invokeMethod(viewer, "newSlot"));
    QCOMPARE(canvas.sourceCount, 1);
    QVERIFY(QMetaObject::invokeMethod(panel, "SetMeanLab"));
    QCOMPARE(canvas.sourceCount, 2);
    QVERIFY(canvas.image(true, -1, false).data != canvas.sourceImages[0].data);
}

void MainWindowTest::aboutNamesTheProgram() {
    MainWindow window;
    QString title;
    QString text;
    answerNextModal<QMessageBox>([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    actionNamed(window, "&About")->trigger();
    QCOMPARE(title, QString("About Vexmira Viewer"));
    QVERIFY(text.contains("<b>Vexmira Viewer</b>"));
}

void MainWindowTest::resourcesHoldEveryIcon() {
    for (const char *name :
         {"new", "open", "save", "roi", "shading", "print", "undo_32", "redo_32"}) {
        const QImage icon(QString(":/images/%1.png").arg(name));
        QVERIFY2(!icon.isNull(), name);
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY2(icon.hasAlphaChannel(), name);
    }
}

void MainWindowTest::aSeriesLocksTheImageCommandsAndDelaysClosing() {
    cv::Mat photo(240, 320, CV_8UC3, cv::Scalar(90, 110, 130));
    const QString startup =
        root->filePath("Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif");
    QDir().mkpath(QFileInfo(startup).path());
    QVERIFY(cv::imwrite(startup.toStdString(), photo));

    MainWindow window;
    window.show();
    auto *panel = window.findChild<QColorimeterDlg *>();
    QVERIFY(panel);
    // 1000 images: more than the workers can finish before the close reaches them.
    panel->setLabValues(10, 24, 24);
    panel->setMessageBoxesShown(false);

    bool lockedDuringSeries = false;
    bool stillOpenDuringSeries = false;
    connect(panel, &QColorimeterDlg::seriesRunningChanged, this, [&](bool running) {
        if (!running)
            return;
        QTimer::singleShot(0, &window, [&] {
            lockedDuringSeries = !actionNamed(window, "&Open...")->isEnabled() &&
                                 !actionNamed(window, "Warp...")->isEnabled() &&
                                 !actionNamed(window, "&New image")->isEnabled();
            window.close();
            stillOpenDuringSeries = window.isVisible();
        });
    });
    // The series changed the picture: closing asks about it once the series has ended.
    answerNextModal<QMessageBox>(
        [](QMessageBox *box) { box->button(QMessageBox::Discard)->click(); });
    QVERIFY(QMetaObject::invokeMethod(panel, "CreateLabImgs"));

    QVERIFY(lockedDuringSeries);
    QVERIFY(stillOpenDuringSeries);
    // Closing asked the series to stop after the image being written, then closed the window.
    QVERIFY(!window.isVisible());
    const QStringList written = QDir(root->path()).entryList({"ref_img_*.jpg"}, QDir::Files);
    QVERIFY2(!written.isEmpty() && written.size() < 1000, qPrintable(written.join(' ')));
    QVERIFY(actionNamed(window, "&Open...")->isEnabled());
}

void MainWindowTest::closingEndsASeriesWhoseWriteHangs() {
    // A pipe no one reads, named as the first grid file: its write never returns.
    const QString pipe = root->filePath("ref_img_0_-120_-120.jpg");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    MainWindow window;
    window.show();
    QVERIFY(QMetaObject::invokeMethod(window.findChild<QImageScrollArea *>(), "newSlot"));
    auto *panel = window.findChild<QColorimeterDlg *>();
    panel->setLabValues(50, 120, 120);
    panel->setMessageBoxesShown(false);

    // Closed once the series waits for its last files.
    std::function<void()> closeWhenWaiting = [&] {
        if (panel->findChild<QProgressBar *>()->value() >= 7)
            window.close();
        else
            QTimer::singleShot(1, &window, closeWhenWaiting);
    };
    connect(panel, &QColorimeterDlg::seriesRunningChanged, &window, [&](bool running) {
        if (running)
            QTimer::singleShot(0, &window, closeWhenWaiting);
    });
    answerNextModal<QMessageBox>(
        [](QMessageBox *box) { box->button(QMessageBox::Discard)->click(); });
    QVERIFY(QMetaObject::invokeMethod(panel, "CreateLabImgs"));

    QVERIFY(!window.isVisible());
    QVERIFY(!panel->isSeriesRunning());
    QCOMPARE(panel->lastSeriesReport().unconfirmedFiles, QStringList{pipe});
    QCOMPARE(panel->lastSeriesReport().written, 7);
    QVERIFY(actionNamed(window, "&Open...")->isEnabled());
}

void MainWindowTest::correctionActionsReachTheCanvas() {
    MainWindow window;
    auto *viewer = qobject_cast<QImageScrollArea *>(window.centralWidget());
    QCVImage &canvas = *viewer->imageCanvas();
    QVERIFY(QMetaObject::invokeMethod(viewer, "newSlot"));
    canvas.corners[0] = cv::Point(300, 150);

    // Warp only: one new image, the corners on the centred square.
    actionNamed(window, "Warp...")->trigger();
    QCOMPARE(canvas.sourceCount, 2);
    QCOMPARE(canvas.corners[0], cv::Point(128, 0));
    QCOMPARE(canvas.corners[2], cv::Point(896, 768));
    const cv::Mat warped = canvas.image(true, -1, false);

    // Shading only: the current entry replaced in place, nothing pushed.
    actionNamed(window, "Shading Correction...")->trigger();
    QCOMPARE(canvas.sourceCount, 2);
    QVERIFY(canvas.image(true, -1, false).data != warped.data);
    QCOMPARE(canvas.corners[0], cv::Point(128, 0));
}

void MainWindowTest::refusalsShowTheirCauseInTheStatusBar() {
    MainWindow window;
    QVERIFY(window.statusBar()->findChild<ImageReadout *>());
    auto *viewer = qobject_cast<QImageScrollArea *>(window.centralWidget());
    QCVImage &canvas = *viewer->imageCanvas();
    QVERIFY(QMetaObject::invokeMethod(viewer, "newSlot"));
    const cv::Mat before = canvas.image(true, -1, false).clone();

    // A region narrower than one cell.
    canvas.corners[0] = cv::Point(100, 100);
    canvas.corners[1] = cv::Point(100, 400);
    canvas.corners[2] = cv::Point(180, 400);
    canvas.corners[3] = cv::Point(180, 100);
    actionNamed(window, "Shading Correction...")->trigger();
    QCOMPARE(window.statusBar()->currentMessage(),
             QString("Shading correction: the region holds no whole 100-pixel cell"));

    // Crossed corners: corner 3 left of corner 0.
    canvas.corners[3] = cv::Point(50, 100);
    auto *panel = window.findChild<QColorimeterDlg *>();
    QVERIFY(QMetaObject::invokeMethod(panel, "SetMeanLab"));
    QVERIFY(window.statusBar()->currentMessage().startsWith("Set Mean Lab Value: the corners are "
                                                            "crossed"));

    // Three corners on one line.
    canvas.corners[3] = cv::Point(100, 250);
    actionNamed(window, "Warp...")->trigger();
    QVERIFY(window.statusBar()->currentMessage().startsWith("Warp: the corners do not form"));

    QCOMPARE(canvas.sourceCount, 1);
    QVERIFY(cv::norm(canvas.image(true, -1, false), before, cv::NORM_INF) == 0);
}

void MainWindowTest::quitClosesTheWindow() {
    MainWindow window;
    window.show();
    QVERIFY(window.isVisible());
    actionNamed(window, "&Quit")->trigger();
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
