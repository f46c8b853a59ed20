#include "talvo/engine/byte_coding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "talvo/byte_copy.h"

namespace talvo::engine {
namespace {

template <typename T>
std::vector<uint8_t> Little(T value) {
    std::vector<uint8_t> bytes(sizeof(T) + 2, 0xAA);
    PutLittleEndian<T>(bytes.data() + 1, value);  // unaligned, and nothing written beside it
    EXPECT_EQ(bytes.front(), 0xAA);
    EXPECT_EQ(bytes.back(), 0xAA);
    EXPECT_EQ(GetLittleEndian<T>(bytes.data() + 1), value);
    return std::vector<uint8_t>(bytes.begin() + 1, bytes.end() - 1);
}

TEST(ByteCodingTest, NumbersAsTheFilesHoldThem) {
    using V = std::vector<uint8_t>;
    EXPECT_EQ(Little<uint16_t>(0x1234), (V{0x34, 0x12}));
    EXPECT_EQ(Little<uint32_t>(0xDEADBEEF), (V{0xEF, 0xBE, 0xAD, 0xDE}));
    EXPECT_EQ(Little<uint32_t>(0), (V{0, 0, 0, 0}));
    EXPECT_EQ(Little<int32_t>(-2), (V{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Little<int32_t>(std::numeric_limits<int32_t>::min()), (V{0, 0, 0, 0x80}));
    EXPECT_EQ(Little<int64_t>(-1), V(8, 0xFF));
    EXPECT_EQ(Little<uint64_t>(0x0102030405060708), (V{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(Little<uint64_t>(std::numeric_limits<uint64_t>::max()), V(8, 0xFF));

    // Big-endian record numbers sort as the numbers do, byte by byte.
    uint8_t a[8];
    uint8_t b[8];
    PutBigEndian64(a, 255);
    PutBigEndian64(b, 256);
    EXPECT_EQ(V(a, a + 8), (V{0, 0, 0, 0, 0, 0, 0, 0xFF}));
    EXPECT_TRUE(std::lexicographical_compare(a, a + 8, b, b + 8));
    EXPECT_EQ(GetBigEndian64(b), 256u);
    PutBigEndian64(a, std::numeric_limits<uint64_t>::max() - 1);
    EXPECT_EQ(GetBigEndian64(a), std::numeric_limits<uint64_t>::max() - 1);
}

// Every length a key or field may have, at an odd place: the copy writes exactly its bytes, and
// the comparison tells a difference at every place apart from none.
TEST(ByteCodingTest, FewBytesCopiedAndComparedExactly) {
    for (size_t n = 0; n <= 40; ++n) {
        SCOPED_TRACE(n);
        std::vector<uint8_t> from(n + 2), to(n + 2, 0xAA);
        for (size_t i = 0; i < from.size(); ++i) from[i] = static_cast<uint8_t>(i * 37 + 1);
        CopyFewBytes(to.data() + 1, from.data() + 1, n);
        EXPECT_EQ(to.front(), 0xAA);
        EXPECT_EQ(to.back(), 0xAA);
        EXPECT_TRUE(std::equal(from.begin() + 1, from.end() - 1, to.begin() + 1));
        EXPECT_TRUE(SameFewBytes(to.data() + 1, from.data() + 1, n));
        for (size_t i = 1; i <= n; ++i) {
            to[i] ^= 0x10;
            EXPECT_FALSE(SameFewBytes(to.data() + 1, from.data() + 1, n)) << "at " << i;
            EXPECT_FALSE(SameFewBytes(from.data() + 1, to.data() + 1, n)) << "at " << i;
            to[i] ^= 0x10;
        }
    }
}

}  // namespace
}  // namespace talvo::engine
