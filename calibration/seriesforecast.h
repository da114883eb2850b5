// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "quad.h"
#include "seriesoptions.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <cstdint>
#include <optional>

// What a series would write before it starts: how many files, about how many bytes, over which
// L*a*b* range and where, so that the panel can say it and ask before a large one.
struct SeriesForecast {
    int files = 0;
    // Nothing when the rectangle cannot be encoded.
    std::optional<std::int64_t> bytes;
    QString folder;
    // "L* 0 to 90 in steps of 10, a* and b* ..." or "L* 34 to 66, a* ... in steps of 2"; empty
    // for a grid whose steps are not all positive.
    QString range;

    // Above 1000 files or 1 GiB a series asks before it starts.
    bool isLarge() const;
    // "4913 files, about 2.1 GiB," (or "an unknown size").
    QString sizeText() const;
};

SeriesForecast forecastSeries(const cv::Mat &image, const Quad &corners, const SeriesPlan &plan,
                              const SeriesOptions &options);
