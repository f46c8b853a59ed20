#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(CodePageTest, EverySingleByteConverts) {
    // ASCII is itself; a lone byte 0x80..0xFF is not UTF-8 and stands for itself (Latin-1).
    for (int b = 0; b < 256; ++b) {
        const std::string text(1, static_cast<char>(b));
        const std::u16string wide = NarrowToWide(text);
        ASSERT_EQ(wide.size(), 1u) << b;
        EXPECT_EQ(wide[0], static_cast<char16_t>(b)) << b;
    }
}

TEST(CodePageTest, UnicodeRoundTripsThroughUtf8) {
    // Every unit of the basic plane that is not a surrogate, and a sample of the planes above.
    std::u16string all;
    for (char32_t c = 1; c < 0x10000; ++c) {
        if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    }
    all += u"\U0001F600\U00010000\U0010FFFF";
    const std::optional<std::string> narrow = WideToNarrow(all);
    ASSERT_TRUE(narrow.has_value());
    EXPECT_EQ(NarrowToWide(*narrow), all);

    EXPECT_EQ(*WideToNarrow(u"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(*WideToNarrow(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(NarrowToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(CodePageTest, ZeroBytesAndEmptyTextsSurvive) {
    EXPECT_EQ(NarrowToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(*WideToNarrow(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(NarrowToWide(""), u"");
    EXPECT_EQ(*WideToNarrow(u""), "");
}

TEST(CodePageTest, UnpairedSurrogatesDoNotConvert) {
    const std::u16string cases[] = {
        std::u16string(1, char16_t(0xD800)),                 // high alone
        std::u16string(1, char16_t(0xDC00)),                 // low alone
        std::u16string{u'a', char16_t(0xDBFF)},              // high at the end
        std::u16string{char16_t(0xD83D), u'x'},              // high followed by no low
        std::u16string{char16_t(0xDE00), char16_t(0xD83D)},  // pair in the wrong order
    };
    for (const std::u16string& text : cases) {
        EXPECT_FALSE(WideToNarrow(text).has_value()) << text.size();
    }
}

TEST(CodePageTest, InvalidUtf8FallsBackBytewise) {
    struct Case {
        std::string narrow;
        std::u16string wide;
    };
    const Case cases[] = {
        {"\xC0\x80", {0xC0, 0x80}},                      // overlong NUL
        {"\xE0\x80\xAF", {0xE0, 0x80, 0xAF}},            // overlong '/'
        {"\xED\xA0\x80", {0xED, 0xA0, 0x80}},            // encoded surrogate
        {"\xF4\x90\x80\x80", {0xF4, 0x90, 0x80, 0x80}},  // beyond U+10FFFF
        {"\xE2\x82", {0xE2, 0x82}},                      // cut short at the end
        {"\xE2\x82"
         "A",
         {0xE2, 0x82, u'A'}},                   // cut short before ASCII
        {"A\xFF\xC3\xA9", {u'A', 0xFF, 0xE9}},  // invalid byte, then valid é
        {"\x80\xBF", {0x80, 0xBF}},             // stray continuation bytes
        {"caf\xE9", {u'c', u'a', u'f', 0xE9}},  // Latin-1 text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NarrowToWide(c.narrow), c.wide) << c.narrow;
    }
}

}  // namespace
}  // namespace platform
