// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <stdexcept>

// One side of a comparison: `prepare` runs untimed before every timed `run`.
struct Timed {
    std::function<void()> run;
    std::function<void()> prepare = [] {};
};

// Runs the two sides alternately, the first round untimed (it pays one-off costs such as lazily
// built tables), then `rounds` timed rounds with the side that goes first swapping every round.
// Returns the median over the timed rounds of the candidate's time divided by the reference's.
double medianRatio(const Timed &candidate, const Timed &reference, int rounds);

// Prints "name: ratio" on standard output, at once.
void printRatio(const char *name, double ratio);

// A benchmark found that the command did not do its work, so its figure would mean nothing.
class BenchFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
