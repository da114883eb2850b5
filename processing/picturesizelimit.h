// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "declaredpicturesize.h"

#include <QString>

#include <cstdint>

// How large a picture reading may decode. By default the smaller of one gigapixel and half of the
// memory available now; the environment variable VEXMIRA_MAX_PIXELS, a positive whole number of
// pixels, replaces both.
struct PictureSizeLimit {
    std::int64_t maxPixels = 0;
    // 0 for no limit in bytes.
    std::int64_t maxBytes = 0;
};

PictureSizeLimit currentPictureSizeLimit();

// Why a picture of the declared size is refused, naming its size and the limit; empty when it
// is within the limit.
QString pictureSizeRefusal(const DeclaredPicture &picture, const PictureSizeLimit &limit);
