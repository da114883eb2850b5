// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <lcms2.h>

#include <memory>

class ProfileLabTransforms;
class ColourProfile;

// A picture's ICC profile: immutable, so copies of a picture share one.
using ColourProfilePtr = std::shared_ptr<const ColourProfile>;

// The colour spaces a picture's profile may have.
enum class ProfileColourSpace { Rgb, Grey };

// An ICC profile opened with Little CMS, with the bytes it was made from (to embed in written
// files), its description and its colour space. Only RGB and grey profiles are accepted.
class ColourProfile {
public:
    // Nothing, with the reason in `error` when given, for bytes Little CMS cannot open or a
    // colour space other than RGB and grey (the message names it, e.g. "CMYK" or "Lab").
    static ColourProfilePtr fromBytes(const QByteArray &bytes, QString *error = nullptr);
    // The same for an .icc or .icm file; a file that cannot be read is refused too.
    static ColourProfilePtr fromFile(const QString &path, QString *error = nullptr);
    // sRGB (IEC 61966-2-1), for pictures without a profile. One shared instance.
    static ColourProfilePtr srgb();

    ~ColourProfile();
    ColourProfile(const ColourProfile &) = delete;
    ColourProfile &operator=(const ColourProfile &) = delete;

    // The ICC bytes, as read or as Little CMS wrote them for sRGB.
    const QByteArray &bytes() const { return iccBytes; }
    // The profile's own description, e.g. "ProPhoto RGB"; empty when it has none.
    const QString &description() const { return descriptionText; }
    ProfileColourSpace colourSpace() const { return space; }
    // 3 for RGB, 1 for grey.
    int channels() const { return space == ProfileColourSpace::Rgb ? 3 : 1; }

    // Whether a picture of `pictureChannels` channels can be in this profile: RGB for three or
    // four (the fourth is alpha), grey for one.
    bool fits(int pictureChannels) const;
    // Why it cannot; empty when it fits.
    QString misfitMessage(int pictureChannels) const;

    // True when both hold the same ICC bytes.
    bool sameAs(const ColourProfile &other) const { return iccBytes == other.iccBytes; }

    // Borrowed; lives as long as this profile. For building transforms only.
    cmsHPROFILE handle() const { return profile.get(); }

    // This profile's transforms to and from ICC L*a*b*, shared by every thread.
    const ProfileLabTransforms &labTransforms() const { return *transforms; }

private:
    struct ProfileCloser {
        void operator()(void *handle) const { cmsCloseProfile(handle); }
    };
    using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

    ColourProfile(ProfileHandle handle, QByteArray bytes, ProfileColourSpace colourSpace,
                  std::unique_ptr<const ProfileLabTransforms> labTransforms);

    ProfileHandle profile;
    QByteArray iccBytes;
    QString descriptionText;
    ProfileColourSpace space;
    std::unique_ptr<const ProfileLabTransforms> transforms;
};
