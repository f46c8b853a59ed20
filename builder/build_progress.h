// The build's progress bar: the record estimate from the input file's length, the bar scaled so
// that its range never exceeds 65535, and one move of the bar every `divisor` records read.
#pragma once

#include <cstdint>

#include "builder/build_listener.h"
#include "fsclient/dornapi.h"

namespace builder {

class BuildProgress {
  public:
    static constexpr uint64_t kShownAbove = 1000;  // records; at or below, no bar
    static constexpr uint64_t kFirstDivisor = 100;
    static constexpr uint64_t kLargestRange = 65535;

    // `client` reads the input's length; `recordSize` is the input's record size.
    BuildProgress(CDornApi& dornApi, uint32_t recordSize, BuildListener& shown)
        : client(dornApi), inputRecordSize(recordSize), listener(shown) {}

    // The divisor for an estimate: 100, times 10 while estimate / divisor is above 65535.
    static uint64_t DivisorFor(uint64_t estimate);

    // Estimates the records of the input open on the input channel (its length in bytes over
    // inputRecordSize; 0 when the handle or the seek fails) and, above kShownAbove records,
    // shows the bar, repaints the window and sets the bar's range to 0 .. estimate / divisor.
    void Start();

    // One record read, deleted ones included: the countdown goes down by one and the bar moves
    // whenever it reaches a multiple of the divisor. Does nothing once the countdown is 0.
    void Step() {
        if (countdown == 0) return;
        --countdown;
        // Counted down apart, so that no record pays for a division.
        if (--untilMove == 0) {
            untilMove = divisor;
            Move();
        }
    }

    // Sets the bar to the estimate, at or above its upper bound: it shows full.
    void Finish();
    void Hide();

    uint64_t Estimate() const { return estimate; }
    uint64_t Divisor() const { return divisor; }

  private:
    void Move();

    CDornApi& client;
    uint32_t inputRecordSize;
    BuildListener& listener;
    uint64_t estimate = 0;
    uint64_t countdown = 0;
    uint64_t divisor = kFirstDivisor;
    uint64_t untilMove = kFirstDivisor;  // steps until the countdown is a multiple of divisor
};

}  // namespace builder
