// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofile.h"
#include "imagefiles.h"
#include "imagehistory.h"
#include "imagereadout.h"
#include "labencoding.h"
#include "mainwindow.h"
#include "measuredgroup.h"
#include "picturefile.h"
#include "pictureprofilecommands.h"
#include "qimagescrollarea.h"

#include "../support/actionlookup.h"

#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <memory>

namespace {

const QString colord = QStringLiteral("/usr/share/color/icc/colord/");

std::vector<unsigned char> fileBytes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

// Little CMS's own ICC L*a*b* (D50, relative colorimetric) of 16-bit BGR pixels in `profile`.
cv::Mat referenceLab(const cv::Mat &bgr16, const QString &profile) {
    cmsHPROFILE from = cmsOpenProfileFromFile(profile.toUtf8().constData(), "r");
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_BGR_16, lab, TYPE_Lab_DBL,
                                                 INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    const cv::Mat pixels = bgr16.clone();
    cv::Mat out(pixels.size(), CV_64FC3);
    cmsDoTransform(transform, pixels.data, out.data, static_cast<cmsUInt32Number>(pixels.total()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(lab);
    cmsCloseProfile(from);
    return out;
}

// Colours spread over ProPhoto's gamut, rendered into it by Little CMS from L*a*b*.
cv::Mat proPhotoPicture() {
    cv::Mat lab(40, 60, CV_64FC3);
    for (int y = 0; y < lab.rows; ++y)
        for (int x = 0; x < lab.cols; ++x)
            lab.at<cv::Vec3d>(y, x) = cv::Vec3d(20 + y * 1.5, -60 + x * 2, 50 - y * 2.5);
    cmsHPROFILE from = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE to = cmsOpenProfileFromFile((colord + "ProPhotoRGB.icc").toUtf8().constData(), "r");
    cmsHTRANSFORM transform =
        cmsCreateTransform(from, TYPE_Lab_DBL, to, TYPE_BGR_16, INTENT_RELATIVE_COLORIMETRIC, 0);
    cv::Mat bgr(lab.size(), CV_16UC3);
    cmsDoTransform(transform, lab.data, bgr.data, static_cast<cmsUInt32Number>(lab.total()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(to);
    cmsCloseProfile(from);
    return bgr;
}

QString readoutText(const cv::Vec3d &lab) {
    QString text = QString::asprintf("L* %.1f a* %.1f b* %.1f", lab[0], lab[1], lab[2]);
    return text.replace(QStringLiteral("-0.0"), QStringLiteral("0.0"));
}

void hover(QCVImage &canvas, const QPoint &pixel) {
    canvas.setScale(2.0);
    const QPointF scale = canvas.displayScale();
    const QPointF position((pixel.x() + 0.5) * scale.x(), (pixel.y() + 0.5) * scale.y());
    QMouseEvent move(QEvent::MouseMove, position, canvas.mapToGlobal(position), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&canvas, &move);
}

QString profileLabel(MainWindow &window) {
    return window.findChild<QLabel *>(QStringLiteral("pictureProfileLabel"))->text();
}

} // namespace

class TestPictureProfiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void proPhotoPictureReadsThroughItsProfile();
    void assignRemoveAndUndoChangeTheProfileOnly();
    void saveEmbedsTheProfileOnlyInTheIccMode();
    void unusableProfilesAreLeftOutOrRefused();
    void canvasShowsInPlaceWritesColourManaged();

private:
    QTemporaryDir folder;
    cv::Mat picture;
    QString proPhotoFile;
};

void TestPictureProfiles::initTestCase() {
    QVERIFY(folder.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    picture = proPhotoPicture();
    proPhotoFile = folder.filePath("prophoto.tif");
    QVERIFY(writeImageRectWithProfile(picture, cv::Rect(0, 0, picture.cols, picture.rows),
                                      proPhotoFile, fileBytes(colord + "ProPhotoRGB.icc")));
}

void TestPictureProfiles::init() {
    // The window takes the kept choice as it starts.
    QSettings settings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"));
    settings.clear();
    settings.setValue(QStringLiteral("colour/encoding"), QStringLiteral("icc"));
}

void TestPictureProfiles::cleanup() {
    LabEncodingChoice::instance().set(LabEncoding::Linear);
}

void TestPictureProfiles::proPhotoPictureReadsThroughItsProfile() {
    MainWindow window(false);
    QVERIFY(window.openFile(proPhotoFile));
    QCOMPARE(profileLabel(window), QString("ProPhoto RGB"));
    QCVImage &canvas = *window.findChild<QImageScrollArea *>()->imageCanvas();
    QCOMPARE(cv::norm(canvas.image(true, -1, false), picture, cv::NORM_INF), 0.0);

    const cv::Mat expected = referenceLab(picture, colord + "ProPhotoRGB.icc");
    const auto *readout = window.findChild<ImageReadout *>();
    for (const QPoint pixel : {QPoint(3, 4), QPoint(41, 17), QPoint(59, 39)}) {
        hover(canvas, pixel);
        QCOMPARE(readout->labText(), readoutText(expected.at<cv::Vec3d>(pixel.y(), pixel.x())));
    }

    // The Measured group's rectangle: corners 0, 1 and 3 of the inner quarter.
    auto *group = window.findChild<MeasuredGroup *>();
    const cv::Rect rect(cv::Point(canvas.corners[0]), cv::Point(canvas.corners[2]));
    QVERIFY(rect.area() > 0);
    QTRY_VERIFY(group->shownStats() && group->shownStats()->count == rect.area());
    const cv::Scalar mean = cv::mean(expected(rect));
    for (int c = 0; c < 3; ++c)
        QVERIFY2(std::abs(group->shownStats()->mean[c] - mean[c]) < 0.01,
                 qPrintable(QString::number(group->shownStats()->mean[c] - mean[c])));

    // Shown on the screen through the profile: a ProPhoto green is not the sRGB of its numbers.
    const QColor shown = canvas.grab().toImage().pixelColor(0, 0);
    const cv::Vec3w stored = picture.at<cv::Vec3w>(0, 0);
    QVERIFY(std::abs(shown.green() - stored[1] / 257) > 10);
}

void TestPictureProfiles::assignRemoveAndUndoChangeTheProfileOnly() {
    MainWindow window(false);
    QVERIFY(window.openFile(proPhotoFile));
    QCVImage &canvas = *window.findChild<QImageScrollArea *>()->imageCanvas();
    auto *commands = window.findChild<PictureProfileCommands *>();
    auto *history = window.findChild<ImageHistory *>();
    const auto *readout = window.findChild<ImageReadout *>();
    const uchar *pixels = canvas.image(true, -1, false).data;
    const QPoint pixel(30, 20);
    const cv::Vec3d inProPhoto =
        referenceLab(picture, colord + "ProPhotoRGB.icc").at<cv::Vec3d>(pixel.y(), pixel.x());
    const cv::Vec3d inAdobe =
        referenceLab(picture, colord + "AdobeRGB1998.icc").at<cv::Vec3d>(pixel.y(), pixel.x());
    const cv::Vec3d inSrgb =
        referenceLab(picture, colord + "sRGB.icc").at<cv::Vec3d>(pixel.y(), pixel.x());

    QCOMPARE(commands->assignFile(colord + "AdobeRGB1998.icc"), QString());
    hover(canvas, pixel);
    QCOMPARE(readout->labText(), readoutText(inAdobe));
    QVERIFY(profileLabel(window).contains("Adobe"));
    QVERIFY(commands->removeAction()->isEnabled());

    commands->removeProfile();
    hover(canvas, pixel);
    QCOMPARE(profileLabel(window), QString("sRGB (assumed)"));
    QCOMPARE(readout->labText(), readoutText(inSrgb));
    QVERIFY(!commands->removeAction()->isEnabled());
    QVERIFY(canvas.image(true, -1, false).data == pixels);
    QCOMPARE(cv::norm(canvas.image(true, -1, false), picture, cv::NORM_INF), 0.0);

    QVERIFY(history->undo());
    QVERIFY(profileLabel(window).contains("Adobe"));
    QVERIFY(history->undo());
    hover(canvas, pixel);
    QCOMPARE(profileLabel(window), QString("ProPhoto RGB"));
    QCOMPARE(readout->labText(), readoutText(inProPhoto));
    QVERIFY(history->redo());
    QVERIFY(profileLabel(window).contains("Adobe"));

    // A correction makes a new picture in the same profile; undoing it keeps that profile.
    QAction *warp = actionNamed(window, "Warp...");
    warp->trigger();
    QVERIFY(canvas.image(true, -1, false).data != pixels);
    QVERIFY(profileLabel(window).contains("Adobe"));
    QVERIFY(history->undo());
    QVERIFY(profileLabel(window).contains("Adobe"));

    // In the old modes a picture without a profile names none.
    commands->removeProfile();
    LabEncodingChoice::instance().set(LabEncoding::Linear);
    QCOMPARE(profileLabel(window), QString());
}

void TestPictureProfiles::saveEmbedsTheProfileOnlyInTheIccMode() {
    MainWindow window(false);
    QVERIFY(window.openFile(proPhotoFile));
    QCVImage &canvas = *window.findChild<QImageScrollArea *>()->imageCanvas();
    const std::vector<unsigned char> proPhoto = fileBytes(colord + "ProPhotoRGB.icc");
    for (const char *name : {"saved.png", "saved.tif", "saved.jpg"}) {
        const QString path = folder.filePath(name);
        LabEncodingChoice::instance().set(LabEncoding::Icc);
        QVERIFY(canvas.saveImage(path));
        QVERIFY(readEmbeddedProfile(path).icc == proPhoto);
        QCOMPARE(readPictureFile(path).icc, proPhoto);

        // The old modes write what they always wrote: no profile, the same bytes.
        LabEncodingChoice::instance().set(LabEncoding::Srgb);
        QVERIFY(canvas.saveImage(path));
        QVERIFY(!readEmbeddedProfile(path).found());
        const QString plain = folder.filePath(QStringLiteral("plain-") + name);
        QVERIFY(writeImageRect(canvas.image(true, -1, false), canvas.savedRect(), plain));
        QCOMPARE(fileBytes(path), fileBytes(plain));
    }
    // Without a profile the ICC mode's numbers are sRGB, and say so.
    window.findChild<PictureProfileCommands *>()->removeProfile();
    LabEncodingChoice::instance().set(LabEncoding::Icc);
    QVERIFY(canvas.saveImage(folder.filePath("assumed.png")));
    QVERIFY(readEmbeddedProfile(folder.filePath("assumed.png")).icc.size() > 0);
    QVERIFY(canvas.saveImage(folder.filePath("assumed.bmp")));
}

void TestPictureProfiles::unusableProfilesAreLeftOutOrRefused() {
    std::vector<unsigned char> truncated = fileBytes(colord + "ProPhotoRGB.icc");
    truncated.resize(200);
    std::vector<unsigned char> hostile = fileBytes(colord + "ProPhotoRGB.icc");
    // A tag count far beyond the file.
    hostile[128] = hostile[129] = 0x7f;
    const struct {
        const char *name;
        std::vector<unsigned char> icc;
        const char *cause;
    } embedded[] = {
        {"truncated.png", truncated, "left out"},
        {"hostile.png", hostile, "left out"},
        {"lab.tif", fileBytes("/usr/share/color/icc/ITULab.icc"), "for Lab colours"},
        {"grey.png", fileBytes("/usr/share/color/icc/Gray.icc"), "left out"},
    };
    MainWindow window(false);
    QCVImage &canvas = *window.findChild<QImageScrollArea *>()->imageCanvas();
    for (const auto &file : embedded) {
        const QString path = folder.filePath(file.name);
        QVERIFY(writeImageRectWithProfile(picture, cv::Rect(0, 0, 60, 40), path, file.icc));
        QVERIFY2(window.openFile(path), file.name);
        QVERIFY(!canvas.pictureProfile());
        QCOMPARE(profileLabel(window), QString("sRGB (assumed)"));
        QVERIFY2(window.statusBar()->currentMessage().contains(file.cause),
                 qPrintable(window.statusBar()->currentMessage()));
        QCOMPARE(cv::norm(canvas.image(true, -1, false), picture, cv::NORM_INF), 0.0);
    }

    auto *commands = window.findChild<PictureProfileCommands *>();
    const QString notAProfile = folder.filePath("notes.icc");
    QFile notes(notAProfile);
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a profile at all");
    notes.close();
    QVERIFY(!commands->assignFile(notAProfile).isEmpty());
    QVERIFY(commands->assignFile("/usr/share/color/icc/Gray.icc")
                .contains("grey", Qt::CaseInsensitive));
    QVERIFY(commands->assignFile("/usr/share/color/icc/ITULab.icc").contains("Lab"));
    QVERIFY(!canvas.pictureProfile());
}

void TestPictureProfiles::canvasShowsInPlaceWritesColourManaged() {
    // Uniform pictures with a part written in place later, as Set Mean Lab does.
    const struct {
        const char *profile;
        cmsUInt32Number format;
        cv::Mat picture;
        cv::Scalar written;
    } cases[] = {
        {"colord/ProPhotoRGB.icc", TYPE_BGR_8, cv::Mat(40, 60, CV_8UC3, cv::Scalar(40, 160, 90)),
         cv::Scalar(200, 30, 120)},
        {"Gray.icc", TYPE_GRAY_8, cv::Mat(40, 60, CV_8UC1, cv::Scalar(70)), cv::Scalar(180)},
    };
    for (const auto &row : cases) {
        const QString path = QStringLiteral("/usr/share/color/icc/") + row.profile;
        QCVImage canvas;
        QVERIFY(canvas.showNewImage(row.picture));
        canvas.setPictureProfile(ColourProfile::fromFile(path));
        QVERIFY2(canvas.pictureProfile(), row.profile);
        canvas.showCurrentImage();
        const cv::Rect part(10, 5, 20, 10);
        canvas.image(true, -1, false)(part).setTo(row.written);
        canvas.showCurrentImage(part);

        // Little CMS's own 8-bit transform to the screen, sRGB without a colour manager.
        cmsHPROFILE from = cmsOpenProfileFromFile(path.toUtf8().constData(), "r");
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHTRANSFORM toScreen =
            cmsCreateTransform(from, row.format, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
        const QImage shown = canvas.grab().toImage();
        for (const QPoint at : {QPoint(12, 7), QPoint(2, 2)}) {
            const cv::Mat stored = canvas.image(true, -1, false);
            cv::Vec3b rgb;
            cmsDoTransform(toScreen, stored.ptr(at.y(), at.x()), rgb.val, 1);
            const QColor colour = shown.pixelColor(at);
            QVERIFY2(std::abs(colour.red() - rgb[0]) <= 1 &&
                         std::abs(colour.green() - rgb[1]) <= 1 &&
                         std::abs(colour.blue() - rgb[2]) <= 1,
                     qPrintable(QString("%1 at %2,%3: %4 %5 %6, not %7 %8 %9")
                                    .arg(row.profile)
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(colour.red())
                                    .arg(colour.green())
                                    .arg(colour.blue())
                                    .arg(rgb[0])
                                    .arg(rgb[1])
                                    .arg(rgb[2])));
        }
        cmsDeleteTransform(toScreen);
        cmsCloseProfile(srgb);
        cmsCloseProfile(from);
    }
    // Without a profile, outside the ICC mode, the picture is its own numbers again.
    QCVImage canvas;
    QVERIFY(canvas.showNewImage(cases[0].picture));
    LabEncodingChoice::instance().set(LabEncoding::Linear);
    canvas.showCurrentImage();
    QCOMPARE(canvas.grab().toImage().pixelColor(2, 2), QColor(90, 160, 40));
}

QTEST_MAIN(TestPictureProfiles)
#include "test_pictureprofiles.moc"
