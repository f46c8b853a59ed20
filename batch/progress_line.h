// The progress line of a batch run on a terminal: what the dialog's progress bar shows, written
// over itself on one line of standard error with the records read per second and the time left.
//
//   ordelin-batch: 42% 420000 records read, 183000 records/s, 0:03 left
//
// The bar's range and position say how far the build is (the time left follows from them); the
// records read so far give the rate. The line is redrawn at most every kRedrawSeconds, and at
// once when the bar is full.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace batch {

class ProgressLine {
  public:
    // Seconds on a steady clock.
    using Clock = std::function<double()>;
    static constexpr double kRedrawSeconds = 0.25;

    explicit ProgressLine(std::ostream& err, Clock clock = SteadySeconds);

    // The bar was scaled to 0 .. upper: the copy starts now.
    void Start(int upper);
    // The bar moved to `position` with `recordsRead` records read so far. Ignored before Start.
    void Move(int position, uint64_t recordsRead);
    // Ends a line that stands on standard error with a line feed, so the next line starts on a
    // line of its own. Moves after it draw a new line.
    void End();
    bool Shown() const { return shown; }

    // The text of the line, without the carriage return: the share of the bar, the records read,
    // their rate and the time left (the rate and the time left once there is something to
    // measure them by).
    static std::string Format(int position, int upper, uint64_t recordsRead, double seconds);
    // 75 -> "1:15", 3725 -> "1:02:05".
    static std::string Duration(double seconds);

    static double SteadySeconds();

  private:
    std::ostream& err;
    Clock clock;
    bool started = false;
    bool shown = false;
    int upper = 0;
    double startTime = 0;
    double lastDraw = 0;
};

}  // namespace batch
