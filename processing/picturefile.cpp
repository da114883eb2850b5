// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturefile.h"

#include "atomicfilewrite.h"
#include "drivepath.h"
#include "embeddedprofile.h"
#include "embeddedprofilecheck.h"
#include "imageencoding.h"
#include "imagefiles.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ImageFiles", text);
}

} // namespace

PictureFile readPictureFile(const QString &name, QString *error) {
    PictureFile picture;
    picture.pixels = readImageFile(name, error);
    if (picture.pixels.empty())
        return picture;
    EmbeddedProfile embedded = readEmbeddedProfile(name);
    if (!embedded.error.isEmpty()) {
        picture.profileProblem =
            tr("The picture's ICC profile is left out. %1").arg(embedded.error);
        return picture;
    }
    if (!embedded.found())
        return picture;
    const QString refusal = profileRefusal(embedded.icc, picture.pixels.channels());
    if (!refusal.isEmpty()) {
        picture.profileProblem = tr("The picture's ICC profile is left out. %1").arg(refusal);
        return picture;
    }
    picture.icc = std::move(embedded.icc);
    return picture;
}

std::optional<std::vector<uchar>>
encodeImageRectWithProfile(const cv::Mat &image, const cv::Rect &rect, const QString &path,
                           const std::vector<unsigned char> &icc, QString *error) {
    if (!icc.empty() && !formatCarriesProfile(path)) {
        if (error)
            *error = tr("A .%1 file cannot carry the picture's ICC profile, so other programs "
                        "would show other colours; save it as PNG, TIFF or JPEG.")
                         .arg(QFileInfo(path).suffix());
        return std::nullopt;
    }
    std::optional<std::vector<uchar>> bytes = encodeImageRect(image, rect, path, error);
    if (!bytes || icc.empty())
        return bytes;
    return embedProfile(*bytes, icc, error);
}

bool writeImageRectWithProfile(const cv::Mat &image, const cv::Rect &rect, const QString &name,
                               const std::vector<unsigned char> &icc, QString *error) {
    if (icc.empty())
        return writeImageRect(image, rect, name, error);
    const QString path = resolveDrivePath(name);
    const std::optional<std::vector<uchar>> bytes =
        encodeImageRectWithProfile(image, rect, path, icc, error);
    if (!bytes)
        return false;
    const FileWriteResult result =
        writeFileAtomically(path, reinterpret_cast<const char *>(bytes->data()), bytes->size());
    if (!result.written() && error)
        *error = result.error;
    return result.written();
}
