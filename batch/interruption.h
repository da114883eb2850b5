// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

// SIGINT asks the running work to stop after the image in hand; a second SIGINT ends the program
// at once, as the signal's default does.
void stopOnInterrupt();
// Set by SIGINT once stopOnInterrupt() is in place; read between images.
std::atomic<bool> &interruptRequested();
