#include "talvo/tool/bytes_text.h"

#include <gtest/gtest.h>

namespace talvo::tool {
namespace {

TEST(BytesText, HexRoundTripsEveryByteAndRefusesMalformedText) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    std::string hex = ToHex(all);
    EXPECT_EQ(hex.substr(0, 6), "000102");
    EXPECT_EQ(hex.substr(hex.size() - 4), "FEFF");
    EXPECT_EQ(ParseHex(hex), all);
    EXPECT_EQ(ParseHex("fEa0"), (std::vector<uint8_t>{0xFE, 0xA0}));
    for (const char* bad : {"A", "0G", "12 3", "0x12"}) EXPECT_FALSE(ParseHex(bad)) << bad;
}

TEST(BytesText, EscapedAndJsonTextsKeepEveryByteDistinct) {
    std::string bytes = std::string("A \"\\", 4) + std::string(1, '\0') + "\x7F\xE9\n";
    EXPECT_EQ(EscapeBytes(bytes), "A \\\"\\\\\\x00\\x7F\\xE9\\x0A");
    EXPECT_EQ(JsonString(bytes), "\"A \\\"\\\\\\u0000\\u007F\\u00E9\\u000A\"");
}

TEST(BytesText, NumbersMustBeWholeAndInRange) {
    EXPECT_EQ(ParseUnsigned("65535", 65535), 65535u);
    EXPECT_EQ(ParseUnsigned("0", 5), 0u);
    for (const char* bad : {"", "65536", "-1", "+1", " 1", "1x", "99999999999999999999999"}) {
        EXPECT_FALSE(ParseUnsigned(bad, 65535)) << bad;
    }
    EXPECT_EQ(ParseSigned("-2147483648", INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_FALSE(ParseSigned("2147483648", INT32_MIN, INT32_MAX));
    EXPECT_FALSE(ParseSigned("1.5", INT32_MIN, INT32_MAX));
}

TEST(BytesText, KeyFieldsAreParsedAndAssembledEndToEnd) {
    std::string error;
    auto fields = ParseKeyFields("6:2,0:3", 8, 5, &error);
    ASSERT_TRUE(fields) << error;
    std::string record = "ABCDEFGH";
    EXPECT_EQ(
        AssembleKey({reinterpret_cast<const uint8_t*>(record.data()), record.size()}, *fields),
        "GHABC");
}

TEST(BytesText, BadKeyFieldsAreRefusedWithTheFieldNamed) {
    struct Case {
        const char* text;
        const char* expected;
    };
    // record size 10, key size 6
    const Case cases[] = {
        {"", "key field 1 \"\" is not POS:LEN"},
        {"3", "is not POS:LEN"},
        {"0:2,x:1", "key field 2 \"x:1\" is not POS:LEN with whole numbers"},
        {"0:-1", "whole numbers"},
        {"0:2,", "key field 2 \"\""},
        {"4:0", "has length 0"},
        {"8:3", "ends at byte 11, past the record size 10"},
        {"4294967295:1", "past the record size"},
        {"0:4,5:3", "7 bytes, more than the key size 6"},
        {"0:5", "5 bytes, fewer than the key size 6"},
        {"9:1", "1 bytes, fewer than the key size 6"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseKeyFields(c.text, 10, 6, &error)) << c.text;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << ": " << error;
    }
}

}  // namespace
}  // namespace talvo::tool
