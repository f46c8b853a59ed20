#include "platform/text_case.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(TextCaseTest, OnlyTheLettersAToZChangeCase) {
    EXPECT_EQ(UpperCase("cust-01 /net:srv_x"), "CUST-01 /NET:SRV_X");
    // Every byte beyond the 26 letters stays as it is: UTF-8 names keep their bytes.
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string upper = UpperCase(all);
    for (int c = 0; c < 256; ++c) {
        const char expected =
            (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
        EXPECT_EQ(upper[static_cast<size_t>(c)], expected) << c;
    }
    EXPECT_EQ(UpperCase("\xC3\xA4rger"), "\xC3\xA4RGER");  // "ärger": the ä is left alone
}

TEST(TextCaseTest, ComparisonsIgnoreOnlyLetterCase) {
    struct Row {
        std::string_view a;
        std::string_view b;
        bool equal;
    };
    const Row rows[] = {
        {"", "", true},
        {"DAT", "dat", true},
        {"QVTemp", "qvtEMP", true},
        {"DAT", "DAT ", false},
        {"DAT", "DA", false},
        {"[", "{", false},  // 0x5B, 0x7B
        {"@", "`", false},
        {"\xC3\xA4", "\xC3\x84", false},  // ä and Ä are not letters here
        {std::string_view("A\0B", 3), std::string_view("a\0b", 3), true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EqualsIgnoringCase(row.a, row.b), row.equal) << row.a << " / " << row.b;
        EXPECT_EQ(EqualsIgnoringCase(row.b, row.a), row.equal);
    }
    EXPECT_TRUE(EqualsIgnoringCase(std::u16string_view(u"Version"), u"VERSION"));
    EXPECT_FALSE(EqualsIgnoringCase(std::u16string_view(u"\u00e4"), u"\u00c4"));
    EXPECT_FALSE(EqualsIgnoringCase(std::u16string_view(u"Versio"), u"VERSION"));

    EXPECT_TRUE(StartsWithIgnoringCase("/net:srv", "/NET:"));
    EXPECT_TRUE(StartsWithIgnoringCase("/d", "/D"));
    EXPECT_TRUE(StartsWithIgnoringCase("x", ""));
    EXPECT_FALSE(StartsWithIgnoringCase("/NE", "/NET:"));
    EXPECT_FALSE(StartsWithIgnoringCase(" /D", "/D"));
}

}  // namespace
}  // namespace platform
