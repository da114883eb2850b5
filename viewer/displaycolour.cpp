// SPDX-License-Identifier: GPL-3.0-or-later
#include "displaycolour.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <lcms2.h>

namespace {

// The Little CMS input format of a picture's pixels; 0 for a type it has none for.
unsigned inputFormat(int type, ProfileColourSpace space) {
    const int depth = CV_MAT_DEPTH(type);
    const int channels = CV_MAT_CN(type);
    unsigned bytes = 0;
    unsigned isFloat = 0;
    switch (depth) {
    case CV_8U:
        bytes = 1;
        break;
    case CV_16U:
        bytes = 2;
        break;
    case CV_32F:
        bytes = 4;
        isFloat = 1;
        break;
    case CV_64F:
        bytes = 0; // Little CMS's code for doubles
        isFloat = 1;
        break;
    default:
        return 0;
    }
    unsigned layout = 0;
    if (space == ProfileColourSpace::Grey && channels == 1)
        layout = COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1);
    else if (space == ProfileColourSpace::Rgb && channels == 3)
        layout = COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | DOSWAP_SH(1);
    else if (space == ProfileColourSpace::Rgb && channels == 4)
        layout =
            COLORSPACE_SH(PT_RGB) | EXTRA_SH(1) | CHANNELS_SH(3) | DOSWAP_SH(1) | SWAPFIRST_SH(1);
    else
        return 0;
    return layout | BYTES_SH(bytes) | FLOAT_SH(isFloat);
}

} // namespace

struct DisplayColour::Transform {
    std::weak_ptr<const ColourProfile> source;
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

DisplayColour::DisplayColour() : screen(ColourProfile::srgb()) {
}

DisplayColour::~DisplayColour() = default;

ColourProfilePtr DisplayColour::sourceProfile(const ColourProfilePtr &pictureProfile,
                                              LabEncoding encoding) const {
    ColourProfilePtr source = pictureProfile;
    if (!source && encoding == LabEncoding::Icc)
        source = ColourProfile::srgb();
    if (source && source->sameAs(*screen))
        return nullptr;
    return source;
}

std::shared_ptr<DisplayColour::Transform>
DisplayColour::transformFor(const ColourProfilePtr &source, unsigned format) {
    const std::lock_guard<std::mutex> lock(guard);
    for (auto entry = transforms.begin(); entry != transforms.end();)
        entry = entry->second->source.expired() ? transforms.erase(entry) : std::next(entry);
    std::shared_ptr<Transform> &kept = transforms[{source.get(), format}];
    if (kept)
        return kept;
    auto made = std::make_shared<Transform>();
    made->source = source;
    // No cache: the same transform runs on several threads at once.
    made->handle = cmsCreateTransform(source->handle(), format, screen->handle(), TYPE_BGRA_8,
                                      INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (!made->handle) {
        transforms.erase({source.get(), format});
        return nullptr;
    }
    kept = made;
    return made;
}

bool DisplayColour::convert(const cv::Mat &picture, const cv::Rect &part,
                            const ColourProfilePtr &source, cv::Mat &shown) {
    if (!source || shown.type() != CV_8UC4 || shown.size() != picture.size())
        return false;
    cv::Mat input = picture(part);
    // Grey pictures in an RGB profile are three equal channels.
    if (input.channels() == 1 && source->colourSpace() == ProfileColourSpace::Rgb)
        cv::cvtColor(input, input, cv::COLOR_GRAY2BGR);
    const unsigned format = inputFormat(input.type(), source->colourSpace());
    if (format == 0)
        return false;
    const std::shared_ptr<Transform> transform = transformFor(source, format);
    if (!transform)
        return false;
    cv::Mat output = shown(part);
    constexpr int rowsPerTask = 64;
    const int tasks = (input.rows + rowsPerTask - 1) / rowsPerTask;
    cv::parallel_for_(cv::Range(0, tasks), [&](const cv::Range &range) {
        const int first = range.start * rowsPerTask;
        const int last = std::min(input.rows, range.end * rowsPerTask);
        cmsDoTransformLineStride(transform->handle, input.ptr(first), output.ptr(first),
                                 static_cast<cmsUInt32Number>(input.cols),
                                 static_cast<cmsUInt32Number>(last - first),
                                 static_cast<cmsUInt32Number>(input.step[0]),
                                 static_cast<cmsUInt32Number>(output.step[0]), 0, 0);
    });
    return true;
}
