// SPDX-License-Identifier: GPL-3.0-or-later
#include "labtestsupport.h"
#include "seriesrun.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

// What one sync took to the disk: the file or folder, the file's size, the folder's names.
struct Sync {
    QString path;
    bool folder = false;
    qint64 size = 0;
    QStringList names;
};

std::mutex syncMutex;
std::vector<Sync> syncs;

} // namespace

// The program's own calls of fsync (its libraries are linked in statically) come here first, so
// that the test sees what reached the disk and when.
extern "C" int fsync(int descriptor) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    struct stat status {};
    if (length > 0 && ::fstat(descriptor, &status) == 0) {
        Sync sync;
        sync.path = QString::fromLocal8Bit(target, static_cast<int>(length));
        sync.folder = S_ISDIR(status.st_mode);
        sync.size = status.st_size;
        if (sync.folder)
            sync.names = QDir(sync.path).entryList(QDir::Files);
        const std::lock_guard lock(syncMutex);
        syncs.push_back(sync);
    }
    return static_cast<int>(::syscall(SYS_fsync, descriptor));
}

TEST(SeriesDurability, EachFileReachesItsFolderOnDiskAndTheManifestEndsSynced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = QFileInfo(dir.path()).canonicalFilePath();
    SeriesRequest request;
    request.image = noisyImage(24, 24, 3);
    request.corners = {cv::Point(2, 2), cv::Point(2, 20), cv::Point(20, 20), cv::Point(20, 2)};
    request.plan = {SeriesPlan::Kind::Grid, {50, 120, 120}};
    request.options.folder = folder;
    request.options.format = SeriesFormat::Png;
    {
        const std::lock_guard lock(syncMutex);
        syncs.clear();
    }
    const std::atomic<bool> noStop{false};
    const SeriesResult result = runReferenceSeries(request, noStop, {});
    ASSERT_EQ(result.written, 8);

    const std::lock_guard lock(syncMutex);
    // Every file's name was in its folder when the folder went to the disk.
    std::set<QString> namesOnDisk;
    for (const Sync &sync : syncs)
        if (sync.folder && sync.path == folder)
            namesOnDisk.insert(sync.names.begin(), sync.names.end());
    for (int i = 0; i < 8; ++i) {
        const QString name = seriesFileName(request.plan.image(i), SeriesFormat::Png);
        EXPECT_EQ(namesOnDisk.count(name), 1u) << name.toStdString();
    }
    EXPECT_EQ(namesOnDisk.count(QFileInfo(result.manifestPath).fileName()), 1u);
    // The manifest was synced whole, after its last row.
    qint64 lastManifestSync = -1;
    for (const Sync &sync : syncs)
        if (!sync.folder && sync.path == QFileInfo(result.manifestPath).canonicalFilePath())
            lastManifestSync = sync.size;
    EXPECT_EQ(lastManifestSync, QFileInfo(result.manifestPath).size());
}
