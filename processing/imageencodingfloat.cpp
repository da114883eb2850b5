// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageencodingfloat.h"

#include "imageencoding.h"

#include <QCoreApplication>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace {

// libtiff's COMPRESSION_NONE.
constexpr int uncompressedTiff = 1;

QString tr(const char *text) {
    return QCoreApplication::translate("ImageFiles", text);
}

bool isTiffSuffix(const QString &suffix) {
    return suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
}

bool keepsFloats(const QString &suffix) {
    return isTiffSuffix(suffix) || suffix == QLatin1String("pfm") ||
           suffix == QLatin1String("hdr") || suffix == QLatin1String("exr");
}

QString channelRefusal(const QString &suffix, int channels) {
    const bool oneOrThree = channels == 1 || channels == 3;
    if ((suffix == QLatin1String("pfm") || suffix == QLatin1String("hdr")) && !oneOrThree)
        return tr("A .%1 file holds one or three channels, but the image has %2; save it as TIFF "
                  "instead.")
            .arg(suffix)
            .arg(channels);
    if (suffix == QLatin1String("exr") && !oneOrThree && channels != 4)
        return tr("An .exr file holds one, three or four channels, but the image has %1; save it "
                  "as TIFF instead.")
            .arg(channels);
    return {};
}

} // namespace

bool isFloatDepth(int depth) {
    return depth == CV_16F || depth == CV_32F || depth == CV_64F;
}

QString floatFormatRefusal(const cv::Mat &part, const QString &suffix) {
    const bool floats = isFloatDepth(part.depth());
    if (floats && !keepsFloats(suffix))
        return tr("The image holds %1 samples, which a .%2 file would flatten to 8 bits; save it "
                  "as TIFF (.tif), PFM (.pfm), Radiance HDR (.hdr) or OpenEXR (.exr) to keep "
                  "them.")
            .arg(sampleTypeName(part.type()), suffix);
    if (suffix == QLatin1String("exr") && !floats)
        return tr("An .exr file holds floating-point samples only, but the image holds %1 "
                  "samples; save it as PNG or TIFF instead.")
            .arg(sampleTypeName(part.type()));
    const QString channels = channelRefusal(suffix, part.channels());
    if (!channels.isEmpty())
        return channels;
    if (floats && suffix == QLatin1String("hdr")) {
        double lowest = 0;
        cv::minMaxLoc(floatSamplesForWriter(part, suffix).reshape(1), &lowest);
        if (lowest < 0)
            return tr("A .hdr file holds no negative values, but the image has samples down to "
                      "%1; save it as TIFF (.tif), PFM (.pfm) or OpenEXR (.exr) instead.")
                .arg(lowest);
    }
    return {};
}

cv::Mat floatSamplesForWriter(const cv::Mat &part, const QString &suffix) {
    const int depth = part.depth();
    if (depth == CV_32F || !isFloatDepth(depth) ||
        (depth == CV_64F && part.channels() == 1 && isTiffSuffix(suffix)))
        return part;
    cv::Mat singles;
    part.convertTo(singles, CV_32F);
    return singles;
}

std::vector<int> floatWriterParameters(int depth, const QString &suffix) {
    if (isFloatDepth(depth) && isTiffSuffix(suffix))
        return {cv::IMWRITE_TIFF_COMPRESSION, uncompressedTiff};
    return {};
}
