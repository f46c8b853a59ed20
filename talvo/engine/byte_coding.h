// Numbers in byte buffers, as the engine's files hold them: little-endian fixed-width integers
// (the data file's header, the key column's header, the index's counts and the pages of its map,
// the spilled runs), and the big-endian record numbers of index keys that must sort as numbers.
// Unaligned buffers are fine; nothing here depends on the host's own byte order.
#pragma once

#include <cstddef>
#include <cstdint>
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
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) value = (value << 8) | at[i];
    return value;
}

}  // namespace talvo::engine
