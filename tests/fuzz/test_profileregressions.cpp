// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the profile fuzzer's seeds and every saved input through the profile pipeline; under
// the sanitizer build a fault shows as a report that ends the test.
#include "embeddedprofile.h"
#include "picturefile.h"
#include "profilepipeline.h"
#include "profileseeds.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void replay(const QDir &folder) {
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        SCOPED_TRACE(name.toStdString());
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        exerciseProfileBytes(reinterpret_cast<const unsigned char *>(bytes.constData()),
                             std::size_t(bytes.size()));
    }
}

} // namespace

TEST(ProfileRegressions, SeedsCarryTheirProfilesAndEveryInputPassesThePipeline) {
    QTemporaryDir seeds;
    ASSERT_TRUE(seeds.isValid());
    ASSERT_GE(writeProfileSeeds(seeds.path()), 30);
    const QDir seedFolder(seeds.path());
    for (const QString &name : seedFolder.entryList({QStringLiteral("profile_*")}, QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const QString path = seedFolder.filePath(name);
        const bool device =
            !name.contains(QLatin1String("lab4")) && !name.contains(QLatin1String("abstract"));
        // libpng itself drops profiles that are not for devices, and says so.
        const EmbeddedProfile embedded = readEmbeddedProfile(path);
        EXPECT_TRUE(embedded.found() || (!device && !embedded.error.isEmpty()));
        // Pictures keep the real device profiles; the L*a*b* and abstract ones are left out.
        const PictureFile picture = readPictureFile(path);
        EXPECT_EQ(!picture.icc.empty(), device);
        EXPECT_EQ(picture.profileProblem.isEmpty(), device);
    }
    replay(seedFolder);
    const QDir saved(QStringLiteral(VEXMIRA_FUZZ_REGRESSIONS));
    // Pictures whose profile is damaged say so.
    for (const QString &name :
         saved.entryList({QStringLiteral("broken_png_iccp*"), QStringLiteral("broken_jpeg_icc*"),
                          QStringLiteral("broken_tiff_icc*")},
                         QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        const EmbeddedProfile embedded = readEmbeddedProfile(saved.filePath(name));
        EXPECT_FALSE(embedded.found());
        EXPECT_FALSE(embedded.error.isEmpty());
    }
    replay(saved);
}
