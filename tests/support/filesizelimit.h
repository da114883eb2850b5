// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <sys/resource.h>

// Limits the size of any file this process writes while it lives; writing past it fails with
// EFBIG instead of raising SIGXFSZ, as a full disk fails with ENOSPC.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        applied = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool isApplied() const { return applied; }

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
    bool applied = false;
};
