// The keys both benchmarks write, so that their figures are about the same key set.
#pragma once

#include <cstdint>
#include <cstring>

namespace bench {

// A bijection of 64-bit numbers (splitmix64's finaliser).
inline uint64_t Mix(uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Key i: 8 bytes that are a bijection of i (so all keys differ) and 4 more pseudo-random bytes.
inline void MakeKey(uint64_t i, uint8_t* key) {
    const uint64_t a = Mix(i + 0x1234567);
    const uint64_t b = Mix(a ^ 0xA5A5A5A5A5A5A5A5ull);
    std::memcpy(key, &a, 8);
    std::memcpy(key + 8, &b, 4);
}

}  // namespace bench
