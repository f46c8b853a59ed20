#include "platform/wide_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Every length around the sixteen-unit steps, every byte value at every position, and units
// above 0xFF anywhere: the same results as one unit at a time.
TEST(WideBytesTest, WidenNarrowAndCheckAgreeWithOneUnitAtATime) {
    std::mt19937 random(7);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 40; ++n) lengths.push_back(n);
    for (size_t n : {63, 64, 65, 100, 254, 255, 256, 8000, 65535}) lengths.push_back(n);
    for (size_t n : lengths) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> bytes(n);
        for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 151 + random());
        if (n > 0) bytes[0] = 0x00, bytes[n - 1] = 0xFF;
        std::vector<char16_t> units(n + 1, u'\uAAAA');
        platform::WidenBytes(bytes.data(), n, units.data());
        for (size_t i = 0; i < n; ++i) ASSERT_EQ(units[i], bytes[i]) << i;
        EXPECT_EQ(units[n], u'\uAAAA') << "nothing past the end";
        EXPECT_TRUE(platform::UnitsAreBytes(units.data(), n));
        std::vector<uint8_t> back(n + 1, 0x5A);
        EXPECT_TRUE(platform::NarrowUnits(units.data(), n, back.data()));
        EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + n), bytes);
        EXPECT_EQ(back[n], 0x5A);
        // One unit above 0xFF, at each position in turn (every position for short strings).
        for (size_t at = 0; at < n; at += n < 300 ? 1 : 97) {
            for (char16_t high : {char16_t{0x100}, char16_t{0x8000}, char16_t{0xFFFF}}) {
                std::vector<char16_t> odd = units;
                odd[at] = high;
                ASSERT_FALSE(platform::UnitsAreBytes(odd.data(), n)) << at << " " << int{high};
                ASSERT_FALSE(platform::NarrowUnits(odd.data(), n, back.data())) << at;
                ASSERT_EQ(back[at], static_cast<uint8_t>(high & 0xFF)) << "the low 8 bits";
            }
        }
    }
}

}  // namespace
