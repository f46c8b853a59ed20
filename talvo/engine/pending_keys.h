// Keys written since the last time the batch went into the index: an arena of fixed-size
// (key, record number) entries with a hash table over it. Putting keys into the index in
// sorted batches makes random-order writes nearly as cheap as ordered ones (the B-tree is
// filled from left to right, mostly by appending).
#pragma once

#include <cstdint>
#include <vector>

#include "talvo/engine/key_index.h"

namespace talvo::engine {

class PendingKeys {
  public:
    explicit PendingKeys(size_t keySize) : keySize_(keySize), stride_(keySize + 8) {}

    // Whether the key (keySize bytes) is in the batch; *recordNumber receives its number.
    bool Find(const uint8_t* key, uint64_t* recordNumber) const;
    // REQUIRES: the key is not in the batch.
    void Add(const uint8_t* key, uint64_t recordNumber);

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Memory held, in bytes.
    size_t bytes() const { return arena_.capacity() + table_.capacity() * sizeof(uint64_t); }

    // The entries in ascending key order, pointing into the batch (valid until the next Add or
    // Clear).
    std::vector<IndexEntry> Sorted() const;
    void Clear();

  private:
    uint32_t Hash(const uint8_t* key) const;
    const uint8_t* KeyAt(uint32_t index) const { return arena_.data() + size_t{index} * stride_; }
    void Grow();

    size_t keySize_;
    size_t stride_;
    size_t count_ = 0;
    std::vector<uint8_t> arena_;  // count_ entries of key bytes + 8-byte record number
    // Open addressing; 0 is empty, otherwise the key's hash in the high half (it chooses the
    // slot and spares most key comparisons) and entry index + 1 in the low half.
    std::vector<uint64_t> table_;
};

}  // namespace talvo::engine
