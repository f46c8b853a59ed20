#include "platform/local_time.h"

#include <gtest/gtest.h>
#include <time.h>

#include "platform/testing/scoped_env.h"

namespace platform {
namespace {

TEST(LocalTimeTest, BreaksCalendarTimeDownInTheLocalZone) {
    testing::ScopedEnv zone("TZ", "UTC0");
    tzset();
    struct Row {
        int64_t time;
        LocalTime expected;
    };
    const Row rows[] = {
        {0, {1970, 1, 1, 0, 0, 0}},
        {1767431100, {2026, 1, 3, 9, 5, 0}},       // the 3rd of January, 09:05
        {1796566020, {2026, 12, 6, 14, 7, 0}},     // two-digit month, one-digit day
        {951782400, {2000, 2, 29, 0, 0, 0}},       // a leap day
        {4102444799, {2099, 12, 31, 23, 59, 59}},  // two-digit month and day
    };
    for (const Row& row : rows) {
        const LocalTime t = ToLocalTime(row.time);
        EXPECT_EQ(t.year, row.expected.year) << row.time;
        EXPECT_EQ(t.month, row.expected.month) << row.time;
        EXPECT_EQ(t.day, row.expected.day) << row.time;
        EXPECT_EQ(t.hour, row.expected.hour) << row.time;
        EXPECT_EQ(t.minute, row.expected.minute) << row.time;
        EXPECT_EQ(t.second, row.expected.second) << row.time;
    }

    // Another zone moves the hour with it.
    setenv("TZ", "EST5", 1);
    tzset();
    const LocalTime east = ToLocalTime(1767431100);
    EXPECT_EQ(east.day, 3);
    EXPECT_EQ(east.hour, 4);
    setenv("TZ", "UTC0", 1);
    tzset();
}

TEST(LocalTimeTest, AnInstalledClockIsTheCurrentTimeUntilRemoved) {
    const int64_t before = CurrentTime();
    EXPECT_GT(before, 1600000000);  // the system's clock, not zero

    Clock former = SetClock([] { return int64_t{1767431100}; });
    EXPECT_EQ(CurrentTime(), 1767431100);
    SetClock(std::move(former));

    EXPECT_GE(CurrentTime(), before);
    EXPECT_NE(CurrentTime(), 1767431100);
}

}  // namespace
}  // namespace platform
