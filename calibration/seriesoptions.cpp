// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesoptions.h"

#include "drivepath.h"
#include "preciseloop.h"

#include <QFileInfo>

const std::vector<SeriesFormat> &seriesFormats() {
    static const std::vector<SeriesFormat> formats{SeriesFormat::Jpeg, SeriesFormat::Png,
                                                   SeriesFormat::Tiff, SeriesFormat::Png16,
                                                   SeriesFormat::Tiff16};
    return formats;
}

QString seriesFormatName(SeriesFormat format) {
    switch (format) {
    case SeriesFormat::Png:
        return QStringLiteral("PNG");
    case SeriesFormat::Tiff:
        return QStringLiteral("TIFF");
    case SeriesFormat::Png16:
        return QStringLiteral("PNG 16-bit");
    case SeriesFormat::Tiff16:
        return QStringLiteral("TIFF 16-bit");
    case SeriesFormat::Jpeg:
        break;
    }
    return QStringLiteral("JPEG");
}

QString seriesFormatKey(SeriesFormat format) {
    switch (format) {
    case SeriesFormat::Png16:
        return QStringLiteral("png16");
    case SeriesFormat::Tiff16:
        return QStringLiteral("tiff16");
    default:
        return seriesFormatName(format).toLower();
    }
}

std::optional<SeriesFormat> seriesFormatFromKey(const QString &key) {
    for (const SeriesFormat format : seriesFormats())
        if (key == seriesFormatKey(format))
            return format;
    return std::nullopt;
}

QString seriesFormatExtension(SeriesFormat format) {
    switch (format) {
    case SeriesFormat::Png:
    case SeriesFormat::Png16:
        return QStringLiteral("png");
    case SeriesFormat::Tiff:
    case SeriesFormat::Tiff16:
        return QStringLiteral("tif");
    case SeriesFormat::Jpeg:
        break;
    }
    return QStringLiteral("jpg");
}

bool isSixteenBitFormat(SeriesFormat format) {
    return format == SeriesFormat::Png16 || format == SeriesFormat::Tiff16;
}

LabSpace seriesLabSpace(const SeriesOptions &options) {
    return options.encoding == LabEncoding::Icc ? LabSpace::icc(options.profile)
                                                : LabSpace(options.encoding);
}

QString seriesFolder(const SeriesOptions &options) {
    return options.folder.isEmpty() ? resolveDrivePath(QStringLiteral("C:/")) : options.folder;
}

double seriesGoal(const SeriesOptions &options) {
    if (!options.precise)
        return defaultMethodGoal;
    return options.format == SeriesFormat::Jpeg ? preciseLossyGoal : preciseLosslessGoal;
}

int SeriesPlan::size() const {
    return kind == Kind::Grid ? gridSeriesSize(parameters) : deltaSeriesSize;
}

ReferenceImage SeriesPlan::image(int index) const {
    return kind == Kind::Grid ? gridSeriesImage(parameters, index)
                              : deltaSeriesImage(parameters, index);
}

QString SeriesPlan::manifestBaseName() const {
    const LabValue &p = parameters;
    return kind == Kind::Grid ? QString::asprintf("ref_img_grid_%i_%i_%i", p.l, p.a, p.b)
                              : QString::asprintf("ref_img_(%i_%i_%i)", p.l, p.a, p.b);
}

QString seriesFileName(const ReferenceImage &image, SeriesFormat format) {
    const QFileInfo described(image.fileName);
    return described.completeBaseName() + QLatin1Char('.') + seriesFormatExtension(format);
}
