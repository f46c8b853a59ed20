#include "builder/build_progress.h"

#include <algorithm>
#include <limits>

#include "builder/build_constants.h"

namespace builder {
namespace {

int ClampToInt(uint64_t value) {
    return static_cast<int>(std::min<uint64_t>(value, std::numeric_limits<int>::max()));
}

}  // namespace

uint64_t BuildProgress::DivisorFor(uint64_t estimate) {
    uint64_t d = kFirstDivisor;
    while (estimate / d > kLargestRange) d *= 10;
    return d;
}

void BuildProgress::Start() {
    estimate = 0;
    int64_t handle = -1;
    int64_t length = 0;
    if (client.GetChannelHandle(kInputChannel, handle, nullptr) &&
        client.SeekHandle(handle, length, kSeekFromEnd) && length > 0 && inputRecordSize != 0) {
        estimate = static_cast<uint64_t>(length) / inputRecordSize;
    }
    countdown = estimate;
    divisor = kFirstDivisor;
    if (estimate > kShownAbove) {
        listener.ShowProgress(true);
        listener.RepaintNow();
        divisor = DivisorFor(estimate);
        listener.SetProgressRange(ClampToInt(estimate / divisor));
    }
    untilMove = countdown % divisor != 0 ? countdown % divisor : divisor;
}

void BuildProgress::Move() {
    listener.SetProgressPosition(ClampToInt((estimate - countdown) / divisor));
}

void BuildProgress::Finish() {
    listener.SetProgressPosition(ClampToInt(estimate));
}

void BuildProgress::Hide() {
    listener.ShowProgress(false);
}

}  // namespace builder
