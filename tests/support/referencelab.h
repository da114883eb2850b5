// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "labencoding.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

// The float L*a*b* picture of `part` as a user of OpenCV computes it, independent of the code
// under test: 8-bit values divided by 255, 16-bit ones by 65535, float as it is; grey and a
// fourth channel brought to BGR; then OpenCV's float conversion of the encoding.
inline cv::Mat referenceLab(const cv::Mat &part, LabEncoding encoding) {
    const int depth = part.depth();
    const double scale = depth == CV_8U ? 1 / 255.0 : depth == CV_16U ? 1 / 65535.0 : 1.0;
    cv::Mat scaled;
    part.convertTo(scaled, CV_32F, scale);
    cv::Mat bgr = scaled;
    if (part.channels() == 1)
        cv::cvtColor(scaled, bgr, cv::COLOR_GRAY2BGR);
    else if (part.channels() == 4)
        cv::cvtColor(scaled, bgr, cv::COLOR_BGRA2BGR);
    cv::Mat lab;
    cv::cvtColor(bgr, lab, encoding == LabEncoding::Srgb ? cv::COLOR_BGR2Lab : cv::COLOR_LBGR2Lab);
    return lab;
}

// Sets the encoding every Lab step of the program reads while this lives; linear afterwards.
class EncodingChoice {
public:
    explicit EncodingChoice(LabEncoding encoding) { LabEncodingChoice::instance().set(encoding); }
    ~EncodingChoice() { LabEncodingChoice::instance().set(LabEncoding::Linear); }
    EncodingChoice(const EncodingChoice &) = delete;
    EncodingChoice &operator=(const EncodingChoice &) = delete;
};
