// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry: every input is taken as a picture file that may carry an ICC profile and as a
// profile itself.
#include "profilepipeline.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    exerciseProfileBytes(data, size);
    return 0;
}
