// The pseudo-random generator of the platform's C runtime: srand seeds it, rand gives values from
// 0 to 32767 by the classic linear congruential rule (state × 214013 + 2531011, bits 16 to 30 of
// the new state). The sequence for a seed is therefore the same on every host, unlike the host
// library's own rand. Each thread has its own state, seeded with 1 until srand is called.
#pragma once

#include <cstdint>

namespace platform {

constexpr int RAND_MAX_VALUE = 32767;

void srand(uint32_t seed);
// The next value of the calling thread's sequence, 0 to RAND_MAX_VALUE.
int rand();

}  // namespace platform
