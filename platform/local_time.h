// Calendar time and its breakdown into the local date and time. The clock is replaceable, so
// that a test can fix the moment that a report is dated with or that a generator is seeded from.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// A moment in the local time zone.
struct LocalTime {
    int year = 1970;  // with all its digits
    int month = 1;    // 1 to 12
    int day = 1;      // 1 to 31
    int hour = 0;     // 0 to 23
    int minute = 0;   // 0 to 59
    int second = 0;   // 0 to 60
};

// The current calendar time: seconds since 1970-01-01 UTC, from the installed clock.
int64_t CurrentTime();

// The local date and time of a calendar time (the host's time zone, TZ included). A time the
// host cannot break down gives 1970-01-01 00:00:00.
LocalTime ToLocalTime(int64_t calendarTime);

// The local date and time now.
inline LocalTime LocalTimeNow() {
    return ToLocalTime(CurrentTime());
}

// A clock: gives the current calendar time.
using Clock = std::function<int64_t()>;

// Installs a clock and returns the former one. An empty clock restores the system's.
Clock SetClock(Clock clock);

}  // namespace platform
