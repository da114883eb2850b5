// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

double secondsOf(const Timed &side) {
    side.prepare();
    const auto start = std::chrono::steady_clock::now();
    side.run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

double medianRatio(const Timed &candidate, const Timed &reference, int rounds) {
    secondsOf(candidate);
    secondsOf(reference);
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        double candidateSeconds = 0.0;
        double referenceSeconds = 0.0;
        if (round % 2 == 0) {
            candidateSeconds = secondsOf(candidate);
            referenceSeconds = secondsOf(reference);
        } else {
            referenceSeconds = secondsOf(reference);
            candidateSeconds = secondsOf(candidate);
        }
        ratios.push_back(candidateSeconds / referenceSeconds);
    }
    const auto middle = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
    std::nth_element(ratios.begin(), middle, ratios.end());
    if (ratios.size() % 2 == 1)
        return *middle;
    return (*middle + *std::max_element(ratios.begin(), middle)) / 2.0;
}

void printRatio(const char *name, double ratio) {
    std::printf("%s: %.2f\n", name, ratio);
    std::fflush(stdout);
}
