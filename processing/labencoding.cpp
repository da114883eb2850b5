// SPDX-License-Identifier: GPL-3.0-or-later
#include "labencoding.h"

#include <opencv2/imgproc.hpp>

int bgrToLabConversion(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? cv::COLOR_BGR2Lab : cv::COLOR_LBGR2Lab;
}

int labToBgrConversion(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? cv::COLOR_Lab2BGR : cv::COLOR_Lab2LBGR;
}

QString labEncodingKey(LabEncoding encoding) {
    return encoding == LabEncoding::Srgb ? QStringLiteral("srgb") : QStringLiteral("linear");
}

std::optional<LabEncoding> labEncodingFromKey(const QString &key) {
    if (key == QLatin1String("linear"))
        return LabEncoding::Linear;
    if (key == QLatin1String("srgb"))
        return LabEncoding::Srgb;
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
