// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturecolour.h"

#include "batchmessages.h"
#include "embeddedprofile.h"

LabSpace pictureLabSpace(const PictureColour &colour, const QString &path, const cv::Mat &pixels,
                         const std::vector<unsigned char> &embedded) {
    if (colour.encoding != LabEncoding::Icc)
        return colour.encoding;
    if (colour.assigned) {
        const QString misfit = colour.assigned->misfitMessage(pixels.channels());
        if (misfit.isEmpty())
            return LabSpace::icc(colour.assigned);
        printFileError(path,
                       QStringLiteral("%1 The picture is read as sRGB.").arg(misfit.trimmed()));
        return LabSpace::icc(nullptr);
    }
    if (embedded.empty())
        return LabSpace::icc(nullptr);
    // The bytes were checked on reading; a refusal here would be Little CMS changing its mind.
    QString error;
    ColourProfilePtr own = ColourProfile::fromBytes(
        QByteArray(reinterpret_cast<const char *>(embedded.data()), qsizetype(embedded.size())),
        &error);
    if (!own)
        printFileError(path, QStringLiteral("The picture's ICC profile is left out. %1 The "
                                            "picture is read as sRGB.")
                                 .arg(error));
    return LabSpace::icc(std::move(own));
}

std::vector<unsigned char> profileToEmbed(const LabSpace &space, const QString &path) {
    if (!space.isIcc())
        return {};
    const ColourProfile &profile = *space.profile();
    if (!formatCarriesProfile(path) && profile.sameAs(*ColourProfile::srgb()))
        return {};
    const QByteArray &bytes = profile.bytes();
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}
