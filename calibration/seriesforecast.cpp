// SPDX-License-Identifier: GPL-3.0-or-later
#include "seriesforecast.h"

#include "seriesrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

namespace {

constexpr int largeSeriesFiles = 1000;
constexpr std::int64_t largeSeriesBytes = std::int64_t{1} << 30;

QString tr(const char *text) {
    return QCoreApplication::translate("SeriesForecast", text);
}

QString span(const char *channel, int first, int last) {
    return first == last ? QStringLiteral("%1 %2").arg(QLatin1String(channel)).arg(first)
                         : tr("%1 %2 to %3").arg(QLatin1String(channel)).arg(first).arg(last);
}

QString rangeOf(const SeriesPlan &plan) {
    const int size = plan.size();
    if (size == 0)
        return {};
    const LabValue first = plan.image(0).value;
    const LabValue last = plan.image(size - 1).value;
    const LabValue &p = plan.parameters;
    if (plan.kind == SeriesPlan::Kind::Grid)
        return tr("%1 in steps of %2, %3 in steps of %4, %5 in steps of %6")
            .arg(span("L*", first.l, last.l))
            .arg(p.l)
            .arg(span("a*", first.a, last.a))
            .arg(p.a)
            .arg(span("b*", first.b, last.b))
            .arg(p.b);
    return tr("%1, %2, %3, in steps of 2 around %4, %5, %6")
        .arg(span("L*", first.l, last.l), span("a*", first.a, last.a), span("b*", first.b, last.b))
        .arg(p.l)
        .arg(p.a)
        .arg(p.b);
}

} // namespace

bool SeriesForecast::isLarge() const {
    return files > largeSeriesFiles || (bytes && *bytes > largeSeriesBytes);
}

QString SeriesForecast::sizeText() const {
    const QString size =
        bytes ? tr("about %1").arg(QLocale().formattedDataSize(*bytes)) : tr("an unknown size");
    return (files == 1 ? tr("1 file, %1") : tr("%1 files, %2").arg(files)).arg(size);
}

SeriesForecast forecastSeries(const cv::Mat &image, const Quad &corners, const SeriesPlan &plan,
                              const SeriesOptions &options) {
    SeriesForecast forecast;
    forecast.files = plan.size();
    forecast.bytes = estimateSeriesBytes(image, corners, options.format, forecast.files);
    forecast.folder = QDir::toNativeSeparators(seriesFolder(options));
    forecast.range = rangeOf(plan);
    return forecast;
}
