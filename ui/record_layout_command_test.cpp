// The system menu's record layout command: present beside About when the front end has a window
// for it, carried out for its whole range of identifiers, and otherwise absent.
#include <gtest/gtest.h>

#include "ui/dialog_test_fixture.h"
#include "ui/headless/headless_host.h"

namespace {

using MenuItem = std::pair<unsigned, std::string>;

TEST_F(DialogTest, RecordLayoutCommandRunsTheFrontEndsWindowBesideAbout) {
    int opened = 0;
    dialog->SetRecordLayoutHandler([&] { ++opened; });
    ASSERT_TRUE(Open(4, 100, 8));
    ASSERT_EQ(host->SystemMenu().size(), 3u);
    EXPECT_EQ(host->SystemMenu()[0], (MenuItem{0, ""}));
    EXPECT_EQ(host->SystemMenu()[1], (MenuItem{16, "&About Ordelin..."}));
    EXPECT_EQ(host->SystemMenu()[2], (MenuItem{32, "Record &Layout..."}));
    {
        headless::HeadlessDialogs nested;
        // 32 to 47 are the record layout command; 31 stays the about command, 48 gets the
        // default processing.
        for (unsigned command : {31u, 32u, 47u, 48u, 0x10020u}) host->SystemCommand(command);
        EXPECT_EQ(nested.TemplatesRun(), (std::vector<int>{100}));
    }
    EXPECT_EQ(opened, 3);  // the high word of 0x10020 is not part of the command
    EXPECT_TRUE(host->IsRunning());
    EXPECT_TRUE(host->MessageBoxes().empty());
    // Nothing of the dialog changed: the key editor is as it opened.
    EXPECT_EQ(host->Text(D::kFieldPosition), "0");
    EXPECT_EQ(host->Text(D::kFieldLength), "8");
    EXPECT_TRUE(host->Items(D::kKeyFieldList).empty());
}

TEST_F(DialogTest, WithoutAWindowForItTheRecordLayoutCommandIsNotOffered) {
    ASSERT_TRUE(Open(4, 100, 8));
    ASSERT_EQ(host->SystemMenu().size(), 2u);
    EXPECT_EQ(host->SystemMenu()[1].first, 16u);
    headless::HeadlessDialogs nested;
    host->SystemCommand(32);  // default processing: nothing opens, the dialog runs on
    EXPECT_TRUE(nested.TemplatesRun().empty());
    EXPECT_TRUE(host->IsRunning());
}

}  // namespace
