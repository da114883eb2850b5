// SPDX-License-Identifier: GPL-3.0-or-later
#include "cameraprofileicc.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("CameraProfileIcc", text);
}

struct ProfileClose {
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using ProfileHandle = std::unique_ptr<void, ProfileClose>;

struct MluFree {
    void operator()(cmsMLU *mlu) const { cmsMLUfree(mlu); }
};

bool writeText(cmsHPROFILE profile, cmsTagSignature tag, const QString &text) {
    const std::unique_ptr<cmsMLU, MluFree> mlu(cmsMLUalloc(nullptr, 1));
    if (!mlu)
        return false;
    const std::wstring wide = text.toStdWString();
    return cmsMLUsetWide(mlu.get(), "en", "US", wide.c_str()) &&
           cmsWriteTag(profile, tag, mlu.get());
}

bool writeColumn(cmsHPROFILE profile, cmsTagSignature tag, const cv::Matx33d &matrix, int column) {
    const cmsCIEXYZ colorant = {matrix(0, column), matrix(1, column), matrix(2, column)};
    return cmsWriteTag(profile, tag, &colorant);
}

} // namespace

ToneCurveHandle srgbToneCurve() {
    // Y = ((a X + b) ^ g) above d, c X below it.
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return ToneCurveHandle(cmsBuildParametricToneCurve(nullptr, 4, parameters));
}

ToneCurveHandle modelToneCurve(const CameraModel &model) {
    switch (model.tone) {
    case ToneCurve::Srgb:
        return srgbToneCurve();
    case ToneCurve::Gamma:
        return ToneCurveHandle(cmsBuildGamma(nullptr, model.gamma));
    case ToneCurve::Linear:
        break;
    }
    return ToneCurveHandle(cmsBuildGamma(nullptr, 1.0));
}

QString cameraProfileDescription(const QString &chartName, const QDate &date) {
    return tr("Camera profile from %1, %2").arg(chartName, date.toString(Qt::ISODate));
}

std::optional<QByteArray> cameraProfileBytes(const CameraModel &model, const QString &description,
                                             QString &error) {
    const ToneCurveHandle curve = modelToneCurve(model);
    const ProfileHandle profile(cmsCreateProfilePlaceholder(nullptr));
    if (!curve || !profile) {
        error = tr("Little CMS could not make the profile.");
        return std::nullopt;
    }
    cmsHPROFILE handle = profile.get();
    cmsSetProfileVersion(handle, 4.3);
    cmsSetDeviceClass(handle, cmsSigInputClass);
    cmsSetColorSpace(handle, cmsSigRgbData);
    cmsSetPCS(handle, cmsSigXYZData);
    cmsSetHeaderRenderingIntent(handle, INTENT_RELATIVE_COLORIMETRIC);
    const bool tagged = writeText(handle, cmsSigProfileDescriptionTag, description) &&
                        writeText(handle, cmsSigCopyrightTag, tr("No copyright, use freely")) &&
                        cmsWriteTag(handle, cmsSigMediaWhitePointTag, cmsD50_XYZ()) &&
                        writeColumn(handle, cmsSigRedColorantTag, model.matrix, 0) &&
                        writeColumn(handle, cmsSigGreenColorantTag, model.matrix, 1) &&
                        writeColumn(handle, cmsSigBlueColorantTag, model.matrix, 2) &&
                        cmsWriteTag(handle, cmsSigRedTRCTag, curve.get()) &&
                        cmsLinkTag(handle, cmsSigGreenTRCTag, cmsSigRedTRCTag) &&
                        cmsLinkTag(handle, cmsSigBlueTRCTag, cmsSigRedTRCTag) &&
                        cmsMD5computeID(handle);
    cmsUInt32Number size = 0;
    if (!tagged || !cmsSaveProfileToMem(handle, nullptr, &size) || size == 0) {
        error = tr("Little CMS could not write the profile.");
        return std::nullopt;
    }
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (!cmsSaveProfileToMem(handle, bytes.data(), &size)) {
        error = tr("Little CMS could not write the profile.");
        return std::nullopt;
    }
    bytes.resize(qsizetype(size));
    return bytes;
}

FileWriteResult writeCameraProfile(const QString &path, const CameraModel &model,
                                   const QString &description) {
    FileWriteResult result;
    const auto bytes = cameraProfileBytes(model, description, result.error);
    if (!bytes)
        return result;
    return writeFileAtomically(path, bytes->constData(), size_t(bytes->size()));
}
