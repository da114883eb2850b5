// SPDX-License-Identifier: GPL-3.0-or-later
#include "inputimage.h"

#include "embeddedprofile.h"

#include "batchmessages.h"
#include "imagefiles.h"
#include "optionvalues.h"

std::optional<InputImage> readInputImage(const QString &path, const std::optional<Quad> &corners) {
    QString error;
    cv::Mat image = readImageFile(path, &error);
    if (image.empty()) {
        printFileError(path, error);
        return std::nullopt;
    }
    if (!corners)
        return InputImage{image, innerQuarterCorners(image.size())};
    const QString refusal = cornersRefusal(*corners, image.size());
    if (!refusal.isEmpty()) {
        printFileError(path, refusal);
        return std::nullopt;
    }
    return InputImage{image, *corners};
}

LabSpace inputLabSpace(const QString &path, LabEncoding encoding, int channels) {
    if (encoding != LabEncoding::Icc)
        return encoding;
    const EmbeddedProfile embedded = readEmbeddedProfile(path);
    if (!embedded.found())
        return LabSpace::icc(nullptr);
    const ColourProfilePtr profile = ColourProfile::fromBytes(QByteArray(
        reinterpret_cast<const char *>(embedded.icc.data()), qsizetype(embedded.icc.size())));
    return LabSpace::icc(profile && profile->fits(channels) ? profile : nullptr);
}
