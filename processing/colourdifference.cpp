// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourdifference.h"

#include <lcms2.h>

#include <opencv2/core.hpp>

double deltaE76(const cv::Vec3d &lab1, const cv::Vec3d &lab2) {
    return cv::norm(lab1 - lab2);
}

double deltaE2000(const cv::Vec3d &lab1, const cv::Vec3d &lab2) {
    const cmsCIELab first{lab1[0], lab1[1], lab1[2]};
    const cmsCIELab second{lab2[0], lab2[1], lab2[2]};
    return cmsCIE2000DeltaE(&first, &second, 1.0, 1.0, 1.0);
}
