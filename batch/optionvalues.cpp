// SPDX-License-Identifier: GPL-3.0-or-later
#include "optionvalues.h"

#include "batchmessages.h"
#include "patchgrid.h"

#include <QRegularExpression>
#include <QStringList>

#include <vector>

namespace {

// Exactly `count` whole numbers separated by commas.
std::optional<std::vector<int>> parseIntegers(const QString &text, int count, QString *error) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count) {
        *error = QStringLiteral("\"%1\" has %2 where %3 are needed.")
                     .arg(text, countOf(parts.size(), QStringLiteral("value")))
                     .arg(count);
        return std::nullopt;
    }
    std::vector<int> values;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (!ok) {
            *error = QStringLiteral("\"%1\" is not a whole number.").arg(part.trimmed());
            return std::nullopt;
        }
        values.push_back(value);
    }
    return values;
}

bool inRange(int value, int low, int high, const QString &name, QString *error) {
    if (value >= low && value <= high)
        return true;
    *error = QStringLiteral("%1 must lie between %2 and %3, not %4.")
                 .arg(name)
                 .arg(low)
                 .arg(high)
                 .arg(value);
    return false;
}

} // namespace

std::optional<Quad> parseCorners(const QString &text, QString *error) {
    const std::optional<std::vector<int>> values = parseIntegers(text, 8, error);
    if (!values)
        return std::nullopt;
    const std::vector<int> &v = *values;
    return Quad{cv::Point(v[0], v[1]), cv::Point(v[2], v[3]), cv::Point(v[4], v[5]),
                cv::Point(v[6], v[7])};
}

std::optional<LabValue> parseLabValue(const QString &text, QString *error) {
    const std::optional<std::vector<int>> v = parseIntegers(text, 3, error);
    if (!v || !inRange((*v)[0], 0, 100, QStringLiteral("L"), error) ||
        !inRange((*v)[1], -127, 127, QStringLiteral("a"), error) ||
        !inRange((*v)[2], -127, 127, QStringLiteral("b"), error))
        return std::nullopt;
    return LabValue{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<LabValue> parseGridSteps(const QString &text, QString *error) {
    const std::optional<std::vector<int>> v = parseIntegers(text, 3, error);
    if (!v || !inRange((*v)[0], 1, 100, QStringLiteral("The L step"), error) ||
        !inRange((*v)[1], 1, 127, QStringLiteral("The a step"), error) ||
        !inRange((*v)[2], 1, 127, QStringLiteral("The b step"), error))
        return std::nullopt;
    return LabValue{(*v)[0], (*v)[1], (*v)[2]};
}

std::optional<LabEncoding> parseEncoding(const QString &text, QString *error) {
    const std::optional<LabEncoding> encoding = labEncodingFromKey(text);
    if (!encoding)
        *error = QStringLiteral("The encoding must be \"linear\", \"srgb\" or \"icc\", not \"%1\".")
                     .arg(text);
    return encoding;
}

std::optional<int> parseCellSize(const QString &text, QString *error) {
    bool ok = false;
    const int size = text.trimmed().toInt(&ok);
    if (!ok || size < 1) {
        *error =
            QStringLiteral("The cell size must be a positive whole number, not \"%1\".").arg(text);
        return std::nullopt;
    }
    return size;
}

std::optional<ChartSize> parseChartSize(const QString &text, QString *error) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)\\s*[xX]\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    bool rowsOk = false;
    bool columnsOk = false;
    const int rows = match.hasMatch() ? match.captured(1).toInt(&rowsOk) : 0;
    const int columns = match.hasMatch() ? match.captured(2).toInt(&columnsOk) : 0;
    const auto inRange = [](int count) {
        return count >= GridLayout::minCount && count <= GridLayout::maxCount;
    };
    if (!rowsOk || !columnsOk || !inRange(rows) || !inRange(columns)) {
        *error = QStringLiteral("The chart must be ROWSxCOLS, each from %1 to %2, not \"%3\".")
                     .arg(GridLayout::minCount)
                     .arg(GridLayout::maxCount)
                     .arg(text);
        return std::nullopt;
    }
    return ChartSize{rows, columns};
}

std::optional<double> parseInset(const QString &text, QString *error) {
    bool ok = false;
    const double inset = text.trimmed().toDouble(&ok);
    if (!ok || !(inset >= 0 && inset <= GridLayout::maxInsetPercent)) {
        *error = QStringLiteral("The inset must be a percentage from 0 to %1, not \"%2\".")
                     .arg(GridLayout::maxInsetPercent)
                     .arg(text);
        return std::nullopt;
    }
    return inset;
}

std::optional<Shard> parseShard(const QString &text, QString *error) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)\\s*/\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    bool kOk = false;
    bool nOk = false;
    const int k = match.hasMatch() ? match.captured(1).toInt(&kOk) : 0;
    const int n = match.hasMatch() ? match.captured(2).toInt(&nOk) : 0;
    if (!kOk || !nOk || k < 1 || k > n) {
        *error = QStringLiteral("The shard must be K/N with 1 <= K <= N, not \"%1\".").arg(text);
        return std::nullopt;
    }
    return Shard{k, n};
}

QString cornersRefusal(const Quad &corners, const cv::Size &imageSize) {
    for (int i = 0; i < 4; ++i) {
        const cv::Point &corner = corners[i];
        if (corner.x < 0 || corner.y < 0 || corner.x >= imageSize.width ||
            corner.y >= imageSize.height)
            return QStringLiteral("Corner %1 (%2, %3) lies outside the image of %4 x %5 pixels.")
                .arg(i)
                .arg(corner.x)
                .arg(corner.y)
                .arg(imageSize.width)
                .arg(imageSize.height);
    }
    return {};
}
