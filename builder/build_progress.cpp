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
    if (dialog.client->GetChannelHandle(kInputChannel, handle, nullptr) &&
        dialog.client->SeekHandle(handle, length, kSeekFromEnd) && length > 0 &&
        dialog.inputRecordSize != 0) {
        estimate = static_cast<uint64_t>(length) / dialog.inputRecordSize;
    }
    countdown = estimate;
    divisor = kFirstDivisor;
    if (estimate > kShownAbove) {
        dialog.progressBar.ShowWindow(true);
        if (platform::DialogView* view = dialog.View()) view->Repaint();
        divisor = DivisorFor(estimate);
        dialog.progressBar.SetRange(0, ClampToInt(estimate / divisor));
    }
}

void BuildProgress::Move() {
    dialog.progressBar.SetPos(ClampToInt((estimate - countdown) / divisor));
}

void BuildProgress::Finish() {
    dialog.progressBar.SetPos(ClampToInt(estimate));
}

void BuildProgress::Hide() {
    dialog.progressBar.ShowWindow(false);
}

}  // namespace builder
