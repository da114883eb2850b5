// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagefiles.h"

#include "drivepath.h"
#include "matconversion.h"

#include <QCoreApplication>
#include <QDir>
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

// Formats whose writers take 16-bit samples; every other writer would clip them to 255.
bool keepsSixteenBits(const QString &path) {
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("tif"),
                                         QStringLiteral("tiff"), QStringLiteral("jp2"),
                                         QStringLiteral("pgm"),  QStringLiteral("ppm"),
                                         QStringLiteral("pnm"),  QStringLiteral("pam")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

// Formats whose writers take floating-point samples as they are.
bool keepsFloat(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
}

// The samples as the chosen format can hold them: 16-bit and float data that it would clip or
// refuse are brought to 8 bits as they are shown.
cv::Mat samplesForFormat(const cv::Mat &part, const QString &path) {
    const int depth = part.depth();
    if ((depth == CV_16U && !keepsSixteenBits(path)) ||
        ((depth == CV_32F || depth == CV_64F) && !keepsFloat(path)))
        return depthTo8Bit(part);
    return part;
}

QString sizeText(int width, int height) {
    return tr("%1 x %2 pixels").arg(width).arg(height);
}

// Why `rect` of `image` cannot be written to `path`, or an empty text when it can.
QString writeRefusal(const cv::Mat &image, const cv::Rect &rect, const QString &path) {
    if (image.empty())
        return tr("There is no image to save.");
    if (rect.width <= 0 || rect.height <= 0)
        return tr("The rectangle from corner 0 to corner 2 is empty (%1): corner 2 must lie "
                  "to the right of and below corner 0.")
            .arg(sizeText(rect.width, rect.height));
    if (!rectInside(rect, image.size()))
        return tr("The rectangle from corner 0 to corner 2 (%1 at %2, %3) does not lie inside "
                  "the image (%4).")
            .arg(sizeText(rect.width, rect.height))
            .arg(rect.x)
            .arg(rect.y)
            .arg(sizeText(image.cols, image.rows));
    const QFileInfo file(path);
    if (file.suffix().isEmpty())
        return tr("The name has no extension, so no image format is chosen.");
    if (!cv::haveImageWriter(libraryName(path)))
        return tr("No image format is written for the extension \"%1\".").arg(file.suffix());
    if (file.isDir())
        return tr("A folder of that name exists.");
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return tr("The folder %1 does not exist.").arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isWritable())
        return tr("The folder %1 cannot be written.")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (file.exists() && !file.isWritable())
        return tr("The existing file cannot be overwritten.");
    return {};
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
    const QString refusal = writeRefusal(image, rect, path);
    if (!refusal.isEmpty()) {
        setError(error, refusal);
        return false;
    }
    try {
        if (cv::imwrite(libraryName(path), samplesForFormat(image(rect), path)))
            return true;
        setError(error, tr("The image library could not write the file."));
    } catch (const cv::Exception &exception) {
        setError(error, tr("The image library refused to write the file: %1")
                            .arg(QString::fromStdString(exception.err)));
    } catch (const std::bad_alloc &) {
        setError(error, tr("There is not enough memory to write the image."));
    }
    return false;
}

Quad innerQuarterCorners(const cv::Size &size) {
    const int left = size.width / 4;
    const int top = size.height / 4;
    const int right = (3 * size.width) / 4;
    const int bottom = (3 * size.height) / 4;
    return {cv::Point(left, top), cv::Point(left, bottom), cv::Point(right, bottom),
            cv::Point(right, top)};
}
