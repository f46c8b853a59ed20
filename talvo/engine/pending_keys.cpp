#include "talvo/engine/pending_keys.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "talvo/byte_copy.h"
#include "talvo/engine/byte_coding.h"
#include "talvo/engine/radix_sort.h"

namespace talvo::engine {
namespace {

constexpr size_t kMinCapacity = 16;
constexpr size_t kMinTable = 1024;
// Groups of fewer keys are sorted by comparison: a radix pass costs more than it saves there.
constexpr size_t kInsertionSortBelow = 64;
// The table grows before it is more than 7/10 full.
bool TooFull(size_t entries, size_t slots) {
    return entries * 10 > slots * 7;
}

}  // namespace

PendingKeys::PendingKeys(size_t keySize, size_t budgetBytes)
    : keySize_(keySize), stride_(keySize + 8) {
    // Each entry costs its arena bytes and its place in the sort order (twice: the radix sort
    // moves entries between two arrays); the table takes 8 bytes a slot. The best table size is
    // the one that leaves the most entries.
    const size_t perEntry = stride_ + 2 * sizeof(Order);
    for (size_t slots = kMinTable; slots * 8 < budgetBytes; slots *= 2) {
        const size_t byBudget = (budgetBytes - slots * 8) / perEntry;
        const size_t byTable = slots * 7 / 10;
        capacity_ = std::max(capacity_, std::min(byBudget, byTable));
    }
    // Entry numbers are kept in 32 bits of a table slot.
    capacity_ = std::clamp(capacity_, kMinCapacity, size_t{1} << 31);
}

size_t PendingKeys::bytes() const {
    return arenaBytes_ + table_.capacity() * sizeof(uint64_t) +
           (order_.capacity() + sortScratch_.capacity()) * sizeof(Order);
}

// The slot comes from the hash's high half, which the table keeps: growing needs no rehash.
size_t PendingKeys::SlotOf(uint64_t hash) const {
    return (hash >> 32) & tableMask_;
}

void PendingKeys::Prefetch(uint64_t hash) const {
    if (!table_.empty()) __builtin_prefetch(&table_[SlotOf(hash)]);
}

bool PendingKeys::Find(const uint8_t* key, uint64_t hash, uint64_t* recordNumber) const {
    if (table_.empty()) return false;
    const uint32_t tag = static_cast<uint32_t>(hash >> 32);
    for (size_t slot = SlotOf(hash);; slot = (slot + 1) & tableMask_) {
        const uint64_t entry = table_[slot];
        if (entry == 0) return false;
        if (static_cast<uint32_t>(entry >> 32) != tag) continue;
        const uint8_t* at = KeyAt(static_cast<uint32_t>(entry) - 1);
        if (std::memcmp(at, key, keySize_) == 0) {
            std::memcpy(recordNumber, at + keySize_, 8);
            return true;
        }
    }
}

void PendingKeys::Grow() {
    std::vector<uint64_t> old = std::move(table_);
    const size_t slots = std::max(kMinTable, old.size() * 2);
    table_.assign(slots, 0);
    tableMask_ = slots - 1;
    for (uint64_t entry : old) {
        if (entry == 0) continue;
        size_t slot = SlotOf(entry);
        while (table_[slot] != 0) slot = (slot + 1) & tableMask_;
        table_[slot] = entry;
    }
}

void PendingKeys::Add(const uint8_t* key, uint64_t hash, uint64_t recordNumber) {
    if (table_.empty() || TooFull(count_ + 1, table_.size())) Grow();
    if (arena_ == nullptr) {
        arena_ = std::make_unique_for_overwrite<uint8_t[]>(capacity_ * stride_);
        arenaBytes_ = capacity_ * stride_;
    }
    uint8_t* entry = arena_.get() + count_ * stride_;
    CopyFewBytes(entry, key, keySize_);
    std::memcpy(entry + keySize_, &recordNumber, 8);
    size_t slot = SlotOf(hash);
    while (table_[slot] != 0) slot = (slot + 1) & tableMask_;
    table_[slot] = (hash & 0xFFFFFFFF00000000ull) | ++count_;
}

void PendingKeys::Sort(WorkCounters* counters) {
    order_.resize(count_);
    for (size_t i = 0; i < count_; ++i) order_[i] = {GetBigEndianPrefix(KeyAt(i), keySize_), i};
    SortByPrefix(0, count_, 0);
    counters->keysSorted += count_;
}

// Sorts order_[first, last), whose keys agree in their first `offset` bytes and whose prefix
// holds key bytes offset..offset+7: by that prefix without comparisons, then each group of equal
// prefixes by the next eight bytes, until the keys end. Keys are unique in a batch, so every
// group ends before the key does.
void PendingKeys::SortByPrefix(size_t first, size_t last, size_t offset) {
    const std::span<Order> part(order_.data() + first, last - first);
    if (part.size() < kInsertionSortBelow) {
        std::sort(part.begin(), part.end(), [&](const Order& a, const Order& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            return std::memcmp(KeyAt(a.index) + offset, KeyAt(b.index) + offset,
                               keySize_ - offset) < 0;
        });
        return;
    }
    RadixSort(part, sortScratch_, [](const Order& o) { return o.prefix; });
    const size_t next = offset + 8;
    if (next >= keySize_) return;
    for (size_t i = first; i < last;) {
        size_t end = i + 1;
        while (end < last && order_[end].prefix == order_[i].prefix) ++end;
        if (end - i > 1) {
            for (size_t j = i; j < end; ++j) {
                order_[j].prefix =
                    GetBigEndianPrefix(KeyAt(order_[j].index) + next, keySize_ - next);
            }
            SortByPrefix(i, end, next);
        }
        i = end;
    }
}

uint64_t PendingKeys::SortedNumber(size_t i) const {
    uint64_t number;
    std::memcpy(&number, KeyAt(order_[i].index) + keySize_, 8);
    return number;
}

void PendingKeys::PrefetchSorted(size_t i) const {
    if (i < order_.size()) __builtin_prefetch(KeyAt(order_[i].index));
}

void PendingKeys::Clear(WorkCounters* counters) {
    if (count_ == 0) return;
    count_ = 0;
    order_.clear();
    std::fill(table_.begin(), table_.end(), 0);
    counters->bytesCleared += table_.size() * sizeof(uint64_t);
}

}  // namespace talvo::engine
