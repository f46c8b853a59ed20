// Keys written since the batch was last spilled or merged: an arena of fixed-size (key, record
// number) entries with a hash table over it, holding at most as many entries as its budget
// allows (entries, table and the room to sort them). A full batch is sorted and handed on in key
// order, so that keys reach the disk and the index in runs rather than as random inserts.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "talvo/engine/tuning.h"

namespace talvo::engine {

namespace key_hash {

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v = 0;
    std::memcpy(&v, p, 8);
    return v;
}

// The last 1 to 7 bytes of a key as a word, as copying them into a zeroed word gives them, but
// without a call into the library: on a little-endian machine from two loads that may overlap.
inline uint64_t LoadTail(const uint8_t* p, size_t n) {
    if constexpr (std::endian::native == std::endian::little) {
        if (n >= 4) {
            uint32_t low = 0, high = 0;
            std::memcpy(&low, p, 4);
            std::memcpy(&high, p + n - 4, 4);
            return low | ((uint64_t{high} >> (8 * (8 - n))) << 32);
        }
        return uint64_t{p[0]} | (uint64_t{p[n / 2]} << (8 * (n / 2))) |
               (uint64_t{p[n - 1]} << (8 * (n - 1)));
    } else {
        uint64_t v = 0;
        std::memcpy(&v, p, n);
        return v;
    }
}

}  // namespace key_hash

// The hash of a key that the batch, the filter and the runs share (64 bits, well mixed). Inline:
// every key written is hashed.
inline uint64_t KeyHash(const uint8_t* key, size_t keySize) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ keySize;
    size_t i = 0;
    for (; i + 8 <= keySize; i += 8) {
        h = (h ^ key_hash::Load64(key + i)) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (i < keySize) {
        h = (h ^ key_hash::LoadTail(key + i, keySize - i)) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0xD6E8FEB86659FD93ull;
    return h ^ (h >> 32);
}

class PendingKeys {
  public:
    // REQUIRES: 1 <= keySize <= kMaxKeySize.
    PendingKeys(size_t keySize, size_t budgetBytes);

    size_t keySize() const { return keySize_; }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The most entries the budget holds (at least 16).
    size_t capacity() const { return capacity_; }
    bool full() const { return count_ >= capacity_; }
    // Memory held now, in bytes.
    size_t bytes() const;

    // Brings the table slot of `hash` into the cache ahead of a Find or Add.
    void Prefetch(uint64_t hash) const;
    // Whether the key (keySize bytes, hash = KeyHash(key)) is in the batch; *recordNumber
    // receives its number.
    bool Find(const uint8_t* key, uint64_t hash, uint64_t* recordNumber) const;
    // REQUIRES: !full() and the key is not in the batch.
    void Add(const uint8_t* key, uint64_t hash, uint64_t recordNumber);

    // The key of the i-th entry in the order the entries came.
    const uint8_t* key(size_t i) const { return KeyAt(i); }

    // Sorts the batch: afterwards entry(i) for i < size() is the i-th in ascending key order,
    // until the next Add or Clear. Counts the keys sorted.
    void Sort(WorkCounters* counters);
    // The key of the i-th entry in sorted order. REQUIRES: Sort since the last Add.
    const uint8_t* SortedKey(size_t i) const { return KeyAt(order_[i].index); }
    uint64_t SortedNumber(size_t i) const;
    // Brings the i-th sorted entry into the cache ahead of its use.
    void PrefetchSorted(size_t i) const;

    // Empties the batch and keeps its memory for the next one; counts the bytes cleared.
    void Clear(WorkCounters* counters);

  private:
    struct Order {
        uint64_t prefix;  // the first 8 key bytes, big-endian
        uint64_t index;
    };

    const uint8_t* KeyAt(uint64_t index) const { return arena_.get() + index * stride_; }
    void SortByPrefix(size_t first, size_t last, size_t offset);
    void Grow();
    size_t SlotOf(uint64_t hash) const;

    size_t keySize_;
    size_t stride_;
    size_t capacity_ = 0;
    size_t count_ = 0;
    // count_ entries of key bytes + 8-byte record number, room for capacity_ of them made at the
    // first Add (arenaBytes_) and never cleared: an entry is written whole when it is added.
    std::unique_ptr<uint8_t[]> arena_;
    size_t arenaBytes_ = 0;
    // Open addressing; 0 is empty, otherwise the high half of the key's hash (it chooses the
    // slot and spares most key comparisons) and entry index + 1 in the low half. At most 7/10
    // full.
    std::vector<uint64_t> table_;
    size_t tableMask_ = 0;
    std::vector<Order> order_;  // after Sort: the entries in key order
    std::vector<Order> sortScratch_;
};

}  // namespace talvo::engine
