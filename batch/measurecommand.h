// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exitcode.h"
#include "imagejob.h"
#include "picturecolour.h"

#include <QStringList>

// measure IN: the mean and standard deviation of L*a*b* over the rectangle that "Set Mean Lab
// Value" re-colours, in floating point under the encoding, as CSV on standard output:
// a "# L*a*b*: ..." line saying which L*a*b*, a header line, then
// "file,mean_L,mean_a,mean_b,sd_L,sd_a,sd_b,pixels" values.
struct MeasureJob {
    ImageJob image;
    PictureColour colour;
};
ExitCode measureImage(const MeasureJob &job);
int runMeasureCommand(const QStringList &arguments);
