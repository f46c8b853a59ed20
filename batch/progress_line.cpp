#include "batch/progress_line.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "batch/batch_options.h"

namespace batch {

ProgressLine::ProgressLine(std::ostream& stream, Clock steadyClock)
    : err(stream), clock(std::move(steadyClock)) {}

double ProgressLine::SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ProgressLine::Duration(double seconds) {
    const auto total = static_cast<uint64_t>(std::llround(std::max(0.0, seconds)));
    const uint64_t h = total / 3600;
    const uint64_t m = total / 60 % 60;
    const uint64_t s = total % 60;
    char text[48];
    if (h != 0) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(h),
                      static_cast<unsigned long long>(m), static_cast<unsigned long long>(s));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(m),
                      static_cast<unsigned long long>(s));
    }
    return text;
}

std::string ProgressLine::Format(int position, int upper, uint64_t recordsRead, double seconds) {
    const int done =
        upper <= 0 ? 100
                   : static_cast<int>(std::clamp<int64_t>(int64_t{position} * 100 / upper, 0, 100));
    std::string line = std::string(kProgramName) + ": " + std::to_string(done) + "% " +
                       std::to_string(recordsRead) + " records read";
    if (seconds > 0 && recordsRead != 0) {
        line += ", " + std::to_string(std::llround(static_cast<double>(recordsRead) / seconds)) +
                " records/s";
    }
    if (seconds > 0 && position > 0 && upper > 0) {
        const double left =
            position >= upper ? 0.0 : seconds * static_cast<double>(upper - position) / position;
        line += ", " + Duration(left) + " left";
    }
    return line;
}

void ProgressLine::Start(int barUpper) {
    started = true;
    upper = barUpper;
    startTime = clock();
    lastDraw = startTime;
}

void ProgressLine::Move(int position, uint64_t recordsRead) {
    if (!started) return;
    const double now = clock();
    if (now - lastDraw < kRedrawSeconds && position < upper) return;
    lastDraw = now;
    // A carriage return goes back to the line's start; the escape clears what a longer line
    // before left behind.
    err << '\r' << Format(position, upper, recordsRead, now - startTime) << "\x1b[K" << std::flush;
    shown = true;
}

void ProgressLine::End() {
    if (shown) err << '\n' << std::flush;
    shown = false;
}

}  // namespace batch
