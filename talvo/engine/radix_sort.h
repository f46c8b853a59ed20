// Sorting by a 64-bit number without a comparison function: a least-significant-digit radix sort,
// eleven bits a pass, stable. One pass over the items counts every digit at once; a digit that is
// the same for every item (the high digits of small record numbers, a byte every key shares)
// costs no pass. For n items that is at most six passes of n moves each, whatever the numbers.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace talvo::engine {

// Sorts `items` in ascending order of key(item) (a uint64_t), keeping the order of equal keys.
// REQUIRES: fewer than 2^32 items.
// `scratch` is resized to items.size() and holds nothing of value afterwards; callers keep it
// from sort to sort so that no sort allocates once it has grown.
// `afterPass` is called after each pass over the items, the counting one included (a caller with other work to keep going
// does a little of it there).
template <typename T, typename KeyOf, typename AfterPass>
void RadixSort(std::span<T> items, std::vector<T>& scratch, KeyOf key, AfterPass afterPass) {
    constexpr int kBits = 11;
    constexpr int kPasses = (64 + kBits - 1) / kBits;
    constexpr size_t kBuckets = size_t{1} << kBits;
    constexpr uint64_t kMask = kBuckets - 1;
    const size_t n = items.size();
    if (n < 2) return;
    std::vector<std::array<uint32_t, kBuckets>> counts(kPasses);
    for (auto& c : counts) c.fill(0);
    for (const T& item : items) {
        const uint64_t k = key(item);
        for (int p = 0; p < kPasses; ++p) ++counts[p][(k >> (p * kBits)) & kMask];
    }
    afterPass();
    scratch.resize(n);
    T* from = items.data();
    T* to = scratch.data();
    for (int p = 0; p < kPasses; ++p) {
        std::array<uint32_t, kBuckets>& c = counts[p];
        // A digit all items share leaves the order as it is.
        bool shared = false;
        for (size_t b = 0; b < kBuckets; ++b) {
            if (c[b] == n) shared = true;
            if (c[b] != 0) break;
        }
        if (shared) continue;
        uint32_t sum = 0;
        for (size_t b = 0; b < kBuckets; ++b) {
            const uint32_t here = c[b];
            c[b] = sum;
            sum += here;
        }
        const int shift = p * kBits;
        for (size_t i = 0; i < n; ++i) to[c[(key(from[i]) >> shift) & kMask]++] = from[i];
        std::swap(from, to);
        afterPass();
    }
    if (from != items.data()) std::copy(from, from + n, items.data());
}

template <typename T, typename KeyOf>
void RadixSort(std::span<T> items, std::vector<T>& scratch, KeyOf key) {
    RadixSort(items, scratch, key, [] {});
}

}  // namespace talvo::engine
