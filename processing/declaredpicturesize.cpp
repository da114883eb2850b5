// SPDX-License-Identifier: GPL-3.0-or-later
#include "declaredpicturesize.h"

#include "declaredpicturesizereaders.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cctype>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ImageFiles", text);
}

void setProblem(QString *problem, const QString &text) {
    if (problem)
        *problem = text;
}

// Qt's readers know these headers; the decoded depth is estimated from Qt's own format.
std::optional<DeclaredPicture> readWithQt(QFile &file, const char *format) {
    QImageReader reader(&file, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    const int bits = QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel();
    return DeclaredPicture{size.width(), size.height(), std::max(1, bits / 8)};
}

std::optional<DeclaredPicture> readPng(QFile &file) {
    return readWithQt(file, "png");
}

std::optional<DeclaredPicture> readJpeg(QFile &file) {
    return readWithQt(file, "jpeg");
}

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

struct HeaderFormat {
    const char *name;
    std::optional<DeclaredPicture> (*read)(QFile &);
};

// The format the image library would take the content for, by the same signatures.
std::optional<HeaderFormat> formatOf(const QByteArray &head) {
    const auto starts = [&head](const char *prefix, int length) {
        return head.size() >= length && std::equal(prefix, prefix + length, head.constData());
    };
    if (starts("\x89PNG\r\n\x1a\n", 8))
        return HeaderFormat{"PNG", readPng};
    if (starts("\xff\xd8\xff", 3))
        return HeaderFormat{"JPEG", readJpeg};
    // Qt's bitmap reader gives no size over 16384 x 16384.
    if (starts("BM", 2))
        return HeaderFormat{"BMP", readBitmapHeader};
    if (starts("II", 2) || starts("MM", 2))
        return HeaderFormat{"TIFF", readTiffHeader};
    if (starts("RIFF", 4) && head.mid(8, 4) == "WEBP")
        return HeaderFormat{"WebP", readWebpHeader};
    if (starts("\0\0\0\x0cjP  \r\n\x87\n", 12))
        return HeaderFormat{"JPEG 2000", readJp2Header};
    if (starts("\xff\x4f\xff\x51", 4))
        return HeaderFormat{"JPEG 2000", readJ2kHeader};
    if (starts("\x59\xa6\x6a\x95", 4))
        return HeaderFormat{"Sun raster", readSunRasterHeader};
    if (starts("#?RADIANCE", 10) || starts("#?RGBE", 6))
        return HeaderFormat{"Radiance HDR", readRadianceHeader};
    if (starts("\x76\x2f\x31\x01", 4))
        return HeaderFormat{"OpenEXR", readExrHeader};
    if (head.size() >= 3 && head[0] == 'P' && isBlank(head[2])) {
        if (head[1] >= '1' && head[1] <= '7')
            return HeaderFormat{head[1] == '7' ? "PAM" : "PNM", readPortableMapHeader};
        if (head[1] == 'F' || head[1] == 'f')
            return HeaderFormat{"PFM", readPortableFloatMapHeader};
    }
    return std::nullopt;
}

} // namespace

std::optional<DeclaredPicture> readDeclaredPicture(const QString &path, QString *problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setProblem(problem, tr("The file cannot be read."));
        return std::nullopt;
    }
    const QByteArray head = file.peek(132);
    const std::optional<HeaderFormat> format = formatOf(head);
    if (!format) {
        // The image library reads DICOM too, but its size lies deep in tagged data.
        setProblem(problem, head.mid(128, 4) == "DICM"
                                ? tr("The file is a DICOM picture, whose size cannot be checked "
                                     "before decoding; convert it to TIFF or PNG first.")
                                : tr("The file is not an image in a format that can be read, or "
                                     "it is damaged."));
        return std::nullopt;
    }
    const std::optional<DeclaredPicture> picture = format->read(file);
    if (!picture) {
        setProblem(problem, tr("The file's %1 header is damaged or cut short: the picture size "
                               "it declares cannot be read, so it is not decoded.")
                                .arg(QLatin1String(format->name)));
        return std::nullopt;
    }
    // A forged header would otherwise make the decoder reserve memory for pixels never there.
    if (picture->leastFileBytes > file.size()) {
        setProblem(problem, tr("The file declares %1 x %2 pixels, which need at least %3 bytes, "
                               "but it holds only %4 bytes: it is cut short or damaged.")
                                .arg(picture->width)
                                .arg(picture->height)
                                .arg(picture->leastFileBytes)
                                .arg(file.size()));
        return std::nullopt;
    }
    return picture;
}
