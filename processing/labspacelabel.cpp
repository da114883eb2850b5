// SPDX-License-Identifier: GPL-3.0-or-later
#include "labspacelabel.h"

QString labSpaceLabel(const LabSpace &space) {
    switch (space.encoding()) {
    case LabEncoding::Linear:
        return QStringLiteral("OpenCV, D65, linear light");
    case LabEncoding::Srgb:
        return QStringLiteral("OpenCV, D65, sRGB");
    case LabEncoding::Icc:
        break;
    }
    const QString name = space.profile()->description();
    return QStringLiteral("ICC D50, relative colorimetric, profile %1")
        .arg(name.isEmpty() ? QStringLiteral("without a name")
                            : QLatin1Char('"') + name + QLatin1Char('"'));
}
