// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressreport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using namespace std::chrono_literals;

// A stream in memory and a clock the test moves.
struct Capture {
    Capture() : stream(std::tmpfile()) {}
    ~Capture() { std::fclose(stream); }

    std::string text() const {
        std::fflush(stream);
        std::string content;
        std::rewind(stream);
        for (int c; (c = std::fgetc(stream)) != EOF;)
            content += char(c);
        return content;
    }
    ProgressReport::Clock clock() {
        return [this] { return now; };
    }

    std::FILE *stream;
    std::chrono::steady_clock::time_point now;
};

} // namespace

TEST(ProgressReport, LogGetsALineEveryFewSecondsWithRateAndTimeLeft) {
    Capture capture;
    ProgressReport report(100, false, capture.stream, false, capture.clock());
    capture.now += 1s;
    report.update(10);
    EXPECT_EQ(capture.text(), "");
    capture.now += 4s;
    report.update(50);
    EXPECT_EQ(capture.text(), "vexmira-batch: 50 of 100 images, 10.0/s, 0:00:05 left\n");
    capture.now += 1s;
    report.update(60);
    capture.now += 4s;
    report.finish(100);
    EXPECT_EQ(capture.text(), "vexmira-batch: 50 of 100 images, 10.0/s, 0:00:05 left\n"
                              "vexmira-batch: 100 of 100 images, 10.0/s, 0:00:00 left\n");
}

TEST(ProgressReport, TerminalGetsOneRedrawnBarAndQuietNothing) {
    Capture capture;
    ProgressReport report(4, false, capture.stream, true, capture.clock());
    capture.now += 2s;
    report.update(1);
    report.update(2); // within a tenth of a second of the last redraw
    report.finish(2);
    const std::string bar = "[########......................] 1/4 0.5/s, 0:00:06 left";
    const std::string last = "[###############...............] 2/4 1.0/s, 0:00:02 left";
    EXPECT_EQ(capture.text(), "\r" + bar + "\r" + last + "\n");

    Capture silent;
    ProgressReport quiet(4, true, silent.stream, true, silent.clock());
    silent.now += 10s;
    quiet.update(3);
    quiet.finish(4);
    EXPECT_EQ(silent.text(), "");
}
