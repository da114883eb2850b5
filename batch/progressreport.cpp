// SPDX-License-Identifier: GPL-3.0-or-later
#include "progressreport.h"

#include <unistd.h>

#include <cmath>
#include <utility>

namespace {

constexpr std::chrono::milliseconds barInterval{100};
constexpr std::chrono::milliseconds logInterval{5000};
constexpr int barWidth = 30;

QString duration(double seconds) {
    const long long whole = std::llround(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// Images per second and the time left, once something is done.
QString rateAndRest(int done, int total, double seconds) {
    if (done <= 0 || seconds <= 0)
        return QStringLiteral("-/s, time left unknown");
    const double rate = done / seconds;
    return QStringLiteral("%1/s, %2 left")
        .arg(rate, 0, 'f', 1)
        .arg(duration((total - done) / rate));
}

} // namespace

ProgressReport::ProgressReport(int totalCount, bool isQuiet, std::FILE *output, bool terminal,
                               Clock now)
    : total(totalCount), quiet(isQuiet), stream(output), onTerminal(terminal),
      clock(std::move(now)), start(clock()), lastShown(start) {
}

ProgressReport ProgressReport::onStandardError(int total, bool quiet) {
    return ProgressReport(total, quiet, stderr, isatty(STDERR_FILENO) == 1);
}

void ProgressReport::update(int done) {
    if (quiet)
        return;
    const auto now = clock();
    const std::chrono::milliseconds interval = onTerminal ? barInterval : logInterval;
    if (now - lastShown < interval)
        return;
    lastShown = now;
    shownAny = true;
    const double seconds = std::chrono::duration<double>(now - start).count();
    print(onTerminal ? QLatin1Char('\r') + barLine(done, seconds)
                     : logLine(done, seconds) + QLatin1Char('\n'));
}

void ProgressReport::finish(int done) {
    if (quiet)
        return;
    const double seconds = std::chrono::duration<double>(clock() - start).count();
    // A log gets a closing line only when it showed progress before, so short runs stay silent.
    if (onTerminal)
        print(QLatin1Char('\r') + barLine(done, seconds) + QLatin1Char('\n'));
    else if (shownAny)
        print(logLine(done, seconds) + QLatin1Char('\n'));
}

void ProgressReport::print(const QString &text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

QString ProgressReport::barLine(int done, double seconds) const {
    const int filled = total > 0 ? int(std::lround(double(barWidth) * done / total)) : barWidth;
    return QStringLiteral("[%1%2] %3/%4 %5")
        .arg(QString(filled, QLatin1Char('#')), QString(barWidth - filled, QLatin1Char('.')))
        .arg(done)
        .arg(total)
        .arg(rateAndRest(done, total, seconds));
}

QString ProgressReport::logLine(int done, double seconds) const {
    return QStringLiteral("vexmira-batch: %1 of %2 images, %3")
        .arg(done)
        .arg(total)
        .arg(rateAndRest(done, total, seconds));
}
