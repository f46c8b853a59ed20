#include "batch/progress_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace batch {
namespace {

TEST(ProgressLine, TheLineSaysHowFarHowFastAndHowLongStill) {
    struct Case {
        int position, upper;
        uint64_t read;
        double seconds;
        std::string line;
    };
    const std::vector<Case> cases = {
        {0, 100, 0, 0.0, "ordelin-batch: 0% 0 records read"},
        {25, 100, 2500, 2.0, "ordelin-batch: 25% 2500 records read, 1250 records/s, 0:06 left"},
        {1, 3, 100, 10.0, "ordelin-batch: 33% 100 records read, 10 records/s, 0:20 left"},
        {100, 100, 10000, 4.0, "ordelin-batch: 100% 10000 records read, 2500 records/s, 0:00 left"},
        {65535, 65535, 6553500000, 1000.0,
         "ordelin-batch: 100% 6553500000 records read, 6553500 records/s, 0:00 left"},
        {1, 1000, 1000, 10.0, "ordelin-batch: 0% 1000 records read, 100 records/s, 2:46:30 left"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgressLine::Format(c.position, c.upper, c.read, c.seconds), c.line);
    }
    EXPECT_EQ(ProgressLine::Duration(59.4), "0:59");
    EXPECT_EQ(ProgressLine::Duration(3600), "1:00:00");
    EXPECT_EQ(ProgressLine::Duration(-3), "0:00");
}

TEST(ProgressLine, RedrawsAtMostEveryQuarterSecondButAlwaysWhenFull) {
    std::ostringstream err;
    double now = 100.0;
    ProgressLine line(err, [&now] { return now; });
    line.Move(1, 10);  // before the bar is scaled: nothing
    EXPECT_EQ(err.str(), "");
    line.Start(10);
    for (int i = 1; i <= 9; ++i) {
        now += 0.1;
        line.Move(i, static_cast<uint64_t>(i) * 10);
    }
    now += 0.01;
    line.Move(10, 100);
    const std::string text = err.str();
    size_t draws = 0;
    for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        ++draws;
    }
    // 0.9 s of moves gives three redraws (at 0.3, 0.6, 0.9 s), then the full bar.
    EXPECT_EQ(draws, 4u) << text;
    EXPECT_NE(text.find("\rordelin-batch: 100% 100 records read, "), std::string::npos);
    EXPECT_TRUE(line.Shown());
    line.End();
    EXPECT_EQ(err.str().back(), '\n');
    line.End();  // nothing stands on the line any more
    EXPECT_EQ(err.str(), text + "\n");
}

}  // namespace
}  // namespace batch
