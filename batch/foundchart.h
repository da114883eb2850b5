// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartreference.h"
#include "inputimage.h"
#include "labspace.h"
#include "patchgrid.h"
#include "quad.h"

#include <QString>
#include <opencv2/core/mat.hpp>

#include <optional>
#include <variant>

// The corners of the chart of `layout` that the chart finder finds in `image`, oriented by the
// reference when there is one; else "no chart found" or the chart found instead.
std::variant<Quad, QString> foundChartCorners(const cv::Mat &image, const GridLayout &layout,
                                              const LabSpace &space,
                                              const std::optional<ChartReference> &reference);

// The corners to read the chart at: where the chart finder finds it with `find`, otherwise the
// input's own. Nothing, after printing why on a line naming `path`, when no chart is found.
std::optional<Quad> chartCorners(const InputImage &input, const QString &path,
                                 const GridLayout &layout, bool find,
                                 const std::optional<ChartReference> &reference);
