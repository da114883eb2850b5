// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <cstdio>
#include <functional>

// Progress of a run of many images on a stream (standard error): on a terminal a bar with the
// count, the rate and the time left, redrawn at most ten times a second; otherwise a line every
// few seconds, so logs stay short. Silent when quiet.
class ProgressReport {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    ProgressReport(int total, bool quiet, std::FILE *stream, bool onTerminal,
                   Clock clock = std::chrono::steady_clock::now);
    // Standard error, a terminal or not.
    static ProgressReport onStandardError(int total, bool quiet);

    // `done` of the total are finished.
    void update(int done);
    // Shows the last count and ends the bar's line.
    void finish(int done);

private:
    void print(const QString &text);
    QString barLine(int done, double seconds) const;
    QString logLine(int done, double seconds) const;

    int total;
    bool quiet;
    std::FILE *stream;
    bool onTerminal;
    Clock clock;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown;
    bool shownAny = false;
};
