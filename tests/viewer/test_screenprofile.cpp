// SPDX-License-Identifier: GPL-3.0-or-later
#include "displaycolour.h"

#include <QFile>
#include <QGuiApplication>
#include <QTest>
#include <lcms2.h>
#include <opencv2/core.hpp>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

const QString colord = QStringLiteral("/usr/share/color/icc/colord/");

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets the root window's _ICC_PROFILE as a colour manager does; empty bytes delete it.
void setRootProfile(const QByteArray &icc) {
    xcb_connection_t *connection =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const char name[] = "_ICC_PROFILE";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (icc.isEmpty())
        xcb_delete_property(connection, root, atom->atom);
    else
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL,
                            8, static_cast<uint32_t>(icc.size()), icc.constData());
    std::free(atom);
    // A round trip, so that the server has the property before it is read.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

class ScreenProfileTest : public QObject {
    Q_OBJECT

private slots:
    void displayConvertsToTheRootWindowsProfile_data();
    void displayConvertsToTheRootWindowsProfile();
};

void ScreenProfileTest::displayConvertsToTheRootWindowsProfile_data() {
    QTest::addColumn<QByteArray>("icc");
    QTest::addColumn<QString>("screenFile");
    const QString adobe = colord + "AdobeRGB1998.icc";
    QTest::newRow("Adobe RGB") << fileBytes(adobe) << adobe;
    QTest::newRow("none") << QByteArray() << QString();
    QTest::newRow("unreadable") << QByteArray("not a profile") << QString();
    QTest::newRow("grey") << fileBytes("/usr/share/color/icc/Gray.icc") << QString();
}

void ScreenProfileTest::displayConvertsToTheRootWindowsProfile() {
    QFETCH(QByteArray, icc);
    QFETCH(QString, screenFile);
    QVERIFY(qGuiApp->nativeInterface<QNativeInterface::QX11Application>());
    setRootProfile(icc);
    DisplayColour display;
    cmsHPROFILE screen = screenFile.isEmpty()
                             ? cmsCreate_sRGBProfile()
                             : cmsOpenProfileFromFile(screenFile.toUtf8().constData(), "r");
    char description[256] = {};
    cmsGetProfileInfoASCII(screen, cmsInfoDescription, "en", "US", description, sizeof description);
    QCOMPARE(display.screenProfile()->description(), QString(description));

    // A ProPhoto colour, as Little CMS brings it to that screen.
    const ColourProfilePtr proPhoto = ColourProfile::fromFile(colord + "ProPhotoRGB.icc");
    cmsHPROFILE source =
        cmsOpenProfileFromFile((colord + "ProPhotoRGB.icc").toUtf8().constData(), "r");
    cmsHTRANSFORM reference =
        cmsCreateTransform(source, TYPE_BGR_8, screen, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, 0);
    const cv::Vec3b stored(40, 160, 90);
    cv::Vec3b expected;
    cmsDoTransform(reference, stored.val, expected.val, 1);
    cmsDeleteTransform(reference);
    cmsCloseProfile(source);
    cmsCloseProfile(screen);
    cv::Mat shown(1, 1, CV_8UC4, cv::Scalar(stored[0], stored[1], stored[2], 255));
    QVERIFY(display.convert(shown, proPhoto));
    const cv::Vec4b pixel = shown.at<cv::Vec4b>(0, 0);
    QVERIFY(cv::norm(cv::Vec3b(pixel[0], pixel[1], pixel[2]), expected, cv::NORM_INF) <= 1);
}

QTEST_MAIN(ScreenProfileTest)
#include "test_screenprofile.moc"
