// SPDX-License-Identifier: GPL-3.0-or-later
#include "atomicfilewrite.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("AtomicFileWrite", text);
}

bool isSpecialFile(const QString &path) {
    std::error_code ignored;
    return std::filesystem::is_other(std::filesystem::status(path.toStdString(), ignored));
}

bool meansDiskFull(int error) {
    return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

FileWriteResult failure(int error, const QString &systemText) {
    if (meansDiskFull(error))
        return {FileWriteOutcome::DiskFull,
                error == EFBIG
                    ? tr("The file grew past the size this process may write (%1).").arg(systemText)
                    : tr("There is no space left on the disk (%1).").arg(systemText)};
    return {FileWriteOutcome::Failed, tr("The file could not be written: %1").arg(systemText)};
}

// Writes everything unbuffered, so a failing write reports its own errno.
template <typename File> FileWriteResult writeAll(File &file, const char *bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        errno = 0;
        const qint64 count = file.write(bytes + done, qint64(size - done));
        if (count <= 0) {
            const int error = errno;
            return failure(file.error() == QFileDevice::ResourceError ? ENOSPC : error,
                           file.errorString());
        }
        done += std::size_t(count);
    }
    return {FileWriteOutcome::Written, {}};
}

// A pipe whose reader goes away would raise SIGPIPE and end the program; blocked in this thread,
// the write fails with EPIPE instead, and the pending signal is taken before it is unblocked.
class PipeSignalBlock {
public:
    PipeSignalBlock() {
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    }
    ~PipeSignalBlock() {
        const timespec now{0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    PipeSignalBlock(const PipeSignalBlock &) = delete;
    PipeSignalBlock &operator=(const PipeSignalBlock &) = delete;

private:
    sigset_t pipeSignal{};
    sigset_t previous{};
};

FileWriteResult writeDirectly(const QString &path, const char *bytes, std::size_t size) {
    const PipeSignalBlock noPipeSignal;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(errno, file.errorString());
    return writeAll(file, bytes, size);
}

bool syncFolderNow(const QString &folder) {
    const int descriptor =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0 || errno == EINVAL || errno == EROFS;
    const int error = errno;
    ::close(descriptor);
    errno = error;
    return synced;
}

// A folder sync costs as much as a file's; threads that rename into one folder at about the same
// time share one. A sync that starts after a rename has ended takes that rename to the disk, so
// each caller waits for the first sync that starts after its call, starting it when none runs.
class FolderSyncs {
public:
    bool sync(const QString &folder) {
        std::unique_lock lock(mutex);
        State &state = folders[folder];
        const std::uint64_t needed = state.started + 1;
        while (state.finished < needed) {
            if (state.running) {
                done.wait(lock);
                continue;
            }
            state.running = true;
            const std::uint64_t mine = ++state.started;
            lock.unlock();
            const bool synced = syncFolderNow(folder);
            const int error = errno;
            lock.lock();
            state.running = false;
            state.finished = mine;
            state.synced = synced;
            state.error = error;
            done.notify_all();
        }
        errno = state.error;
        return state.synced;
    }

private:
    struct State {
        std::uint64_t started = 0;
        std::uint64_t finished = 0;
        bool running = false;
        bool synced = true;
        int error = 0;
    };
    std::mutex mutex;
    std::condition_variable done;
    std::map<QString, State> folders;
};

} // namespace

FileWriteResult writeFileAtomically(const QString &path, const char *bytes, std::size_t size) {
    if (isSpecialFile(path))
        return writeDirectly(path, bytes, size);
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(errno, file.errorString());
    FileWriteResult result = writeAll(file, bytes, size);
    if (!result.written()) {
        file.cancelWriting();
        return result;
    }
    errno = 0;
    if (!file.commit())
        return failure(errno, file.errorString());
    if (!syncFolder(QFileInfo(path).absolutePath()))
        return failure(errno, tr("The folder could not be synced: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
    return result;
}

bool syncFolder(const QString &folder) {
    static FolderSyncs syncs;
    return syncs.sync(folder);
}
