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
#include "../support/littlecms.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <algorithm>

namespace {

const QString colord = colordProfiles;
using Icc = std::vector<unsigned char>;

// Little CMS's own ICC L*a*b* (D50, relative colorimetric) of 16-bit BGR pixels in `profile`.
cv::Mat referenceLab(const cv::Mat &bgr16, const QString &profile) {
    const LcmsTransform toLab =
        labTransform(openProfile(profile), TYPE_BGR_16, true, cmsFLAGS_NOOPTIMIZE);
    cv::Mat out(bgr16.size(), CV_64FC3);
    cmsDoTransform(toLab.get(), bgr16.clone().data, out.data, cmsUInt32Number(bgr16.total()));
    return out;
}

// Colours spread over ProPhoto's gamut, rendered into it by Little CMS from L*a*b*.
cv::Mat proPhotoPicture() {
    cv::Mat lab(40, 60, CV_64FC3);
    for (int y = 0; y < lab.rows; ++y)
        for (int x = 0; x < lab.cols; ++x)
            lab.at<cv::Vec3d>(y, x) = cv::Vec3d(20 + y * 1.5, -60 + x * 2, 50 - y * 2.5);
    cv::Mat bgr(lab.size(), CV_16UC3);
    cmsDoTransform(labTransform(openProfile(colord + "ProPhotoRGB.icc"), TYPE_BGR_16, false).get(),
                   lab.data, bgr.data, cmsUInt32Number(lab.total()));
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
    void initTestCase() {
        QVERIFY(folder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
        picture = proPhotoPicture();
        proPhotoFile = folder.filePath("prophoto.tif");
        QVERIFY(writeImageRectWithProfile(picture, cv::Rect(0, 0, picture.cols, picture.rows),
                                          proPhotoFile,
                                          fileBytes<Icc>(colord + "ProPhotoRGB.icc")));
    }

    void init() {
        // The window takes the kept choice as it starts.
        QSettings settings(QStringLiteral("Vexmira"), QStringLiteral("Viewer"));
        settings.clear();
        settings.setValue(QStringLiteral("colour/encoding"), QStringLiteral("icc"));
    }

    void cleanup() { LabEncodingChoice::instance().set(LabEncoding::Linear); }

    void readsThroughItsProfileAndAssignRemoveUndoChangeOnlyThat() {
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

        auto *commands = window.findChild<PictureProfileCommands *>();
        auto *history = window.findChild<ImageHistory *>();
        const uchar *pixels = canvas.image(true, -1, false).data;
        const QPoint pixel(30, 20);
        const auto readAs = [&](const char *profile) {
            return readoutText(
                referenceLab(picture, colord + profile).at<cv::Vec3d>(pixel.y(), pixel.x()));
        };

        QCOMPARE(commands->assignFile(colord + "AdobeRGB1998.icc"), QString());
        hover(canvas, pixel);
        QCOMPARE(readout->labText(), readAs("AdobeRGB1998.icc"));
        QVERIFY(profileLabel(window).contains("Adobe"));
        QVERIFY(commands->removeAction()->isEnabled());

        commands->removeProfile();
        hover(canvas, pixel);
        QCOMPARE(profileLabel(window), QString("sRGB (assumed)"));
        QCOMPARE(readout->labText(), readAs("sRGB.icc"));
        QVERIFY(!commands->removeAction()->isEnabled());
        QVERIFY(canvas.image(true, -1, false).data == pixels);
        QCOMPARE(cv::norm(canvas.image(true, -1, false), picture, cv::NORM_INF), 0.0);

        QVERIFY(history->undo());
        QVERIFY(profileLabel(window).contains("Adobe"));
        QVERIFY(history->undo());
        hover(canvas, pixel);
        QCOMPARE(profileLabel(window), QString("ProPhoto RGB"));
        QCOMPARE(readout->labText(), readAs("ProPhotoRGB.icc"));
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

    void saveEmbedsTheProfileOnlyInTheIccMode() {
        MainWindow window(false);
        QVERIFY(window.openFile(proPhotoFile));
        QCVImage &canvas = *window.findChild<QImageScrollArea *>()->imageCanvas();
        const Icc proPhoto = fileBytes<Icc>(colord + "ProPhotoRGB.icc");
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

    void unusableProfilesAreLeftOutOrRefused() {
        Icc truncated = fileBytes<Icc>(colord + "ProPhotoRGB.icc");
        truncated.resize(200);
        Icc hostile = fileBytes<Icc>(colord + "ProPhotoRGB.icc");
        // A tag count far beyond the file.
        hostile[128] = hostile[129] = 0x7f;
        const struct {
            const char *name;
            Icc icc;
            const char *cause;
        } embedded[] = {
            {"truncated.png", truncated, "left out"},
            {"hostile.png", hostile, "left out"},
            {"lab.tif", fileBytes<Icc>("/usr/share/color/icc/ITULab.icc"), "for Lab colours"},
            {"grey.png", fileBytes<Icc>("/usr/share/color/icc/Gray.icc"), "left out"},
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
        QVERIFY(writeFileBytes(notAProfile, "not a profile at all"));
        QVERIFY(!commands->assignFile(notAProfile).isEmpty());
        QVERIFY(commands->assignFile("/usr/share/color/icc/Gray.icc")
                    .contains("grey", Qt::CaseInsensitive));
        QVERIFY(commands->assignFile("/usr/share/color/icc/ITULab.icc").contains("Lab"));
        QVERIFY(!canvas.pictureProfile());
    }

    void canvasShowsInPlaceWritesColourManaged() {
        // Uniform pictures with a part written in place later, as Set Mean Lab does, against
        // Little CMS's own 8-bit transform to the screen (sRGB without a colour manager).
        const struct {
            const char *profile;
            cmsUInt32Number format;
            cv::Mat picture;
            cv::Scalar written;
        } cases[] = {
            {"colord/ProPhotoRGB.icc", TYPE_BGR_8,
             cv::Mat(40, 60, CV_8UC3, cv::Scalar(40, 160, 90)), cv::Scalar(200, 30, 120)},
            {"Gray.icc", TYPE_GRAY_8, cv::Mat(40, 60, CV_8UC1, cv::Scalar(70)), cv::Scalar(180)},
        };
        const cv::Rect part(10, 5, 20, 10);
        for (const auto &row : cases) {
            const QString path = QStringLiteral("/usr/share/color/icc/") + row.profile;
            QCVImage canvas;
            QVERIFY(canvas.showNewImage(row.picture));
            canvas.setPictureProfile(ColourProfile::fromFile(path));
            QVERIFY2(canvas.pictureProfile(), row.profile);
            canvas.showCurrentImage();
            canvas.image(true, -1, false)(part).setTo(row.written);
            canvas.showCurrentImage(part);

            const LcmsProfile srgb(cmsCreate_sRGBProfile());
            const LcmsTransform toScreen(cmsCreateTransform(openProfile(path).get(), row.format,
                                                            srgb.get(), TYPE_RGB_8,
                                                            INTENT_RELATIVE_COLORIMETRIC, 0));
            const QImage shown = canvas.grab().toImage();
            for (const QPoint at : {QPoint(12, 7), QPoint(2, 2)}) {
                cv::Vec3b rgb;
                cmsDoTransform(toScreen.get(), canvas.image(true, -1, false).ptr(at.y(), at.x()),
                               rgb.val, 1);
                const QColor colour = shown.pixelColor(at);
                const cv::Vec3d onScreen(colour.red(), colour.green(), colour.blue());
                QVERIFY2(cv::norm(onScreen - cv::Vec3d(rgb), cv::NORM_INF) <= 1,
                         qPrintable(QStringLiteral("%1: %2").arg(row.profile, colour.name())));
            }
        }
        // Without a profile, outside the ICC mode, the picture is its own numbers again.
        QCVImage canvas;
        QVERIFY(canvas.showNewImage(cases[0].picture));
        LabEncodingChoice::instance().set(LabEncoding::Linear);
        canvas.showCurrentImage();
        QCOMPARE(canvas.grab().toImage().pixelColor(2, 2), QColor(90, 160, 40));
    }

private:
    QTemporaryDir folder;
    cv::Mat picture;
    QString proPhotoFile;
};

QTEST_MAIN(TestPictureProfiles)
#include "test_pictureprofiles.moc"
