// SPDX-License-Identifier: GPL-3.0-or-later
#include "displaycolour.h"

#include "matrixshaper.h"
#include "screenprofile.h"

#include <opencv2/core.hpp>

#include <lcms2.h>

#include <algorithm>

struct DisplayColour::Transform {
    std::weak_ptr<const ColourProfile> source;
    // Between two matrix-shapers; otherwise Little CMS's own transform.
    std::unique_ptr<const MatrixShaper> fast;
    cmsHTRANSFORM handle = nullptr;
    ~Transform() {
        if (handle)
            cmsDeleteTransform(handle);
    }
};

DisplayColour &DisplayColour::instance() {
    static DisplayColour display;
    return display;
}

DisplayColour::DisplayColour() : screen(screenProfileFrom(x11ScreenProfileBytes())) {
}

DisplayColour::~DisplayColour() = default;

ColourProfilePtr DisplayColour::sourceProfile(const ColourProfilePtr &pictureProfile,
                                              LabEncoding encoding, int channels) const {
    ColourProfilePtr source = pictureProfile;
    if (!source && encoding == LabEncoding::Icc)
        source = ColourProfile::srgb();
    if (!source || source->sameAs(*screen))
        return nullptr;
    if (source->colourSpace() == ProfileColourSpace::Grey && channels != 1)
        return nullptr;
    return source;
}

std::shared_ptr<DisplayColour::Transform>
DisplayColour::transformFor(const ColourProfilePtr &source) {
    const std::lock_guard<std::mutex> lock(guard);
    for (auto entry = transforms.begin(); entry != transforms.end();)
        entry = entry->second->source.expired() ? transforms.erase(entry) : std::next(entry);
    std::shared_ptr<Transform> &kept = transforms[source.get()];
    if (kept)
        return kept;
    // A grey picture is painted as three equal bytes; the first of the four is read.
    const cmsUInt32Number format =
        source->colourSpace() == ProfileColourSpace::Grey
            ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3)
            : TYPE_BGRA_8;
    auto made = std::make_shared<Transform>();
    made->source = source;
    made->fast = MatrixShaper::between(source->handle(), screen->handle());
    if (!made->fast) {
        // No cache: the same transform runs on several threads at once.
        made->handle = cmsCreateTransform(source->handle(), format, screen->handle(), TYPE_BGRA_8,
                                          INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
        if (!made->handle) {
            transforms.erase(source.get());
            return nullptr;
        }
    }
    kept = made;
    return made;
}

bool DisplayColour::convert(cv::Mat &shown, const ColourProfilePtr &source) {
    if (!source || shown.type() != CV_8UC4)
        return false;
    const std::shared_ptr<Transform> transform = transformFor(source);
    if (!transform)
        return false;
    constexpr int rowsPerTask = 32;
    const int tasks = (shown.rows + rowsPerTask - 1) / rowsPerTask;
    cv::parallel_for_(cv::Range(0, tasks), [&](const cv::Range &range) {
        const int first = range.start * rowsPerTask;
        const int last = std::min(shown.rows, range.end * rowsPerTask);
        if (transform->fast) {
            for (int row = first; row < last; ++row)
                transform->fast->convert(shown.ptr(row), shown.cols);
            return;
        }
        const auto step = static_cast<cmsUInt32Number>(shown.step[0]);
        // Each pixel is read before it is written, so the conversion runs in place.
        cmsDoTransformLineStride(transform->handle, shown.ptr(first), shown.ptr(first),
                                 static_cast<cmsUInt32Number>(shown.cols),
                                 static_cast<cmsUInt32Number>(last - first), step, step, 0, 0);
    });
    return true;
}
