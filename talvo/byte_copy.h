// Copies and comparisons of a few bytes, as keys and their fields are, without a call into the C
// library: for a dozen bytes the call costs more than the work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace talvo {

// Copies n bytes between places that do not overlap. Up to 16 bytes go as two loads and two
// stores that may overlap each other in the middle; longer runs go to memcpy.
inline void CopyFewBytes(uint8_t* to, const uint8_t* from, size_t n) {
    if (n >= 8 && n <= 16) {
        uint64_t head = 0, tail = 0;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head = 0, tail = 0;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 0 && n < 4) {
        const uint8_t first = from[0], middle = from[n / 2], last = from[n - 1];
        to[0] = first;
        to[n / 2] = middle;
        to[n - 1] = last;
    } else if (n > 16) {
        std::memcpy(to, from, n);
    }
}

// Whether the first and the last sizeof(Word) bytes of n (at least sizeof(Word), at most twice
// that) at a and at b are the same: then all n are.
template <typename Word>
inline bool SameEnds(const uint8_t* a, const uint8_t* b, size_t n) {
    Word a0 = 0, a1 = 0, b0 = 0, b1 = 0;
    std::memcpy(&a0, a, sizeof(Word));
    std::memcpy(&a1, a + n - sizeof(Word), sizeof(Word));
    std::memcpy(&b0, b, sizeof(Word));
    std::memcpy(&b1, b + n - sizeof(Word), sizeof(Word));
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

// Whether the n bytes at a and at b are the same, compared as CopyFewBytes copies them.
inline bool SameFewBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    if (n >= 8 && n <= 16) return SameEnds<uint64_t>(a, b, n);
    if (n >= 4 && n < 8) return SameEnds<uint32_t>(a, b, n);
    if (n < 4) {
        for (size_t i = 0; i < n; ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }
    return std::memcmp(a, b, n) == 0;
}

}  // namespace talvo
