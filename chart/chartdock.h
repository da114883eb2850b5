// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCVImage;
class QDockWidget;
class QWidget;

// The "Chart" dock, its panel reading the chart under `canvas`'s corners.
QDockWidget *createChartDock(QCVImage *canvas, QWidget *parent);
