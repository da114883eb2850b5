// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartpanel.h"
#include "imagehistory.h"
#include "mainwindow.h"
#include "qimagescrollarea.h"
#include "shortcutstable.h"
#include "userguide.h"
#include "windowplacement.h"

#include "../support/actionlookup.h"
#include "../support/driveroot.h"
#include "../support/modalanswer.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QtTest>
#include <opencv2/imgcodecs.hpp>

#include <functional>
#include <memory>

namespace {

const char *const startupName = "Images-Acquisitions/20130304_kleurmetingen/DSC_1245.tif";

QString shownFileName(MainWindow &window) {
    return window.statusBar()->findChild<QLabel *>(QStringLiteral("fileNameLabel"))->text();
}

// Records every message box that comes up while it lives and answers it with `button`.
class QuestionWatch {
public:
    explicit QuestionWatch(QMessageBox::StandardButton answer) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == last)
                return;
            last = box;
            buttons << box->standardButtons();
            box->button(answer)->click();
        });
        timer.start();
    }
    QList<QMessageBox::StandardButtons> buttons;

private:
    QTimer timer;
    QMessageBox *last = nullptr;
};

QPushButton *buttonNamed(QWidget *owner, const QString &text) {
    for (QPushButton *button : owner->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

QStringList textsOf(const QList<QAction *> &actions) {
    QStringList texts;
    for (QAction *action : actions)
        texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
    return texts;
}

} // namespace

class WindowCareTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        Q_INIT_RESOURCE(resources);
        QVERIFY(settingsFolder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    }

    void init() {
        root = std::make_unique<TemporaryDriveRoot>();
        QVERIFY(root->isValid());
        QSettings(QStringLiteral("Vexmira"), QStringLiteral("Viewer")).clear();
        QVERIFY(!writeImage(startupName, 320, 240).isEmpty());
    }

    void cleanup() { root.reset(); }

    void changedPictureAsksBeforeQuitOpenNewAndDrop() {
        const QString other = writeImage("other.png", 64, 48);
        const QMessageBox::StandardButtons asked =
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        // Each command, and whether it went on (the window's picture no longer the start-up one).
        const struct {
            const char *name;
            // Told whether the command is to go on, so that Open's file dialog is answered only
            // when it comes.
            std::function<void(MainWindow &, bool)> run;
        } commands[] = {
            {"Quit", [](MainWindow &window, bool) { actionNamed(window, "&Quit")->trigger(); }},
            {"Open",
             [&](MainWindow &window, bool goesOn) {
                 if (goesOn)
                     answerNextFileDialog(other);
                 actionNamed(window, "&Open...")->trigger();
             }},
            {"New", [](MainWindow &window, bool) { actionNamed(window, "&New image")->trigger(); }},
            {"drop", [&](MainWindow &window, bool) { window.openFile(other); }},
        };
        const auto wentOn = [](MainWindow &window) {
            return !window.isVisible() || shownFileName(window) != "DSC_1245.tif";
        };
        const std::pair<bool, QMessageBox::StandardButton> situations[] = {
            {false, QMessageBox::Cancel},
            {true, QMessageBox::Cancel},
            {true, QMessageBox::Discard}};
        for (const auto &command : commands) {
            for (const auto &[changed, answer] : situations) {
                const QString label = QString("%1, %2changed, answer %3")
                                          .arg(command.name, changed ? "" : "un")
                                          .arg(answer);
                MainWindow window;
                window.show();
                QVERIFY(QTest::qWaitForWindowExposed(&window));
                if (changed)
                    actionNamed(window, "Shading Correction...")->trigger();
                const bool expectedToGoOn = !changed || answer == QMessageBox::Discard;
                QuestionWatch watch(answer);
                command.run(window, expectedToGoOn);
                const QList<QMessageBox::StandardButtons> expectedQuestions =
                    changed ? QList{asked} : QList<QMessageBox::StandardButtons>();
                QVERIFY2(watch.buttons == expectedQuestions, qPrintable(label));
                QVERIFY2(wentOn(window) == expectedToGoOn, qPrintable(label));
            }
        }

        // "Save" saves first, then the command goes on; a picture just saved asks nothing more.
        MainWindow window;
        window.show();
        actionNamed(window, "Shading Correction...")->trigger();
        const QString saved = root->filePath("kept.tif");
        answerNextFileDialog(saved);
        QuestionWatch watch(QMessageBox::Save);
        actionNamed(window, "&New image")->trigger();
        QCOMPARE(watch.buttons.size(), 1);
        QVERIFY(QFile::exists(saved));
        QCOMPARE(shownFileName(window), QString());
        QVERIFY(window.close());
        QCOMPARE(watch.buttons.size(), 1);
    }

    void savingTellsWhatWasWrittenAndCopyAndExportConfirm() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const cv::Rect blue = window.findChild<QImageScrollArea *>()->imageCanvas()->savedRect();
        const QString target = root->filePath("out/DSC_1245-rect.png");
        QDir().mkpath(root->filePath("out"));

        // The dialog offers the picture's name with "-rect", in its folder.
        QString offered;
        answerNextModal<QFileDialog>([&](QFileDialog *dialog) {
            offered = dialog->selectedFiles().value(0);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(target);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        });
        actionNamed(window, "&Save...")->trigger();
        QCOMPARE(QFileInfo(offered).fileName(), QString("DSC_1245-rect.tif"));
        QCOMPARE(QFileInfo(offered).absolutePath(),
                 QFileInfo(root->filePath(startupName)).absolutePath());
        const cv::Mat written = cv::imread(target.toStdString(), cv::IMREAD_UNCHANGED);
        QCOMPARE(written.cols, blue.width);
        const QString said = window.statusBar()->currentMessage();
        QVERIFY2(said.startsWith(QString("Saved %1 × %2 pixels (the blue rectangle) to ")
                                     .arg(blue.width)
                                     .arg(blue.height)),
                 qPrintable(said));
        QVERIFY2(said.endsWith("DSC_1245-rect.png"), qPrintable(said));

        // Copy, then Export, each confirmed.
        auto *parameters = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
        QPushButton *copy = buttonNamed(parameters, "Copy");
        QVERIFY(copy);
        QTRY_VERIFY(copy->isEnabled());
        copy->click();
        QVERIFY2(window.statusBar()->currentMessage().startsWith("Copied to the clipboard: "),
                 qPrintable(window.statusBar()->currentMessage()));

        auto *chart = window.findChild<QDockWidget *>(QStringLiteral("chartDock"));
        chart->raise();
        auto *panel = qobject_cast<ChartPanel *>(chart->widget());
        panel->refresh();
        QPushButton *exportButton = buttonNamed(panel, "Export...");
        QVERIFY(exportButton);
        answerNextFileDialog(root->filePath("chart.csv"));
        QTest::mouseClick(exportButton, Qt::LeftButton);
        QVERIFY(QFile::exists(root->filePath("chart.csv")));
        QVERIFY2(window.statusBar()->currentMessage().contains("chart.csv"),
                 qPrintable(window.statusBar()->currentMessage()));
    }

    void keyWWorksFromADockButtonButNotInASpinBox() {
        MainWindow window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *history = window.findChild<ImageHistory *>();
        auto *parameters = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
        QPushButton *button = nullptr;
        for (QPushButton *candidate : parameters->findChildren<QPushButton *>())
            if (!button && candidate->isEnabled() && candidate->isVisible())
                button = candidate;
        QSpinBox *spin = parameters->findChildren<QSpinBox *>().value(0);
        QVERIFY(button && spin);

        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        QTest::keyClick(button, Qt::Key_W);
        QCOMPARE(history->stepCount(), 1);
        QCOMPARE(actionNamed(window, "&Undo")->toolTip(),
                 QString("Undo Warp and Shading Correction"));

        // Typed into a field, W is a letter, not a command.
        spin->setFocus();
        QTRY_VERIFY(spin->hasFocus());
        QTest::keyClick(spin, Qt::Key_W);
        QCOMPARE(history->stepCount(), 1);
    }

    void menusTheShortcutsTableAndTheUserGuide() {
        MainWindow window;
        const QList<QAction *> menus = window.menuBar()->actions();
        QCOMPARE(textsOf(menus),
                 QStringList({"&File", "&Edit", "&Image", "&Colour", "&View", "&Help"}));
        QCOMPARE(textsOf(menus[3]->menu()->actions()),
                 QStringList({"Warp...", "Shading Correction...", "Warp and Shading Correction",
                              "|", "Assign Profile...", "Remove Profile", "|", "Find Chart",
                              "Make Profile..."}));
        QCOMPARE(textsOf(menus[4]->menu()->actions()).value(0), QString("&Zoom to Fit"));
        QCOMPARE(textsOf(menus[5]->menu()->actions()),
                 QStringList({"&User Guide", "&Keyboard Shortcuts", "|", "&About"}));

        // The table, built from the actions: every shortcut of the window, each command once.
        QMap<QString, QString> shown;
        answerNextModal<ShortcutsDialog>([&](ShortcutsDialog *dialog) {
            auto *table = dialog->findChild<QTableWidget *>();
            for (int row = 0; row < table->rowCount(); ++row) {
                QVERIFY(!shown.contains(table->item(row, 0)->text()));
                shown[table->item(row, 0)->text()] = table->item(row, 1)->text();
            }
            dialog->reject();
        });
        actionNamed(window, "&Keyboard Shortcuts")->trigger();
        QCOMPARE(shown.value("Warp and Shading Correction"), QString("W"));
        QCOMPARE(shown.value("Zoom to Fit"),
                 QKeySequence("Ctrl+Shift+F").toString(QKeySequence::NativeText));
        QCOMPARE(shown.value("Open"),
                 QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText));
        int withKeys = 0;
        for (QAction *action : window.findChildren<QAction *>())
            withKeys += action->shortcuts().isEmpty() ? 0 : 1;
        QCOMPARE(shown.size(), withKeys);

        // Mnemonics, doubled ampersands and ellipses as a reader expects them.
        QAction odd("Load && &Go...");
        odd.setShortcuts({QKeySequence("Ctrl+G"), QKeySequence("F7")});
        QAction none("&Nothing");
        const QList<ShortcutRow> rows = shortcutRows({&odd, &none, &odd});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].command, QString("Load & Go"));
        QCOMPARE(rows[0].keys, QString("Ctrl+G, F7"));

        // The guide is the README's usage.
        const QString guide = UserGuideDialog::guideText();
        QVERIFY(guide.contains("press W"));
        QVERIFY(guide.contains("## Reading a colour chart"));
        // Not the batch program's section, and no pictures that live outside the program.
        QVERIFY(!guide.contains("vexmira-batch series"));
        QVERIFY(!guide.contains("!["));

        actionNamed(window, "&User Guide")->trigger();
        auto *browser = window.findChild<QTextBrowser *>(QStringLiteral("userGuideBrowser"));
        QVERIFY(browser && browser->isVisible());
        QVERIFY(browser->toPlainText().contains("Reading a colour chart"));
    }

    void rememberedGeometryIsPlacedOnAScreen() {
        const QRect primary(0, 0, 1366, 728);
        const QRect second(1366, 0, 1920, 1040);
        const struct {
            QRect frame;
            QRect expected;
        } cases[] = {
            {{100, 50, 800, 600}, {100, 50, 800, 600}},     // fits: left alone
            {{100, 20, 800, 800}, {100, 0, 800, 728}},      // too tall: shrunk, moved up
            {{500, 400, 800, 600}, {500, 128, 800, 600}},   // hangs off the bottom
            {{3000, 100, 800, 600}, {2486, 100, 800, 600}}, // off the second screen's right
            {{1400, 100, 900, 700}, {1400, 100, 900, 700}}, // on the second screen
            {{5000, 3000, 800, 600}, {283, 64, 800, 600}},  // off every screen: centred on primary
            {{-4000, 100, 2000, 1200}, {0, 0, 1366, 728}},  // off every screen and too large
        };
        for (const auto &c : cases)
            QCOMPARE(placedOnScreens(c.frame, {primary, second}), c.expected);
    }

    void chartSquaresShowOnlyWithTheChartDockInFront() {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *chart = window.findChild<QDockWidget *>(QStringLiteral("chartDock"));
        auto *parameters = window.findChild<QDockWidget *>(QStringLiteral("parametersDock"));
        // The panel draws the squares while it is visible; tabbed behind, it is not.
        QTRY_VERIFY(!chart->widget()->isVisible());
        chart->raise();
        QTRY_VERIFY(chart->widget()->isVisible());
        parameters->raise();
        QTRY_VERIFY(!chart->widget()->isVisible());
        // On its own, or floating, the dock is in front.
        parameters->close();
        QTRY_VERIFY(chart->widget()->isVisible());
        parameters->show();
        chart->setFloating(true);
        QTRY_VERIFY(chart->widget()->isVisible());
        chart->close();
        QVERIFY(!chart->widget()->isVisible());
    }

private:
    QString writeImage(const QString &name, int width, int height) {
        const QString path = root->filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        const cv::Mat image(height, width, CV_8UC3, cv::Scalar(40, 90, 160));
        return cv::imwrite(path.toStdString(), image) ? path : QString();
    }

    std::unique_ptr<TemporaryDriveRoot> root;
    QTemporaryDir settingsFolder;
};

QTEST_MAIN(WindowCareTest)
#include "test_windowcare.moc"
