// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofilecheck.h"

#include <QCoreApplication>
#include <lcms2.h>

#include <memory>
#include <string>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("EmbeddedProfile", text);
}

struct ProfileCloser {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using TransformHandle = std::unique_ptr<void, TransformDeleter>;

ProfileHandle openProfile(const std::vector<unsigned char> &icc) {
    if (icc.empty() || icc.size() > 0xffffffffu)
        return nullptr;
    return ProfileHandle(cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size())));
}

QString spaceName(cmsColorSpaceSignature space) {
    switch (space) {
    case cmsSigRgbData:
        return QStringLiteral("RGB");
    case cmsSigGrayData:
        return tr("grey");
    case cmsSigCmykData:
        return QStringLiteral("CMYK");
    case cmsSigCmyData:
        return QStringLiteral("CMY");
    case cmsSigLabData:
        return QStringLiteral("L*a*b*");
    case cmsSigXYZData:
        return QStringLiteral("XYZ");
    default:
        break;
    }
    // Other spaces by their four-letter signature, as profile tools show them.
    const auto code = static_cast<unsigned>(space);
    QString name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto letter = char((code >> shift) & 0xff);
        if (letter >= 0x20 && letter < 0x7f)
            name += QLatin1Char(letter);
    }
    return name.trimmed().isEmpty() ? tr("unknown") : name.trimmed();
}

} // namespace

QString profileRefusal(const std::vector<unsigned char> &icc, int channels) {
    const ProfileHandle profile = openProfile(icc);
    if (!profile)
        return tr("Little CMS cannot open the ICC profile; it is damaged or not a profile.");
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile.get());
    const bool grey = channels == 1 || channels == 2;
    const cmsColorSpaceSignature wanted = grey ? cmsSigGrayData : cmsSigRgbData;
    if (space != wanted)
        return tr("The ICC profile is for %1 pictures, but the picture is %2.")
            .arg(spaceName(space), grey ? tr("grey") : QStringLiteral("RGB"));
    const ProfileHandle lab(cmsCreateLab4Profile(nullptr));
    const TransformHandle transform(
        cmsCreateTransform(profile.get(), grey ? TYPE_GRAY_FLT : TYPE_RGB_FLT, lab.get(),
                           TYPE_Lab_FLT, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
    if (!transform)
        return tr("Little CMS cannot convert from the ICC profile to L*a*b*; it lacks what a "
                  "picture's profile needs.");
    return {};
}

QString profileDescription(const std::vector<unsigned char> &icc) {
    const ProfileHandle profile = openProfile(icc);
    if (!profile)
        return {};
    const cmsUInt32Number size =
        cmsGetProfileInfo(profile.get(), cmsInfoDescription, "en", "US", nullptr, 0);
    if (size < sizeof(wchar_t))
        return {};
    std::wstring text(size / sizeof(wchar_t), L'\0');
    cmsGetProfileInfo(profile.get(), cmsInfoDescription, "en", "US", text.data(), size);
    return QString::fromWCharArray(text.c_str()).trimmed();
}
