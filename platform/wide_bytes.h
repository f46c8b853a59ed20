// Key and record bytes as wide strings carry them: one byte per 16-bit unit. Every record and key
// a copy moves crosses the dispatch interface this way twice, so these run sixteen or eight units
// at a time where the processor has the vector instructions for it (SSE2 on x86-64), one at a
// time elsewhere; both give the same result.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

// units[i] = bytes[i] (zero-extended), for i < count. The two ranges do not overlap.
inline void WidenBytes(const uint8_t* bytes, size_t count, char16_t* units) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_unpacklo_epi8(b, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i + 8), _mm_unpackhi_epi8(b, zero));
    }
    if (i + 8 <= count) {
        const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_unpacklo_epi8(b, zero));
        i += 8;
    }
#endif
    for (; i < count; ++i) units[i] = bytes[i];
}

// bytes[i] = the low 8 bits of units[i], for i < count; true when every unit was a byte value
// (0 to 0xFF). The two ranges do not overlap.
inline bool NarrowUnits(const char16_t* units, size_t count, uint8_t* bytes) {
    size_t i = 0;
    unsigned high = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x00FF);
    __m128i any = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
        any = _mm_or_si128(any, _mm_or_si128(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i),
                         _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
    }
    if (i + 8 <= count) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        any = _mm_or_si128(any, a);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes + i),
                         _mm_packus_epi16(_mm_and_si128(a, low), _mm_setzero_si128()));
        i += 8;
    }
    // A unit above 0xFF has a bit set in its high byte.
    const __m128i highBytes = _mm_andnot_si128(low, any);
    high = _mm_movemask_epi8(_mm_cmpeq_epi16(highBytes, _mm_setzero_si128())) != 0xFFFF ? 0x100 : 0;
#endif
    for (; i < count; ++i) {
        high |= units[i];
        bytes[i] = static_cast<uint8_t>(units[i] & 0xFF);
    }
    return high <= 0xFF;
}

// Whether every one of the count units is a byte value (0 to 0xFF).
inline bool UnitsAreBytes(const char16_t* units, size_t count) {
    size_t i = 0;
    char16_t high = 0;
#if defined(__SSE2__)
    __m128i any = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i)));
    }
    // A unit above 0xFF has a bit set in its high byte.
    const __m128i highBytes = _mm_and_si128(any, _mm_set1_epi16(static_cast<short>(0xFF00)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(highBytes, _mm_setzero_si128())) != 0xFFFF) return false;
#endif
    for (; i < count; ++i) high |= units[i];
    return high <= 0xFF;
}

}  // namespace platform
