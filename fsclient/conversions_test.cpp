#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "fsclient/dornapi.h"

namespace {

std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    return bytes;
}

TEST(ConversionsTest, TextCrossesThroughTheCodePage) {
    EXPECT_FALSE(CDornApi::TextToWide(nullptr).has_value()) << "none gives none";
    ASSERT_TRUE(CDornApi::TextToWide("").has_value()) << "empty gives an empty string";
    EXPECT_EQ(*CDornApi::TextToWide(""), u"");
    EXPECT_EQ(*CDornApi::TextToWide("Ordelin Utility"), u"Ordelin Utility");
    EXPECT_EQ(*CDornApi::TextToWide("caf\xC3\xA9"), u"caf\u00E9");

    EXPECT_EQ(CDornApi::WideToText(std::nullopt), "");
    EXPECT_EQ(CDornApi::WideToText(std::u16string(u"caf\u00E9")), "caf\xC3\xA9");
    EXPECT_EQ(CDornApi::WideToText(std::u16string(1, char16_t(0xD800))), "")
        << "a text that cannot be converted gives an empty text";
}

TEST(ConversionsTest, EveryByteValueRoundTripsOneUnitPerByte) {
    const std::vector<uint8_t> bytes = AllByteValues();
    const platform::WideString wide =
        CDornApi::BytesToWide(bytes.data(), static_cast<int32_t>(bytes.size()));
    ASSERT_TRUE(wide.has_value());
    ASSERT_EQ(wide->size(), 256u);
    for (size_t i = 0; i < 256; ++i) EXPECT_EQ((*wide)[i], static_cast<char16_t>(i)) << i;

    std::vector<uint8_t> back(256, 0xAA);
    EXPECT_EQ(CDornApi::WideToBytes(wide, back.data(), 256), 256);
    EXPECT_EQ(back, bytes);
}

TEST(ConversionsTest, ZeroBytesInsideAKeyAreKept) {
    const uint8_t key[] = {0, 'A', 0, 0, 0xFF, 0};
    const platform::WideString wide = CDornApi::BytesToWide(key, sizeof key);
    EXPECT_EQ(*wide, std::u16string(u"\0A\0\0\u00FF\0", 6));
}

TEST(ConversionsTest, MissingOrEmptyBytesGiveAnEmptyString) {
    const uint8_t byte = 7;
    for (const auto& wide : {CDornApi::BytesToWide(nullptr, 5), CDornApi::BytesToWide(&byte, 0),
                             CDornApi::BytesToWide(&byte, -3)}) {
        ASSERT_TRUE(wide.has_value());
        EXPECT_EQ(wide->size(), 0u);
    }
}

TEST(ConversionsTest, WideToBytesCutsToTheMaximumWithoutATerminator) {
    const platform::WideString wide = std::u16string(u"ABCDEF");
    struct Case {
        int32_t maximum;
        int32_t count;
        const char* bytes;  // the destination afterwards (10 bytes, '#' untouched)
    };
    const Case cases[] = {
        {3, 3, "ABC#######"}, {6, 6, "ABCDEF####"},  {10, 6, "ABCDEF####"},
        {0, 0, "##########"}, {-1, 0, "##########"}, {INT32_MIN, 0, "##########"},
    };
    for (const Case& c : cases) {
        uint8_t destination[10];
        std::memset(destination, '#', sizeof destination);
        EXPECT_EQ(CDornApi::WideToBytes(wide, destination, c.maximum), c.count) << c.maximum;
        EXPECT_EQ(std::memcmp(destination, c.bytes, sizeof destination), 0) << c.maximum;
    }

    uint8_t destination[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(CDornApi::WideToBytes(std::nullopt, destination, 4), 0);
    EXPECT_EQ(CDornApi::WideToBytes(std::u16string(), destination, 4), 0);
    // A unit above 255 keeps its low 8 bits.
    EXPECT_EQ(CDornApi::WideToBytes(std::u16string(u"\u0141\uFFFE"), destination, 4), 2);
    EXPECT_EQ(destination[0], 0x41);
    EXPECT_EQ(destination[1], 0xFE);
    EXPECT_EQ(destination[2], '#');
}

TEST(ConversionsTest, VariantsForKeysAndNumbers) {
    std::vector<uint8_t> key(254);
    for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(255 - i);
    platform::Variant v = CDornApi::KeyVariant(key.data(), 254);
    EXPECT_EQ(v.vt, platform::VT_BSTR);
    ASSERT_TRUE(v.bstrVal.has_value());
    ASSERT_EQ(v.bstrVal->size(), 254u);
    EXPECT_EQ((*v.bstrVal)[0], 255);
    EXPECT_EQ((*v.bstrVal)[253], 2);
    platform::VariantClear(v);
    EXPECT_FALSE(v.bstrVal.has_value());

    for (int32_t n : {0, 1, -1, 39, INT32_MAX, INT32_MIN}) {
        const platform::Variant number = CDornApi::NumberVariant(n);
        EXPECT_EQ(number.vt, platform::VT_I4);
        EXPECT_EQ(number.lVal, n);
    }
}

}  // namespace
