// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedprofilecheck.h"

#include "colourprofile.h"

namespace {

QByteArray asBytes(const std::vector<unsigned char> &icc) {
    return QByteArray(reinterpret_cast<const char *>(icc.data()), qsizetype(icc.size()));
}

} // namespace

QString profileRefusal(const std::vector<unsigned char> &icc, int channels) {
    QString refusal;
    const ColourProfilePtr profile = ColourProfile::fromBytes(asBytes(icc), &refusal);
    if (!profile)
        return refusal;
    // Grey with alpha is still grey.
    return profile->misfitMessage(channels == 2 ? 1 : channels);
}

QString profileDescription(const std::vector<unsigned char> &icc) {
    const ColourProfilePtr profile = ColourProfile::fromBytes(asBytes(icc));
    return profile ? profile->description() : QString();
}
