#include "platform/dialog_focus.h"

namespace platform {

void DialogFocus::Reset() {
    focus_.reset();
    interruptedMove_.reset();
}

void DialogFocus::MoveTo(int id) {
    if (focus_ == id) {
        Apply(id);
        return;
    }
    const std::optional<int> old = focus_;
    focus_ = id;
    const int boxesBefore = boxesShown_;
    if (old) {
        ++focusLostRunning_;
        hooks_.dispatch(DialogEvent::KillFocus, *old);
        --focusLostRunning_;
    }
    if (boxesShown_ != boxesBefore) interruptedMove_ = id;
    if (focus_ == id) {
        Apply(id);
        hooks_.dispatch(DialogEvent::SetFocus, id);
    }
}

void DialogFocus::Set(int id) {
    if (InFocusLost()) {
        focus_ = id;
        Apply(id);
        return;
    }
    MoveTo(id);
}

void DialogFocus::SetQuietly(int id) {
    focus_ = id;
}

bool DialogFocus::PressGoesOn(int id) {
    const bool interrupted = interruptedMove_ == id;
    interruptedMove_.reset();
    return focus_ == id && !interrupted;
}

bool DialogFocus::MoveForPress(int id) {
    interruptedMove_.reset();
    MoveTo(id);
    return PressGoesOn(id);
}

}  // namespace platform
