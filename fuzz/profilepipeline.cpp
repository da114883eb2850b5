// SPDX-License-Identifier: GPL-3.0-or-later
#include "profilepipeline.h"

#include "embeddedprofile.h"
#include "embeddedprofilecheck.h"

#include <lcms2.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct ProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

// Values spread over the unit range for every channel the space has (at most 15 in ICC).
std::vector<float> samples(int channels, int count) {
    std::vector<float> values(std::size_t(channels * count));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = float(i * 37 % 101) / 100.0f;
    return values;
}

// Floating-point transforms from the profile's space to L*a*b* and back, as the measurements use
// them, run over a few values.
void transformWith(const Bytes &icc) {
    const ProfileHandle profile(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
    if (!profile)
        return;
    const cmsUInt32Number format = cmsFormatterForColorspaceOfProfile(profile.get(), 4, TRUE);
    const int channels = int(T_CHANNELS(format));
    if (channels <= 0 || channels > 15)
        return;
    const ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    constexpr int count = 16;
    const std::vector<float> in = samples(channels, count);
    std::vector<float> labValues(3 * count);
    std::vector<float> back(in.size());
    for (const cmsUInt32Number intent : {INTENT_RELATIVE_COLORIMETRIC, INTENT_PERCEPTUAL}) {
        const TransformHandle forward(cmsCreateTransform(profile.get(), format, lab.get(),
                                                         TYPE_Lab_FLT, intent, cmsFLAGS_NOCACHE));
        if (forward)
            cmsDoTransform(forward.get(), in.data(), labValues.data(), count);
        const TransformHandle inverse(cmsCreateTransform(lab.get(), TYPE_Lab_FLT, profile.get(),
                                                         format, intent, cmsFLAGS_NOCACHE));
        if (inverse)
            cmsDoTransform(inverse.get(), labValues.data(), back.data(), count);
    }
    profileDescription(icc);
}

Bytes encoded(const char *extension, int type) {
    std::vector<uchar> bytes;
    cv::imencode(extension, cv::Mat(8, 8, type, cv::Scalar::all(90)), bytes);
    return bytes;
}

// Embeds the bytes as a profile and reads them back.
void embedAndReadBack(const Bytes &icc) {
    static const Bytes png = encoded(".png", CV_8UC3);
    static const Bytes jpeg = encoded(".jpg", CV_8UC3);
    static const Bytes tiff = encoded(".tif", CV_16UC1);
    for (const Bytes *file : {&png, &jpeg, &tiff}) {
        const std::optional<Bytes> carrying = embedProfile(*file, icc);
        if (!carrying)
            continue;
        const EmbeddedProfile read = readEmbeddedProfile(carrying->data(), carrying->size());
        // libpng checks a profile before it gives it out, and gives out as many bytes as its
        // header declares; the others give back what they hold.
        const bool checked = file == &png;
        const bool prefix = read.icc.size() <= icc.size() &&
                            std::equal(read.icc.begin(), read.icc.end(), icc.begin());
        if ((checked && read.found() && !prefix) || (!checked && read.icc != icc))
            std::abort();
    }
}

} // namespace

void exerciseProfileBytes(const unsigned char *data, std::size_t size) {
    const EmbeddedProfile embedded = readEmbeddedProfile(data, size);
    if (embedded.found()) {
        for (const int channels : {1, 3})
            profileRefusal(embedded.icc, channels);
        transformWith(embedded.icc);
    }
    if (size == 0)
        return;
    const Bytes raw(data, data + size);
    transformWith(raw);
    profileRefusal(raw, 3);
    embedAndReadBack(raw);
}
