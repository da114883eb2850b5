// SPDX-License-Identifier: GPL-3.0-or-later
#include "floatlab.h"

#include <memory>

Timed floatLabConversion(const cv::Mat &picture, cv::ColorConversionCodes code) {
    struct Buffers {
        cv::Mat scaled;
        cv::Mat lab;
    };
    const auto buffers = std::make_shared<Buffers>();
    return {[picture, code, buffers] {
                picture.convertTo(buffers->scaled, CV_32F, 1.0 / 255.0);
                cv::cvtColor(buffers->scaled, buffers->lab, code);
            },
            [buffers] {
                buffers->scaled.release();
                buffers->lab.release();
            }};
}
