#include "talvo/engine/key_filter.h"

namespace talvo::engine {

size_t KeyFilter::BytesFor(uint64_t keys) {
    const uint64_t blocks = (keys * kBitsPerKey + kBlockBytes * 8 - 1) / (kBlockBytes * 8);
    return static_cast<size_t>(blocks == 0 ? 1 : blocks) * kBlockBytes;
}

bool KeyFilter::Reset(uint64_t keys) {
    Release();
    const size_t bytes = BytesFor(keys);
    // Zero-filled, on page boundaries: a block is one cache line.
    if (!memory_.Allocate(bytes)) return false;
    words_ = static_cast<uint64_t*>(memory_.data());
    blocks_ = bytes / kBlockBytes;
    capacity_ = keys;
    return true;
}

void KeyFilter::Release() {
    memory_.Release();
    words_ = nullptr;
    blocks_ = 0;
    capacity_ = 0;
    count_ = 0;
}

// Bit of word w: 6 bits of a second mix of the hash's low half, a different 6 for each word.
uint64_t KeyFilter::BitOf(uint64_t hash, int word) {
    const uint64_t mixed = (hash & 0xFFFFFFFFull) * 0x9E3779B97F4A7C15ull;
    return uint64_t{1} << ((mixed >> (6 * word + 16)) & 63);
}

void KeyFilter::Add(uint64_t hash) {
    if (blocks_ == 0) return;
    uint64_t* block = const_cast<uint64_t*>(Block(hash));
    for (int w = 0; w < 8; ++w) block[w] |= BitOf(hash, w);
    ++count_;
}

void KeyFilter::AddMany(const uint64_t* hashes, size_t count) {
    for (size_t i = 0; i < count; ++i) Prefetch(hashes[i]);
    for (size_t i = 0; i < count; ++i) Add(hashes[i]);
}

bool KeyFilter::MayContain(uint64_t hash) const {
    if (blocks_ == 0) return false;
    const uint64_t* block = Block(hash);
    for (int w = 0; w < 8; ++w) {
        if ((block[w] & BitOf(hash, w)) == 0) return false;
    }
    return true;
}

}  // namespace talvo::engine
