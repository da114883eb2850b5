// SPDX-License-Identifier: GPL-3.0-or-later
#include "cvtransform.h"

#include <opencv2/imgproc.hpp>

void CVTransform::compute(const cv::Point_<float> *source, const cv::Point_<float> *destination,
                          int count) {
    if (count == 3)
        matrix = cv::getAffineTransform(source, destination);
    else if (count == 4)
        matrix = cv::getPerspectiveTransform(source, destination);
}

void CVTransform::apply(const cv::Mat &src, cv::Mat &dst) const {
    // A destination of another size or type would be reallocated by the library, and the
    // caller's buffer would silently stay unwritten.
    CV_Assert(!matrix.empty() && !dst.empty() && dst.type() == src.type());
    const cv::Size size(dst.cols, dst.rows);
    if (matrix.rows == 3)
        cv::warpPerspective(src, dst, matrix, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                            cv::Scalar::all(0.0));
    else
        cv::warpAffine(src, dst, matrix, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                       cv::Scalar::all(0.0));
}
