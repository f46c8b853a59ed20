#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

struct Recorder : ShellOpenSink {
    std::vector<std::pair<std::string, int>> calls;
    bool Open(const std::string& path, int showCommand) override {
        calls.emplace_back(path, showCommand);
        return true;
    }
};

TEST(ShellTest, OpensGoToTheInstalledSinkInHostForm) {
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<ShellOpenSink> former = SetShellOpenSink(recorder);

    EXPECT_TRUE(ShellOpen("Z:\\tmp\\OL004711.htm"));
    ASSERT_EQ(recorder->calls.size(), 1u);
    EXPECT_EQ(recorder->calls[0].first, "/tmp/OL004711.htm");
    EXPECT_EQ(recorder->calls[0].second, SW_SHOWNORMAL);

    // A drive that is not mapped reaches no sink.
    unsetenv("ORDELIN_DRIVE_Q");
    EXPECT_FALSE(ShellOpen("Q:\\report.htm"));
    EXPECT_EQ(recorder->calls.size(), 1u);

    SetShellOpenSink(former);
}

TEST(ShellTest, WithoutASinkNothingOpens) {
    std::shared_ptr<ShellOpenSink> former = SetShellOpenSink(nullptr);
    EXPECT_FALSE(ShellOpen("Z:\\tmp\\x.htm"));
    SetShellOpenSink(former);
}

}  // namespace
}  // namespace platform
