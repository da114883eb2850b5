// SPDX-License-Identifier: GPL-3.0-or-later
#include "labencoding.h"

#include <opencv2/imgproc.hpp>

#include <stdexcept>

namespace {

// Reaching OpenCV's conversions in the ICC mode would measure silently wrong numbers.
void requireOpenCvEncoding(LabEncoding encoding) {
    if (encoding == LabEncoding::Icc)
        throw std::invalid_argument(
            "The colour-managed encoding has no OpenCV conversion; convert through its LabSpace.");
}

} // namespace

int bgrToLabConversion(LabEncoding encoding) {
    requireOpenCvEncoding(encoding);
    return encoding == LabEncoding::Srgb ? cv::COLOR_BGR2Lab : cv::COLOR_LBGR2Lab;
}

int labToBgrConversion(LabEncoding encoding) {
    requireOpenCvEncoding(encoding);
    return encoding == LabEncoding::Srgb ? cv::COLOR_Lab2BGR : cv::COLOR_Lab2LBGR;
}

QString labEncodingKey(LabEncoding encoding) {
    switch (encoding) {
    case LabEncoding::Srgb:
        return QStringLiteral("srgb");
    case LabEncoding::Icc:
        return QStringLiteral("icc");
    case LabEncoding::Linear:
        break;
    }
    return QStringLiteral("linear");
}

std::optional<LabEncoding> labEncodingFromKey(const QString &key) {
    if (key == QLatin1String("linear"))
        return LabEncoding::Linear;
    if (key == QLatin1String("srgb"))
        return LabEncoding::Srgb;
    if (key == QLatin1String("icc"))
        return LabEncoding::Icc;
    return std::nullopt;
}

LabEncodingChoice &LabEncodingChoice::instance() {
    static LabEncodingChoice choice;
    return choice;
}

void LabEncodingChoice::set(LabEncoding encoding) {
    if (current.exchange(encoding) != encoding)
        emit changed(encoding);
}
