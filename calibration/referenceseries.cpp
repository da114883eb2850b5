// SPDX-License-Identifier: GPL-3.0-or-later
#include "referenceseries.h"

#include <algorithm>

namespace {

constexpr int gridLEnd = 100;
constexpr int gridAbStart = -120;
constexpr int gridAbEnd = 120;
constexpr int deltaOffsets = 17;
constexpr int deltaFirstOffset = -16;
constexpr int deltaOffsetStep = 2;

// Values start, start + step, ... below end: the first one always, as the loops test after
// their increment.
int valueCount(int start, int end, int step) {
    return std::max(1, (end - start + step - 1) / step);
}

} // namespace

QStringList nonPositiveGridSteps(const LabValue &steps) {
    QStringList channels;
    if (steps.l <= 0)
        channels << QStringLiteral("L");
    if (steps.a <= 0)
        channels << QStringLiteral("a");
    if (steps.b <= 0)
        channels << QStringLiteral("b");
    return channels;
}

int gridSeriesSize(const LabValue &steps) {
    if (!nonPositiveGridSteps(steps).isEmpty())
        return 0;
    return valueCount(0, gridLEnd, steps.l) * valueCount(gridAbStart, gridAbEnd, steps.a) *
           valueCount(gridAbStart, gridAbEnd, steps.b);
}

ReferenceImage gridSeriesImage(const LabValue &steps, int index) {
    const int countA = valueCount(gridAbStart, gridAbEnd, steps.a);
    const int countB = valueCount(gridAbStart, gridAbEnd, steps.b);
    const LabValue value{index / (countA * countB) * steps.l,
                         gridAbStart + index / countB % countA * steps.a,
                         gridAbStart + index % countB * steps.b};
    return {value, labCodes(value),
            QString::asprintf("C:/ref_img_%i_%i_%i.jpg", value.l, value.a, value.b)};
}

ReferenceImage deltaSeriesImage(const LabValue &centre, int index) {
    const auto offset = [](int position) { return deltaFirstOffset + position * deltaOffsetStep; };
    const LabValue value{
        std::clamp(centre.l + offset(index / (deltaOffsets * deltaOffsets)), 0, 100),
        std::clamp(centre.a + offset(index / deltaOffsets % deltaOffsets), -127, 127),
        std::clamp(centre.b + offset(index % deltaOffsets), -127, 127)};
    return {value, labCodes(value),
            QString::asprintf("C:/ref_img_(%i_%i_%i)_%i_%i_%i.jpg", centre.l, centre.a, centre.b,
                              value.l, value.a, value.b)};
}
