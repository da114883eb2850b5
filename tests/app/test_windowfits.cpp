// SPDX-License-Identifier: GPL-3.0-or-later
// Run on a real X server (Xvfb) of a given size and scale: the window on first-run settings, a
// small series, and what a user on that screen sees. With VEXMIRA_SCREENSHOT=<file.png> the
// screen is kept as a picture; VEXMIRA_DEMO_MAKER names the program that makes the demo
// photograph to start on.
#include "mainwindow.h"
#include "qcolorimeterdlg.h"

#include "../support/driveroot.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

namespace {

QRect globalRect(const QWidget *widget) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

bool isControl(const QWidget *widget) {
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return !label->text().isEmpty();
    return qobject_cast<const QAbstractButton *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QComboBox *>(widget) || qobject_cast<const QLineEdit *>(widget) ||
           qobject_cast<const QProgressBar *>(widget) ||
           qobject_cast<const QAbstractItemView *>(widget);
}

// The controls a user sees in `root`, not the parts of another control (a spin box's field,
// a table's header).
QList<QWidget *> visibleControls(QWidget *root) {
    QList<QWidget *> controls;
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if (!isControl(widget) || !widget->isVisible())
            continue;
        bool part = false;
        for (QWidget *up = widget->parentWidget(); up && up != root; up = up->parentWidget())
            part = part || isControl(up);
        if (!part)
            controls << widget;
    }
    return controls;
}

// Whether the widget lies in a scroll area's viewport inside `root`: then it may lie outside.
bool scrolls(QWidget *widget, QWidget *root) {
    for (QWidget *up = widget->parentWidget(); up && up != root; up = up->parentWidget())
        if (qobject_cast<QAbstractScrollArea *>(up))
            return true;
    return false;
}

QString describe(const QWidget *widget) {
    QString text;
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        text = button->text();
    else if (auto *label = qobject_cast<const QLabel *>(widget))
        text = label->text().left(30);
    QString described;
    QDebug(&described).nospace() << widget->metaObject()->className() << ' ' << text << " at "
                                 << globalRect(widget);
    return described;
}

} // namespace

class WindowFitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(root.isValid());
        QVERIFY(settingsFolder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
        const QString startup =
            root.filePath("Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif");
        QDir().mkpath(QFileInfo(startup).path());
        // The demo photograph when its maker is named, so that the screenshots show what a user
        // sees; otherwise a plain picture of its size.
        const QString maker = qEnvironmentVariable("VEXMIRA_DEMO_MAKER");
        if (!maker.isEmpty()) {
            QCOMPARE(QProcess::execute(maker, {startup}), 0);
        } else {
            const cv::Mat photo(1200, 1600, CV_8UC3, cv::Scalar(90, 110, 130));
            QVERIFY(cv::imwrite(startup.toStdString(), photo));
        }
    }

    void windowFitsTheScreenAndKeepsItsSizeThroughASeries() {
        Q_INIT_RESOURCE(resources);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(300);
        const QRect screen = window.screen()->availableGeometry();
        QString sizes;
        QDebug(&sizes).nospace() << "screen " << screen.size() << ", window " << window.size()
                                 << ", minimum " << window.minimumSizeHint();
        qInfo().noquote() << sizes;
        QVERIFY2(screen.contains(window.frameGeometry()), qPrintable(sizes));
        QVERIFY2(screen.contains(globalRect(window.statusBar())), qPrintable(sizes));
        // Both dock tabs are on the screen, inside the window.
        int tabCount = 0;
        for (QTabBar *tabs : window.findChildren<QTabBar *>())
            if (tabs->isVisible() && tabs->parentWidget() == &window) {
                QVERIFY2(globalRect(&window).contains(globalRect(tabs)), qPrintable(sizes));
                tabCount += tabs->count();
            }
        QCOMPARE(tabCount, 2);

        const QSize before = window.size();
        runSeries(window);
        QCOMPARE(window.size(), before);

        const QString shot = qEnvironmentVariable("VEXMIRA_SCREENSHOT");
        if (!shot.isEmpty())
            QVERIFY(window.screen()->grabWindow(0).save(shot));
    }

    void dockControlsStayInsideAndApartThroughASeries() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(300);
        auto *parameters = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
        auto *chart = window.findChild<QDockWidget *>(QStringLiteral("chartDock"));
        for (QDockWidget *dock : {chart, parameters}) {
            checkDock(window, dock);
            if (QTest::currentTestFailed())
                return;
        }
        runSeries(window);
        checkDock(window, parameters);
    }

private:
    // Shows the window as on a first run and runs a small series in it.
    void runSeries(MainWindow &window) {
        auto *panel = window.findChild<QColorimeterDlg *>();
        panel->setMessageBoxesShown(false);
        panel->setLabValues(50, 120, 120);
        QVERIFY(QMetaObject::invokeMethod(panel, "CreateLabImgs"));
        QCOMPARE(panel->lastSeriesReport().written, panel->lastSeriesReport().total);
        QTest::qWait(300);
    }

    void checkDock(MainWindow &window, QDockWidget *dock) {
        dock->raise();
        QTest::qWait(100);
        const QRect windowRect = globalRect(&window);
        // What the window keeps for itself: the dock tabs and the status bar.
        QList<QWidget *> windowParts{window.statusBar()};
        for (QTabBar *tabs : window.findChildren<QTabBar *>())
            if (tabs->isVisible() && tabs->parentWidget() == &window)
                windowParts << tabs;
        // The title bar's buttons are the dock's own; its content is what must fit.
        const QList<QWidget *> controls = visibleControls(dock->widget());
        QVERIFY2(!controls.isEmpty(), qPrintable(dock->windowTitle()));
        for (int i = 0; i < controls.size(); ++i) {
            const QRect at = globalRect(controls[i]);
            if (!scrolls(controls[i], dock->widget())) {
                QVERIFY2(windowRect.contains(at),
                         qPrintable(describe(controls[i]) + " lies outside the window"));
                for (QWidget *part : windowParts)
                    QVERIFY2(!at.intersects(globalRect(part)),
                             qPrintable(describe(controls[i]) + " lies over " + describe(part)));
            }
            for (int j = i + 1; j < controls.size(); ++j)
                QVERIFY2(!at.intersects(globalRect(controls[j])),
                         qPrintable(describe(controls[i]) + " overlaps " + describe(controls[j])));
            // Squeezed below its own minimum, a control is drawn cut off or over its neighbours.
            QVERIFY2(controls[i]->height() >= controls[i]->minimumSizeHint().height(),
                     qPrintable(describe(controls[i]) + " is squeezed"));
        }
    }

    TemporaryDriveRoot root;
    QTemporaryDir settingsFolder;
};

QTEST_MAIN(WindowFitsTest)
#include "test_windowfits.moc"
