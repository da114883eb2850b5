// SPDX-License-Identifier: GPL-3.0-or-later
#include "photograph.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int width = 6000;
constexpr int height = 4000;
constexpr std::uint64_t seed = 20130304;
constexpr double noiseSigma = 6.0;

// A broad bright spot off the centre, falling to 60 % at the far corners: exp of a sum of
// squares is the product of one factor per column and one per row.
std::vector<double> lightFactors(int count, double centre, double spread) {
    std::vector<double> factors(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double d = (i - centre) / spread;
        factors[static_cast<size_t>(i)] = std::exp(-0.5 * d * d);
    }
    return factors;
}

} // namespace

cv::Mat syntheticPhotograph() {
    cv::Mat photo(height, width, CV_8UC3);
    const std::vector<double> lightX = lightFactors(width, 0.4 * width, 0.6 * width);
    const std::vector<double> lightY = lightFactors(height, 0.45 * height, 0.6 * height);
    cv::parallel_for_(cv::Range(0, height), [&](const cv::Range &rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            // One generator per row keeps the noise independent of how rows are shared out.
            cv::RNG rng(seed + static_cast<std::uint64_t>(y));
            const double v = static_cast<double>(y) / height;
            cv::Vec3b *out = photo.ptr<cv::Vec3b>(y);
            for (int x = 0; x < width; ++x) {
                const double u = static_cast<double>(x) / width;
                const double light =
                    0.6 + 0.4 * lightX[static_cast<size_t>(x)] * lightY[static_cast<size_t>(y)];
                const double blue = 40.0 + 150.0 * u;
                const double green = 60.0 + 120.0 * v + 30.0 * u * v;
                const double red = 210.0 - 90.0 * u - 60.0 * v;
                out[x] =
                    cv::Vec3b(cv::saturate_cast<uchar>(blue * light + rng.gaussian(noiseSigma)),
                              cv::saturate_cast<uchar>(green * light + rng.gaussian(noiseSigma)),
                              cv::saturate_cast<uchar>(red * light + rng.gaussian(noiseSigma)));
            }
        }
    });
    return photo;
}
