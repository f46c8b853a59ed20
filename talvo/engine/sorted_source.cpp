#include "talvo/engine/sorted_source.h"

#include <cstring>

#include "talvo/byte_copy.h"
#include "talvo/engine/byte_coding.h"
#include "talvo/engine/engine_error.h"
#include "talvo/engine/pending_keys.h"

namespace talvo::engine {

BatchSource::BatchSource(const PendingKeys& batch) : batch_(batch) {
    for (size_t i = 0; i < 8; ++i) batch_.PrefetchSorted(i);
}

bool BatchSource::valid() const {
    return at_ < batch_.size();
}

const uint8_t* BatchSource::key() const {
    return batch_.SortedKey(at_);
}

uint64_t BatchSource::number() const {
    return batch_.SortedNumber(at_);
}

Status BatchSource::Next() {
    ++at_;
    // The batch lies in the order the keys came: fetch the entries a few steps ahead.
    batch_.PrefetchSorted(at_ + 8);
    return Status::Ok();
}

MergedSource::MergedSource(std::vector<std::unique_ptr<SortedSource>> sources, size_t keySize)
    : sources_(std::move(sources)), keySize_(keySize) {}

MergedSource::Head MergedSource::HeadOf(SortedSource* source) const {
    return {GetBigEndianPrefix(source->key(), keySize_), source};
}

int MergedSource::Compare(const Head& a, const Head& b) const {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (keySize_ <= 8) return 0;
    return std::memcmp(a.source->key() + 8, b.source->key() + 8, keySize_ - 8);
}

void MergedSource::SiftDown(size_t at) {
    const size_t n = heap_.size();
    const Head item = heap_[at];
    while (true) {
        size_t child = 2 * at + 1;
        if (child >= n) break;
        if (child + 1 < n && Compare(heap_[child + 1], heap_[child]) < 0) ++child;
        if (Compare(heap_[child], item) >= 0) break;
        heap_[at] = heap_[child];
        at = child;
    }
    heap_[at] = item;
}

Status MergedSource::Start() {
    heap_.clear();
    for (auto& source : sources_) {
        if (source->valid()) heap_.push_back(HeadOf(source.get()));
    }
    for (size_t i = heap_.size() / 2; i-- > 0;) SiftDown(i);
    return Status::Ok();
}

Status MergedSource::Next() {
    SortedSource* top = heap_.front().source;
    // The key being left, to tell a repeat in another source or a source out of order (its
    // prefix decides unless the next key's agrees).
    const Head leaving = heap_.front();
    uint8_t left[kMaxKeySize];
    CopyFewBytes(left, top->key(), keySize_);
    Status s = top->Next();
    if (!s.ok()) {
        heap_.clear();
        return s;
    }
    if (top->valid()) {
        heap_.front() = HeadOf(top);
    } else {
        heap_.front() = heap_.back();
        heap_.pop_back();
    }
    if (!heap_.empty()) {
        SiftDown(0);
        const Head& next = heap_.front();
        if (next.prefix < leaving.prefix ||
            (next.prefix == leaving.prefix &&
             (keySize_ <= 8 || std::memcmp(next.source->key() + 8, left + 8, keySize_ - 8) <= 0))) {
            heap_.clear();
            return Status::Failure(Error::kDamaged, "the key " + HexBytes({left, keySize_}) +
                                                        " is new twice, or out of order");
        }
    }
    return Status::Ok();
}

}  // namespace talvo::engine
