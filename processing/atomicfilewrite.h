// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>

// How writing a file's bytes ended. DiskFull (no space left, or the file size limit reached) is
// told apart because writing more files to the same place cannot succeed either.
enum class FileWriteOutcome { Written, Failed, DiskFull };

struct FileWriteResult {
    FileWriteOutcome outcome = FileWriteOutcome::Failed;
    // Why it failed, in words for the user; empty when written.
    QString error;

    bool written() const { return outcome == FileWriteOutcome::Written; }
};

// Writes `size` bytes to `path` through a temporary file in the same folder that is synced and
// then renamed over the target, so a failure leaves an existing file as it was and no temporary
// file behind. The folder is synced after the rename, so that the new name survives a power
// loss too. An existing target that is not a regular file (a pipe, a device) is written into
// directly, since it cannot be replaced; such a write may block for as long as the other end does.
FileWriteResult writeFileAtomically(const QString &path, const char *bytes, std::size_t size);

// Syncs a folder's entries (new, renamed and removed names) to the disk; false with errno set
// when it could not. A file system that cannot sync folders counts as done. Threads that call
// it for one folder at about the same time share one sync. Thread-safe.
bool syncFolder(const QString &folder);
