// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "meanlabadjustment.h"

#include <QString>
#include <QStringList>

// The two series of reference images, enumerated in writing order by index rather than stored:
// a grid with steps of 1 has 5.76 million images.

// One image of a series: its L*a*b* value, the codes its rectangle is adjusted to and the file
// name, which begins with the drive prefix "C:/".
struct ReferenceImage {
    LabValue value;
    LabCodes target;
    QString fileName;
};

// The grid series runs L over 0, sL, 2 sL, ... below 100 (outer loop), a and then b over -120,
// -120 + s, ... below 120, and needs all three steps positive. The channel names ("L", "a",
// "b") whose step is zero or negative; empty when the steps are usable.
QStringList nonPositiveGridSteps(const LabValue &steps);
// Number of images of the grid series; 0 when a step is not positive.
int gridSeriesSize(const LabValue &steps);
// Image `index` (0 to size - 1), named "C:/ref_img_L_a_b.jpg".
ReferenceImage gridSeriesImage(const LabValue &steps, int index);

// The delta series: offsets -16, -14, ..., 16 around the centre in L (outer loop), a and b
// (inner loop), each sum clamped to L 0..100 and a, b -127..127. Clamping repeats names; the
// later image of a name replaces the earlier one.
inline constexpr int deltaSeriesSize = 17 * 17 * 17;
// Image `index` (0 to deltaSeriesSize - 1), named "C:/ref_img_(cL_ca_cb)_L_a_b.jpg".
ReferenceImage deltaSeriesImage(const LabValue &centre, int index);
