// SPDX-License-Identifier: GPL-3.0-or-later
// The window on an X server (xvfb-run), on the demo photograph: Colour > Find Chart, the demo
// reference loaded, a profile made; then the screen is kept in <output.png>. Fails when a step
// does not do what the dock says it did, or Assign to Picture does not give the picture the
// profile.

#include "chartpanel.h"
#include "chartprofiletools.h"
#include "demoreference.h"
#include "labspace.h"
#include "mainwindow.h"
#include "qcvimage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QScreen>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <string>

namespace {

int fail(const QString &why) {
    std::fprintf(stderr, "chart profile screenshot: %s\n", qPrintable(why));
    return 1;
}

QAction *actionNamed(const QWidget &window, const QString &text) {
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

int main(int argc, char **argv) {
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(resources);
    if (argc != 2)
        return fail(QStringLiteral("usage: chart_profile_screenshot <output.png>"));
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();

    const QTemporaryDir root;
    const std::string photo = root.filePath(QString::fromLatin1(demoPhotoInDrive)).toStdString();
    std::string error;
    if (!root.isValid() || !writeDemoPhotoWithReference(photo, error) ||
        !QDir::setCurrent(root.path()))
        return fail(QString::fromStdString(error));

    MainWindow window;
    window.setGeometry(0, 0, 1280, 800);
    window.show();
    auto *panel = window.findChild<ChartPanel *>();
    QAction *findChart = actionNamed(window, QStringLiteral("Find Chart"));
    if (!panel || !findChart || !actionNamed(window, QStringLiteral("Make Profile...")))
        return fail(QStringLiteral("no chart dock or no Colour > Find Chart and Make Profile..."));
    if (QAction *fit = actionNamed(window, QStringLiteral("&Fit to Window")))
        fit->trigger();
    if (!panel->loadReference(QString::fromStdString(demoReferencePath(photo))))
        return fail(panel->message());
    findChart->trigger();
    const QString found = window.statusBar()->currentMessage();
    if (!found.startsWith(QLatin1String("Found ColorChecker Classic 24 (4 x 6)")))
        return fail(QStringLiteral("the status bar says \"%1\"").arg(found));
    ChartProfileTools &tools = *panel->profileTools();
    // The demo photograph holds linear light.
    tools.setToneCurve(ToneCurve::Linear);
    if (!tools.makeProfile(root.filePath(QStringLiteral("camera.icc"))))
        return fail(tools.message());
    std::printf("%s\n%s\n", qPrintable(found), qPrintable(tools.fitSummary()));
    tools.assignToPicture();
    const ColourProfilePtr assigned = PictureProfileChoice::instance().value();
    if (!assigned || !assigned->description().startsWith(
                         QLatin1String("Camera profile from ColorChecker Classic 24")))
        return fail(QStringLiteral("Assign to Picture did not give the picture the profile"));

    int status = 1;
    QTimer::singleShot(1500, &window, [&] {
        if (!tools.fitTable()->isVisible())
            status = fail(QStringLiteral("the fit's table is not in view"));
        else if (window.screen()->grabWindow(0).save(output))
            status = 0;
        application.exit(status);
    });
    application.exec();
    return status;
}
