#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(ParseLeadingInt, ReadsTheLeadingDecimalNumber) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"  42x", 42},
        {"\t7", 7},
        {"+7", 7},
        {"-5", -5},
        {"1 2", 1},
        {"- 3", 0},
        {"+", 0},
        {"007", 7},
        {"2147483647", kMax},
        {"2147483648", kMax},
        {"99999999999999999999", kMax},
        {"-2147483648", kMin},
        {"-99999999999999999999", kMin},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::ParseLeadingInt(c.text), c.value) << c.text;
}

TEST(CDialogTest, RunsNowhereWithoutAViewFactory) {
    platform::DialogViewFactory former = platform::SetDialogViewFactory({});
    platform::CDialog dialog(100);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.View(), nullptr);

    // Controls of a dialog that is not running do nothing and read empty.
    platform::CListBox list;
    list.Bind(dialog, 5);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetCurSel(), platform::kNoItem);
    EXPECT_EQ(list.GetText(0), "");
    platform::SetDialogViewFactory(std::move(former));
}

}  // namespace
