// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

// Targets and measured values keep these colours in every plot of the program (the chart's and
// the series report's): the first two of Qt Charts' default theme.
inline const QColor targetPlotColour = QColor(0x20, 0x9f, 0xdf);
inline const QColor measuredPlotColour = QColor(0x99, 0xca, 0x53);
