// Copies of a few bytes, as keys and their fields are, without a call into the C library: for a
// dozen bytes the call costs more than the copy.
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

}  // namespace talvo
