// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"
#include "meanlabadjustment.h"
#include "quad.h"

#include <QString>
#include <opencv2/core/types.hpp>

#include <optional>

// The values of vexmira-batch's options, read from their text. Each returns nothing, with the
// cause in `error`, for text it refuses.

// "x0,y0,x1,y1,x2,y2,x3,y3": corner 0 top-left, 1 bottom-left, 2 bottom-right, 3 top-right.
std::optional<Quad> parseCorners(const QString &text, QString *error);
// "L,a,b" within the panel's ranges: L* 0 to 100, a* and b* -127 to 127.
std::optional<LabValue> parseLabValue(const QString &text, QString *error);
// "sL,sa,sb", each at least 1 and at most the panel's maximum (100, 127, 127).
std::optional<LabValue> parseGridSteps(const QString &text, QString *error);
// "linear", "srgb" or "icc".
std::optional<LabEncoding> parseEncoding(const QString &text, QString *error);
// A positive whole number of pixels.
std::optional<int> parseCellSize(const QString &text, QString *error);

// A chart's grid as ROWSxCOLS, each 1 to 30.
struct ChartSize {
    int rows = 0;
    int columns = 0;
};
std::optional<ChartSize> parseChartSize(const QString &text, QString *error);
// A patch inset in percent, 0 to 45.
std::optional<double> parseInset(const QString &text, QString *error);

// Part K of N of a series: the images whose index i has i mod N = K - 1.
struct Shard {
    int k = 1;
    int n = 1;
};
// "K/N" with 1 <= K <= N.
std::optional<Shard> parseShard(const QString &text, QString *error);

// Whether the viewer could hold these corners on an image of the given size: it keeps every corner
// on a pixel of the image. An empty text when it could, otherwise why not.
QString cornersRefusal(const Quad &corners, const cv::Size &imageSize);
