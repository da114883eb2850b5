// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourprofile.h"

#include "profilelabtransforms.h"
#include "profilesignature.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>
#include <vector>

namespace {

// What a refused profile's colour space is called in messages.
QString colourSpaceName(cmsUInt32Number space) {
    switch (space) {
    case cmsSigCmykData:
        return QStringLiteral("CMYK");
    case cmsSigLabData:
        return QStringLiteral("Lab");
    case cmsSigXYZData:
        return QStringLiteral("XYZ");
    case cmsSigCmyData:
        return QStringLiteral("CMY");
    case cmsSigYCbCrData:
        return QStringLiteral("YCbCr");
    case cmsSigHsvData:
        return QStringLiteral("HSV");
    case cmsSigHlsData:
        return QStringLiteral("HLS");
    case cmsSigLuvData:
        return QStringLiteral("Luv");
    case cmsSigYxyData:
        return QStringLiteral("Yxy");
    default:
        break;
    }
    // The signature's four characters, e.g. "6CLR".
    QString name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((space >> shift) & 0xff);
        if (c >= 0x20 && c < 0x7f)
            name += QLatin1Char(c);
    }
    return name.trimmed().isEmpty() ? QStringLiteral("unknown") : name.trimmed();
}

QString profileDescription(cmsHPROFILE profile) {
    const cmsUInt32Number size =
        cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", nullptr, 0);
    if (size < sizeof(wchar_t))
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t));
    cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", text.data(), size);
    return QString::fromWCharArray(text.data()).trimmed();
}

void setError(QString *error, const QString &message) {
    if (error)
        *error = message;
}

} // namespace

ColourProfile::ColourProfile(ProfileHandle handle, QByteArray bytes, ProfileColourSpace colourSpace,
                             std::unique_ptr<const ProfileLabTransforms> labTransforms)
    : profile(std::move(handle)), iccBytes(std::move(bytes)),
      descriptionText(profileDescription(profile.get())), space(colourSpace),
      transforms(std::move(labTransforms)) {
}

ColourProfile::~ColourProfile() = default;

ColourProfilePtr ColourProfile::fromBytes(const QByteArray &bytes, QString *error) {
    ProfileHandle handle(
        cmsOpenProfileFromMem(bytes.constData(), static_cast<cmsUInt32Number>(bytes.size())));
    if (!handle) {
        setError(error, QCoreApplication::translate("ColourProfile",
                                                    "The data is not an ICC profile that can be "
                                                    "read (%n byte(s)).",
                                                    nullptr, int(bytes.size())));
        return nullptr;
    }
    const cmsUInt32Number signature = profileColourSpace(handle.get());
    if (signature != cmsSigRgbData && signature != cmsSigGrayData) {
        setError(error, QCoreApplication::translate("ColourProfile",
                                                    "The profile is for %1 colours; only RGB "
                                                    "and grey profiles can describe a picture.")
                            .arg(colourSpaceName(signature)));
        return nullptr;
    }
    std::unique_ptr<const ProfileLabTransforms> transforms;
    try {
        transforms = std::make_unique<const ProfileLabTransforms>(handle.get());
    } catch (const std::runtime_error &) {
        setError(error, QCoreApplication::translate("ColourProfile",
                                                    "The profile is damaged: its colours cannot "
                                                    "be converted to L*a*b*."));
        return nullptr;
    }
    const ProfileColourSpace space =
        signature == cmsSigRgbData ? ProfileColourSpace::Rgb : ProfileColourSpace::Grey;
    return ColourProfilePtr(
        new ColourProfile(std::move(handle), bytes, space, std::move(transforms)));
}

ColourProfilePtr ColourProfile::fromFile(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QCoreApplication::translate("ColourProfile", "Cannot read %1: %2")
                            .arg(QFileInfo(path).fileName(), file.errorString()));
        return nullptr;
    }
    QString reason;
    ColourProfilePtr profile = fromBytes(file.readAll(), &reason);
    if (!profile)
        setError(error, QFileInfo(path).fileName() + QStringLiteral(": ") + reason);
    return profile;
}

ColourProfilePtr ColourProfile::srgb() {
    static const ColourProfilePtr builtIn = [] {
        const ProfileHandle made(cmsCreate_sRGBProfile());
        cmsUInt32Number size = 0;
        if (!made || !cmsSaveProfileToMem(made.get(), nullptr, &size))
            throw std::runtime_error("Little CMS could not make the sRGB profile");
        QByteArray bytes(static_cast<qsizetype>(size), Qt::Uninitialized);
        if (!cmsSaveProfileToMem(made.get(), bytes.data(), &size))
            throw std::runtime_error("Little CMS could not write the sRGB profile");
        // Opened again from its bytes, so that what is embedded is what is measured with.
        ColourProfilePtr readBack = fromBytes(bytes);
        if (!readBack)
            throw std::runtime_error("Little CMS could not read back the sRGB profile");
        return readBack;
    }();
    return builtIn;
}

bool ColourProfile::fits(int pictureChannels) const {
    return space == ProfileColourSpace::Rgb ? pictureChannels == 3 || pictureChannels == 4
                                            : pictureChannels == 1;
}

QString ColourProfile::misfitMessage(int pictureChannels) const {
    if (fits(pictureChannels))
        return {};
    const QString name = descriptionText.isEmpty()
                             ? QCoreApplication::translate("ColourProfile", "The profile")
                             : QStringLiteral("\u201c%1\u201d").arg(descriptionText);
    return space == ProfileColourSpace::Rgb
               ? QCoreApplication::translate("ColourProfile",
                                             "%1 is an RGB profile; it does not fit a picture "
                                             "with %n channel(s).",
                                             nullptr, pictureChannels)
                     .arg(name)
               : QCoreApplication::translate("ColourProfile",
                                             "%1 is a grey profile; it does not fit a picture "
                                             "with %n channel(s).",
                                             nullptr, pictureChannels)
                     .arg(name);
}
