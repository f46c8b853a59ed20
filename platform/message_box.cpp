#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

constexpr unsigned kButtonMask = 0xF;
constexpr unsigned kYesNoCancel = 0x3;

// Without a front end: the box goes to standard error and gets the cautious answer.
class StandardErrorSink : public MessageBoxSink {
  public:
    int Show(const std::string& caption, const std::string& text, unsigned flags) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
        return CautiousAnswer(flags);
    }
};

struct State {
    std::mutex mutex;
    std::shared_ptr<MessageBoxSink> sink;
    std::string appName = "Ordelin";
};

State& TheState() {
    static State state;
    return state;
}

std::shared_ptr<MessageBoxSink> CurrentSink() {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    if (!s.sink) s.sink = std::make_shared<StandardErrorSink>();
    return s.sink;
}

}  // namespace

int CautiousAnswer(unsigned flags) {
    const unsigned buttons = flags & kButtonMask;
    if (buttons == MB_YESNO) return IDNO;
    if (buttons == kYesNoCancel) return IDCANCEL;
    return IDOK;
}

std::shared_ptr<MessageBoxSink> SetMessageBoxSink(std::shared_ptr<MessageBoxSink> sink) {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    std::shared_ptr<MessageBoxSink> former = std::move(s.sink);
    s.sink = std::move(sink);
    return former;
}

int SystemMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    // The sink is held for the length of the box, so a sink replaced meanwhile stays alive.
    std::shared_ptr<MessageBoxSink> sink = CurrentSink();
    return sink->Show(caption, text, flags);
}

int AppMessageBox(const std::string& text, unsigned flags) {
    return SystemMessageBox(text, AppName(), flags);
}

void SetAppName(const std::string& name) {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    s.appName = name;
}

const std::string& AppName() {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    return s.appName;
}

}  // namespace platform
