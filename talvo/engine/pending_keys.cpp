#include "talvo/engine/pending_keys.h"

#include <algorithm>
#include <cstring>

namespace talvo::engine {
namespace {

uint64_t Load64(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    std::memcpy(&v, p, n);
    return v;
}

uint64_t BigEndianPrefix(const uint8_t* p, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v = (v << 8) | (i < n ? p[i] : 0);
    return v;
}

}  // namespace

uint32_t PendingKeys::Hash(const uint8_t* key) const {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ keySize_;
    size_t i = 0;
    for (; i + 8 <= keySize_; i += 8) {
        h = (h ^ Load64(key + i, 8)) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (i < keySize_) {
        h = (h ^ Load64(key + i, keySize_ - i)) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    return static_cast<uint32_t>(h ^ (h >> 32));
}

bool PendingKeys::Find(const uint8_t* key, uint64_t* recordNumber) const {
    if (table_.empty()) return false;
    const size_t mask = table_.size() - 1;
    const uint32_t hash = Hash(key);
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const uint64_t entry = table_[slot];
        if (entry == 0) return false;
        if (static_cast<uint32_t>(entry >> 32) != hash) continue;
        const uint8_t* at = KeyAt(static_cast<uint32_t>(entry) - 1);
        if (std::memcmp(at, key, keySize_) == 0) {
            std::memcpy(recordNumber, at + keySize_, 8);
            return true;
        }
    }
}

void PendingKeys::Grow() {
    std::vector<uint64_t> old = std::move(table_);
    const size_t capacity = std::max<size_t>(1024, old.size() * 2);
    table_.assign(capacity, 0);
    const size_t mask = capacity - 1;
    for (uint64_t entry : old) {
        if (entry == 0) continue;
        size_t slot = (entry >> 32) & mask;
        while (table_[slot] != 0) slot = (slot + 1) & mask;
        table_[slot] = entry;
    }
}

void PendingKeys::Add(const uint8_t* key, uint64_t recordNumber) {
    if ((count_ + 1) * 2 > table_.size()) Grow();
    const size_t offset = arena_.size();
    arena_.resize(offset + stride_);
    std::memcpy(arena_.data() + offset, key, keySize_);
    std::memcpy(arena_.data() + offset + keySize_, &recordNumber, 8);
    const size_t mask = table_.size() - 1;
    const uint32_t hash = Hash(key);
    size_t slot = hash & mask;
    while (table_[slot] != 0) slot = (slot + 1) & mask;
    table_[slot] = (static_cast<uint64_t>(hash) << 32) | static_cast<uint32_t>(++count_);
}

std::vector<IndexEntry> PendingKeys::Sorted() const {
    struct Item {
        uint64_t prefix;
        uint32_t index;
    };
    std::vector<Item> items(count_);
    for (size_t i = 0; i < count_; ++i) {
        items[i] = {BigEndianPrefix(KeyAt(static_cast<uint32_t>(i)), keySize_),
                    static_cast<uint32_t>(i)};
    }
    const size_t rest = keySize_ > 8 ? keySize_ - 8 : 0;
    std::sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return rest != 0 && std::memcmp(KeyAt(a.index) + 8, KeyAt(b.index) + 8, rest) < 0;
    });
    std::vector<IndexEntry> entries(count_);
    for (size_t i = 0; i < count_; ++i) {
        const uint8_t* at = KeyAt(items[i].index);
        uint64_t number = 0;
        std::memcpy(&number, at + keySize_, 8);
        entries[i] = {at, number};
    }
    return entries;
}

void PendingKeys::Clear() {
    count_ = 0;
    arena_.clear();
    std::fill(table_.begin(), table_.end(), 0);
}

}  // namespace talvo::engine
