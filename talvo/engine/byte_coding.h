// Numbers in byte buffers, as the engine's files hold them: little-endian fixed-width integers
// (the data file's header, the key column's header, the index's counts and the pages of its map,
// the spilled runs), and the big-endian record numbers of index keys that must sort as numbers.
// Unaligned buffers are fine; nothing here depends on the host's own byte order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace talvo::engine {

template <typename T>
inline void PutLittleEndian(uint8_t* at, T value) {
    static_assert(std::is_integral_v<T>);
    const auto bits = static_cast<uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
    for (size_t i = 0; i < sizeof(T); ++i) at[i] = static_cast<uint8_t>(bits >> (8 * i));
}

template <typename T>
inline T GetLittleEndian(const uint8_t* at) {
    static_assert(std::is_integral_v<T>);
    uint64_t bits = 0;
    for (size_t i = 0; i < sizeof(T); ++i) bits |= uint64_t{at[i]} << (8 * i);
    return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
}

inline void PutBigEndian64(uint8_t* at, uint64_t value) {
    for (size_t i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * (7 - i)));
}

inline uint64_t GetBigEndian64(const uint8_t* at) {
    uint64_t value;
    std::memcpy(&value, at, sizeof value);
    if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
    return value;
}

// The first eight of the n bytes at `at` as a big-endian number, fewer bytes padded with zeros:
// keys compare as these numbers do as far as their first eight bytes go (the sorts' prefix).
inline uint64_t GetBigEndianPrefix(const uint8_t* at, size_t n) {
    if (n >= 8) return GetBigEndian64(at);
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) value = (value << 8) | (i < n ? at[i] : 0);
    return value;
}

}  // namespace talvo::engine
