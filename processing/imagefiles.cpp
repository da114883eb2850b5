// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagefiles.h"

#include "atomicfilewrite.h"
#include "drivepath.h"
#include "imageencoding.h"
#include "picturesizelimit.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <new>
#include <string>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ImageFiles", text);
}

void setError(QString *error, const QString &text) {
    if (error)
        *error = text;
}

// The bytes the image library gets for a name: its UTF-8 form up to the first zero byte.
std::string libraryName(const QString &path) {
    return std::string(path.toUtf8().constData());
}

} // namespace

cv::Mat readImageFile(const QString &name, QString *error) {
    const QString path = resolveDrivePath(name);
    const QFileInfo file(path);
    if (!file.exists()) {
        setError(error, tr("The file does not exist."));
        return {};
    }
    if (file.isDir()) {
        setError(error, tr("It is a folder, not an image file."));
        return {};
    }
    if (!file.isReadable()) {
        setError(error, tr("The file cannot be read."));
        return {};
    }
    if (file.size() == 0) {
        setError(error, tr("The file is empty."));
        return {};
    }
    // Nothing is decoded whose size is unknown or too large.
    QString refusal;
    const std::optional<DeclaredPicture> declared = readDeclaredPicture(path, &refusal);
    if (declared)
        refusal = pictureSizeRefusal(*declared, currentPictureSizeLimit());
    if (!refusal.isEmpty()) {
        setError(error, refusal);
        return {};
    }
    cv::Mat image;
    try {
        image = cv::imread(libraryName(path), cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception &exception) {
        setError(error, tr("The image library gave up reading it: %1")
                            .arg(QString::fromStdString(exception.err)));
        return {};
    } catch (const std::bad_alloc &) {
        setError(error, tr("There is not enough memory for the image."));
        return {};
    }
    if (image.empty())
        setError(error, tr("The file is not an image in a format that can be read, or it is "
                           "damaged."));
    return image;
}

bool writeImageRect(const cv::Mat &image, const cv::Rect &rect, const QString &name,
                    QString *error) {
    const QString path = resolveDrivePath(name);
    const std::optional<std::vector<uchar>> bytes = encodeImageRect(image, rect, path, error);
    if (!bytes)
        return false;
    const FileWriteResult result =
        writeFileAtomically(path, reinterpret_cast<const char *>(bytes->data()), bytes->size());
    if (!result.written())
        setError(error, result.error);
    return result.written();
}

Quad innerQuarterCorners(const cv::Size &size) {
    const int left = size.width / 4;
    const int top = size.height / 4;
    const int right = (3 * size.width) / 4;
    const int bottom = (3 * size.height) / 4;
    return {cv::Point(left, top), cv::Point(left, bottom), cv::Point(right, bottom),
            cv::Point(right, top)};
}
