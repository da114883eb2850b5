// SPDX-License-Identifier: GPL-3.0-or-later
#include "interruption.h"

#include <csignal>

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void onInterrupt(int) {
    requested.store(true);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

void stopOnInterrupt() {
    std::signal(SIGINT, onInterrupt);
}

std::atomic<bool> &interruptRequested() {
    return requested;
}
