// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "canvasstep.h"

class ChartPanel;
class QCVImage;
class QDockWidget;
class QImageScrollArea;
class QWidget;

// The "Chart" dock, its panel reading the chart under `canvas`'s corners.
QDockWidget *createChartDock(QCVImage *canvas, QWidget *parent);

// Keeps `panel` told about the picture of `area`: the file it was opened from, where the chart
// dialogs start, and whether it has had a shading correction since it was opened. Returns
// `runner` wrapped so that it notices the shading corrections (alone or after a warp, as W
// runs them) that run through it; the area's commands are to run through the result.
CanvasStepRunner followPicture(ChartPanel &panel, QImageScrollArea &area, CanvasStepRunner runner);
