// SPDX-License-Identifier: GPL-3.0-or-later
// vexmira-batch profile and measure --find-chart as a process: the wiring of finding the
// chart, fitting and writing.
#include "batchprocess.h"
#include "demophoto.h"
#include "demoreference.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/resource.h>

#include <csignal>

TEST(BatchProfile, FindsTheChartMeasuresItAndWritesTheProfileKeepingTheOldOneOnFailure) {
    const QTemporaryDir folder;
    const QString photo = folder.filePath("DSC_1245.tif");
    const QString reference = folder.filePath("DSC_1245_reference.txt");
    std::string error;
    ASSERT_TRUE(writeDemoPhoto(photo.toStdString(), error)) << error;
    ASSERT_TRUE(writeDemoReference(reference.toStdString(), error)) << error;
    const QString profile = folder.filePath("camera.icc");
    const QStringList arguments = {"profile",     photo,     profile,        "--chart", "4x6",
                                   "--reference", reference, "--find-chart", "--tone",  "linear"};

    const BatchRun made = runBatch(arguments);
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    const QList<QByteArray> lines = made.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 1 + 24 + 2);
    EXPECT_TRUE(lines.front().startsWith("patch,used,ref_L,ref_a,ref_b,L,a,b,dE2000_before,"));
    EXPECT_TRUE(lines.back().startsWith("max,"));
    cmsHPROFILE opened = cmsOpenProfileFromFile(profile.toUtf8().constData(), "r");
    ASSERT_TRUE(opened);
    EXPECT_EQ(cmsGetDeviceClass(opened), cmsSigInputClass);
    cmsCloseProfile(opened);

    const BatchRun measured =
        runBatch({"measure", photo, "--chart", "4x6", "--reference", reference, "--find-chart"});
    ASSERT_EQ(measured.exitCode, 0) << measured.err.constData();
    // The line that names the L*a*b*, the header and a row per patch.
    EXPECT_EQ(measured.out.trimmed().split('\n').size(), 2 + 24);

    // A file size limit in the child makes the write fail after the fit.
    const QByteArray old = fileBytes(profile);
    const BatchRun limited = runBatch(arguments, QString(), [] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(limited.exitCode, 2);
    EXPECT_EQ(fileBytes(profile), old);

    const QString blank = folder.filePath("blank.png");
    ASSERT_TRUE(cv::imwrite(blank.toStdString(), cv::Mat(600, 800, CV_8UC3, cv::Scalar::all(128))));
    const BatchRun nothing = runBatch({"profile", blank, folder.filePath("blank.icc"), "--chart",
                                       "4x6", "--reference", reference, "--find-chart"});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_TRUE(nothing.err.contains("no chart found")) << nothing.err.constData();
    EXPECT_FALSE(QFile::exists(folder.filePath("blank.icc")));
}
