// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filebytes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <lcms2.h>
#include <opencv2/core.hpp>

#include <memory>
#include <vector>

// Little CMS called directly, apart from the code under test, for the figures tests compare with.
struct LcmsProfileClose {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
struct LcmsTransformDelete {
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using LcmsProfile = std::unique_ptr<void, LcmsProfileClose>;
using LcmsTransform = std::unique_ptr<void, LcmsTransformDelete>;

const QString colordProfiles = QStringLiteral("/usr/share/color/icc/colord/");

// The bytes of a profile made for the test; the profile is closed.
template <typename Bytes = QByteArray> Bytes savedProfile(cmsHPROFILE profile) {
    const LcmsProfile owned(profile);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size, '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

template <typename Bytes> LcmsProfile openProfile(const Bytes &bytes) {
    return LcmsProfile(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
}

inline LcmsProfile openProfile(const QString &path) {
    return LcmsProfile(cmsOpenProfileFromFile(QFile::encodeName(path).constData(), "r"));
}

// Little CMS's relative colorimetric transform between `device` values and ICC L*a*b* (D50).
inline LcmsTransform labTransform(const LcmsProfile &device, cmsUInt32Number deviceFormat,
                                  bool toLab, cmsUInt32Number flags = 0,
                                  cmsUInt32Number labFormat = TYPE_Lab_DBL) {
    const LcmsProfile lab(cmsCreateLab4Profile(nullptr));
    return LcmsTransform(toLab
                             ? cmsCreateTransform(device.get(), deviceFormat, lab.get(), labFormat,
                                                  INTENT_RELATIVE_COLORIMETRIC, flags)
                             : cmsCreateTransform(lab.get(), labFormat, device.get(), deviceFormat,
                                                  INTENT_RELATIVE_COLORIMETRIC, flags));
}

// The L*a*b* of one device value through a transform to TYPE_Lab_DBL.
inline cv::Vec3d labOf(const LcmsTransform &toLab, const void *device) {
    cv::Vec3d lab;
    cmsDoTransform(toLab.get(), device, lab.val, 1);
    return lab;
}

inline double littleCmsDeltaE2000(const cv::Vec3d &x, const cv::Vec3d &y) {
    const cmsCIELab first = {x[0], x[1], x[2]};
    const cmsCIELab second = {y[0], y[1], y[2]};
    return cmsCIE2000DeltaE(&first, &second, 1, 1, 1);
}

// The ColorChecker 24 L*a*b* as its maker gives it, read with Little CMS's CGATS reader.
inline std::vector<cv::Vec3d> colorCheckerLab() {
    std::vector<cv::Vec3d> patches;
    cmsHANDLE it8 = cmsIT8LoadFromFile(nullptr, "/usr/share/color/argyll/ref/ColorChecker.cie");
    for (int i = 0; it8 && i < cmsIT8GetPropertyDbl(it8, "NUMBER_OF_SETS"); ++i)
        patches.emplace_back(cmsIT8GetDataRowColDbl(it8, i, 1), cmsIT8GetDataRowColDbl(it8, i, 2),
                             cmsIT8GetDataRowColDbl(it8, i, 3));
    if (it8)
        cmsIT8Free(it8);
    return patches;
}
