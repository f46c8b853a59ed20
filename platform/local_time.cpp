#include "platform/local_time.h"

#include <ctime>
#include <mutex>

namespace platform {
namespace {

struct State {
    std::mutex mutex;
    Clock clock;
};

State& TheState() {
    static State state;
    return state;
}

}  // namespace

int64_t CurrentTime() {
    Clock clock;
    {
        State& s = TheState();
        std::lock_guard lock(s.mutex);
        clock = s.clock;
    }
    if (clock) return clock();
    return static_cast<int64_t>(std::time(nullptr));
}

LocalTime ToLocalTime(int64_t calendarTime) {
    const auto t = static_cast<std::time_t>(calendarTime);
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr) return LocalTime{};
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

Clock SetClock(Clock clock) {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    Clock former = std::move(s.clock);
    s.clock = std::move(clock);
    return former;
}

}  // namespace platform
