// Keys written since the batch was last spilled or merged: an arena of fixed-size (key, record
// number) entries with a hash table over it, holding at most as many entries as its budget
// allows (entries, table and the room to sort them). A full batch is sorted and handed on in key
// order, so that keys reach the disk and the index in runs rather than as random inserts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "talvo/engine/tuning.h"

namespace talvo::engine {

// The hash of a key that the batch, the filter and the runs share (64 bits, well mixed).
uint64_t KeyHash(const uint8_t* key, size_t keySize);

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
