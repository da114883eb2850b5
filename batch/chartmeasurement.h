// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "imagejob.h"
#include "patchgrid.h"
#include "picturecolour.h"

#include <QString>

// measure IN --chart ROWSxCOLS: every patch of the grid laid over the corners, measured as the
// "Chart" dock measures it, printed as the dock's CSV export; with the reference's values and
// differences when a reference file is given.
struct ChartMeasureJob {
    ImageJob image;
    PictureColour colour;
    GridLayout layout;
    // Empty: no reference.
    QString reference;
    // The corners where the chart finder finds a chart of the layout, instead of the job's.
    bool findChart = false;
};
ExitCode measureChart(const ChartMeasureJob &job);
