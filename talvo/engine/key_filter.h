// A blocked Bloom filter over the keys spilled to runs: "certainly not spilled" for most keys
// that are new, at the cost of one cache line per probe. One filter serves every run, so a
// lookup costs the same however many runs there are.
//
// Each key sets one bit in each of the eight 64-bit words of one 64-byte block, the block and
// the bits chosen by the key's hash (KeyHash). At 24 bits a key fewer than one new key in ten
// thousand is let by: a key let by costs a block read in every run, so the filter is dense.
#pragma once

#include <cstdint>

#include "talvo/engine/large_memory.h"

namespace talvo::engine {

class KeyFilter {
  public:
    static constexpr size_t kBitsPerKey = 24;
    static constexpr size_t kBlockBytes = 64;

    // The bytes a filter for `keys` keys takes.
    static size_t BytesFor(uint64_t keys);

    // Empties the filter and sizes it for `keys` keys (at least one block). False, with the
    // filter released, when there is no memory for it.
    bool Reset(uint64_t keys);
    // Keys the filter is sized for, and keys added since the last Reset.
    uint64_t capacity() const { return capacity_; }
    uint64_t size() const { return count_; }
    size_t bytes() const { return memory_.size(); }
    bool empty() const { return count_ == 0; }
    // Releases the memory; the filter answers "no" to everything until the next Reset.
    void Release();

    void Prefetch(uint64_t hash) const {
        if (blocks_ != 0) __builtin_prefetch(Block(hash));
    }
    void Add(uint64_t hash);
    // Adds many, fetching their blocks into the cache ahead of the first.
    void AddMany(const uint64_t* hashes, size_t count);
    // False when the key was certainly not added; true when it may have been.
    bool MayContain(uint64_t hash) const;

  private:
    const uint64_t* Block(uint64_t hash) const {
        // The high half picks the block (multiply-shift: any block count will do).
        return words_ + ((hash >> 32) * blocks_ >> 32) * 8;
    }
    static uint64_t BitOf(uint64_t hash, int word);

    LargeMemory memory_;
    uint64_t* words_ = nullptr;  // in memory_
    uint64_t blocks_ = 0;
    uint64_t capacity_ = 0;
    uint64_t count_ = 0;
};

}  // namespace talvo::engine
