// SPDX-License-Identifier: GPL-3.0-or-later
#include "readouttext.h"

#include <QStringList>

#include <cmath>

namespace {

QString depthName(int depth) {
    switch (depth) {
    case CV_8U:
        return QStringLiteral("8-bit");
    case CV_8S:
        return QStringLiteral("8-bit signed");
    case CV_16U:
        return QStringLiteral("16-bit");
    case CV_16S:
        return QStringLiteral("16-bit signed");
    case CV_32S:
        return QStringLiteral("32-bit signed");
    case CV_32F:
        return QStringLiteral("32-bit float");
    case CV_64F:
        return QStringLiteral("64-bit float");
    default:
        return QStringLiteral("16-bit float");
    }
}

QString channelsName(int channels) {
    switch (channels) {
    case 1:
        return QStringLiteral("grey");
    // Named as users name them; the stored order is the library's business.
    case 3:
        return QStringLiteral("RGB");
    case 4:
        return QStringLiteral("RGBA");
    default:
        return QStringLiteral("%1 channels").arg(channels);
    }
}

// Channel c of the pixel at `at` as a double.
double storedValue(const uchar *at, int depth, int c) {
    switch (depth) {
    case CV_8U:
        return at[c];
    case CV_8S:
        return reinterpret_cast<const schar *>(at)[c];
    case CV_16U:
        return reinterpret_cast<const ushort *>(at)[c];
    case CV_16S:
        return reinterpret_cast<const short *>(at)[c];
    case CV_32S:
        return reinterpret_cast<const int *>(at)[c];
    case CV_32F:
        return reinterpret_cast<const float *>(at)[c];
    case CV_64F:
        return reinterpret_cast<const double *>(at)[c];
    default:
        return static_cast<float>(reinterpret_cast<const cv::float16_t *>(at)[c]);
    }
}

QString storedText(double value, int depth) {
    if (depth == CV_32F || depth == CV_64F || depth == CV_16F)
        return QString::number(value, 'f', 3);
    return QString::number(static_cast<qint64>(value));
}

} // namespace

QString oneDecimal(double value) {
    const double rounded = std::round(value * 10.0) / 10.0;
    return QString::number(rounded == 0.0 ? 0.0 : rounded, 'f', 1);
}

QString labText(const cv::Vec3d &lab) {
    return QStringLiteral("L* %1 a* %2 b* %3")
        .arg(oneDecimal(lab[0]), oneDecimal(lab[1]), oneDecimal(lab[2]));
}

QString pixelValuesText(const cv::Mat &image, const cv::Point &point) {
    if (image.dims != 2 || !cv::Rect(0, 0, image.cols, image.rows).contains(point))
        return {};
    const int channels = image.channels();
    const int depth = image.depth();
    const uchar *at = image.ptr(point.y) + static_cast<std::size_t>(point.x) * image.elemSize();
    QStringList parts;
    const auto add = [&](const char *name, int c) {
        parts << QLatin1String(name) << storedText(storedValue(at, depth, c), depth);
    };
    switch (channels) {
    case 1:
        add("Grey", 0);
        break;
    case 3:
    case 4:
        add("R", 2);
        add("G", 1);
        add("B", 0);
        if (channels == 4)
            add("A", 3);
        break;
    default:
        for (int c = 0; c < channels; ++c)
            parts << QStringLiteral("C%1").arg(c) << storedText(storedValue(at, depth, c), depth);
    }
    return parts.join(QLatin1Char(' '));
}

QString imageFormatText(const cv::Mat &image) {
    if (image.empty())
        return {};
    return QStringLiteral("%1 × %2, %3 %4")
        .arg(image.cols)
        .arg(image.rows)
        .arg(depthName(image.depth()), channelsName(image.channels()));
}

QString measurementLine(const LabStats &stats) {
    QStringList fields;
    for (int c = 0; c < 3; ++c)
        fields << oneDecimal(stats.mean[c]);
    for (int c = 0; c < 3; ++c)
        fields << oneDecimal(stats.stdDev[c]);
    fields << QString::number(stats.count);
    return fields.join(QLatin1Char('\t'));
}
