// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

// One geometric transform, computed from point pairs and applied to an image.
class CVTransform {
public:
    // Three pairs give an affine transform (`matrix` 2 x 3), four a perspective one (3 x 3), both
    // as double; any other count leaves `matrix` as it was. Point i of `source` goes to point i of
    // `destination`.
    void compute(const cv::Point_<float> *source, const cv::Point_<float> *destination, int count);

    // Warps `src` into `dst` with bilinear interpolation and a black border. `dst` must already
    // be allocated with the wanted size and the type of `src`: its own pixels are written, so
    // every other header of its buffer sees the result. Requires a computed `matrix`.
    void apply(const cv::Mat &src, cv::Mat &dst) const;

    cv::Mat matrix;
};
