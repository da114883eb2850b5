// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageencoding.h"

#include "imageencodingfloat.h"
#include "matconversion.h"
#include "quad.h"
#include "signedtiff.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
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

QString suffixOf(const QString &path) {
    return QFileInfo(path).suffix().toLower();
}

bool isTiff(const QString &path) {
    const QString suffix = suffixOf(path);
    return suffix == QLatin1String("tif") || suffix == QLatin1String("tiff");
}

bool isSigned(int depth) {
    return depth == CV_8S || depth == CV_16S || depth == CV_32S;
}

// Formats whose writers take 16-bit samples; every other writer would clip them to 255.
bool keepsSixteenBits(const QString &path) {
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("tif"),
                                         QStringLiteral("tiff"), QStringLiteral("jp2"),
                                         QStringLiteral("pgm"),  QStringLiteral("ppm"),
                                         QStringLiteral("pnm"),  QStringLiteral("pam")};
    return suffixes.contains(suffixOf(path));
}

// The samples as the chosen format can hold them: 16-bit data that it would clip are brought to
// 8 bits as they are shown.
cv::Mat samplesForFormat(const cv::Mat &part, const QString &path) {
    if (part.depth() == CV_16U && !keepsSixteenBits(path))
        return depthTo8Bit(part);
    return floatSamplesForWriter(part, suffixOf(path));
}

// The library may know a format yet have it switched off (OpenEXR, through
// OPENCV_IO_ENABLE_OPENEXR), and then throws when asked.
bool hasImageWriter(const QString &path) {
    try {
        return cv::haveImageWriter(std::string(path.toUtf8().constData()));
    } catch (const cv::Exception &) {
        return false;
    }
}

QString sizeText(int width, int height) {
    return tr("%1 x %2 pixels").arg(width).arg(height);
}

// Why the portable formats' writers would refuse this many channels; empty when they take it.
QString channelRefusal(const QString &suffix, int channels) {
    if ((suffix == QLatin1String("pbm") || suffix == QLatin1String("pgm")) && channels != 1)
        return tr("A .%1 file holds one grey channel, but the image has %2 channels; save it as "
                  "PNG or TIFF instead.")
            .arg(suffix)
            .arg(channels);
    if (suffix == QLatin1String("ppm") && channels != 3)
        return tr("A .ppm file holds three colour channels, but the image has %1; save it as PNG "
                  "or TIFF instead.")
            .arg(channels);
    if (suffix == QLatin1String("pnm") && channels != 1 && channels != 3)
        return tr("A .pnm file holds one or three channels, but the image has %1; save it as PNG "
                  "or TIFF instead.")
            .arg(channels);
    return {};
}

// Why the format cannot hold this rectangle of the image; empty when it can.
QString formatRefusal(const cv::Mat &image, const cv::Rect &rect, const QString &path) {
    const QString suffix = suffixOf(path);
    if (isSigned(image.depth()) && !isTiff(path))
        return tr("The image holds %1 samples, which a .%2 file cannot keep; save it as TIFF "
                  "(.tif) to keep them as they are.")
            .arg(sampleTypeName(image.type()), suffix);
    const QString floatRefusal = floatFormatRefusal(image(rect), suffix);
    if (!floatRefusal.isEmpty())
        return floatRefusal;
    // The writer's default of six resolution levels halves the picture five times.
    if (suffix == QLatin1String("jp2") && (rect.width < 32 || rect.height < 32))
        return tr("JPEG 2000 files need at least 32 x 32 pixels, but the rectangle is %1.")
            .arg(sizeText(rect.width, rect.height));
    return channelRefusal(suffix, image.channels());
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
    if (!hasImageWriter(path))
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
    return formatRefusal(image, rect, path);
}

} // namespace

QString sampleTypeName(int type) {
    switch (CV_MAT_DEPTH(type)) {
    case CV_8U:
        return tr("unsigned 8-bit");
    case CV_8S:
        return tr("signed 8-bit");
    case CV_16U:
        return tr("unsigned 16-bit");
    case CV_16S:
        return tr("signed 16-bit");
    case CV_32S:
        return tr("signed 32-bit");
    case CV_32F:
        return tr("32-bit floating-point");
    case CV_64F:
        return tr("64-bit floating-point");
    default:
        return tr("16-bit floating-point");
    }
}

std::optional<std::vector<uchar>> encodeImageRect(const cv::Mat &image, const cv::Rect &rect,
                                                  const QString &path, QString *error) {
    const QString refusal = writeRefusal(image, rect, path);
    if (!refusal.isEmpty()) {
        setError(error, refusal);
        return std::nullopt;
    }
    try {
        const cv::Mat part = image(rect);
        std::vector<uchar> bytes;
        if (isSigned(part.depth())) {
            bytes = encodeSignedTiff(part);
            if (!bytes.empty())
                return bytes;
            setError(error,
                     tr("A TIFF file cannot hold this image: it is over 4 GB or has more than "
                        "four channels."));
            return std::nullopt;
        }
        const std::string extension = '.' + suffixOf(path).toStdString();
        if (cv::imencode(extension, samplesForFormat(part, path), bytes,
                         floatWriterParameters(part.depth(), suffixOf(path))))
            return bytes;
        setError(error, tr("The image library could not encode the image as %1.")
                            .arg(QString::fromStdString(extension)));
    } catch (const cv::Exception &exception) {
        setError(error, tr("The image library refused to write the file: %1")
                            .arg(QString::fromStdString(exception.err)));
    } catch (const std::bad_alloc &) {
        setError(error, tr("There is not enough memory to write the image."));
    }
    return std::nullopt;
}
