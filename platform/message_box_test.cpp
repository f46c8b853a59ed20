#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

struct Recorder : MessageBoxSink {
    std::vector<ShownMessageBox> boxes;
    int answer = IDYES;
    int Show(const std::string& caption, const std::string& text, unsigned flags) override {
        boxes.push_back({caption, text, flags});
        return answer;
    }
};

TEST(MessageBoxTest, BoxesGoToTheInstalledSinkWithTheirCaptions) {
    auto recorder = std::make_shared<Recorder>();
    std::shared_ptr<MessageBoxSink> former = SetMessageBoxSink(recorder);

    EXPECT_EQ(SystemMessageBox("text", "Caption", MB_OK | MB_ICONINFORMATION), IDYES);
    EXPECT_EQ(AppMessageBox("app text", MB_OK | MB_TOPMOST), IDYES);
    SetAppName("Ordelin Utility");
    AppMessageBox("renamed", MB_OK);
    SetAppName("Ordelin");

    ASSERT_EQ(recorder->boxes.size(), 3u);
    EXPECT_EQ(recorder->boxes[0].caption, "Caption");
    EXPECT_EQ(recorder->boxes[0].text, "text");
    EXPECT_EQ(recorder->boxes[0].flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(recorder->boxes[1].caption, "Ordelin");
    EXPECT_EQ(recorder->boxes[1].flags, MB_TOPMOST);
    EXPECT_EQ(recorder->boxes[2].caption, "Ordelin Utility");

    EXPECT_EQ(SetMessageBoxSink(former), recorder);
}

TEST(MessageBoxTest, WithoutASinkBoxesAreAnsweredCautiously) {
    std::shared_ptr<MessageBoxSink> former = SetMessageBoxSink(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SystemMessageBox("Overwrite?", "Q", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(SystemMessageBox("Failed", "E", MB_OK | MB_ICONSTOP), IDOK);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_NE(written.find("Overwrite?"), std::string::npos);
    EXPECT_NE(written.find("Failed"), std::string::npos);
    SetMessageBoxSink(former);
}

}  // namespace
}  // namespace platform
