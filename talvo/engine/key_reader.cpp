#include "talvo/engine/key_reader.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "talvo/engine/file_header.h"
#include "talvo/engine/index_snapshot.h"
#include "talvo/engine/open_data_file.h"
#include "talvo/engine/radix_sort.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {
namespace {

// The largest buffer that slots read together pass through.
constexpr size_t kMaxSpanBytes = size_t{1} << 20;

// Reads exactly `bytes` at `offset`; false when the file ends first or the system refuses.
bool ReadFully(int fd, uint8_t* into, size_t bytes, uint64_t offset) {
    while (bytes != 0) {
        const ssize_t got = ::pread(fd, into, bytes, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        into += got;
        bytes -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

}  // namespace

struct BatchedKeyReader::Batch {
    std::vector<uint8_t> keys;  // count entries of the key size
    std::vector<uint64_t> numbers;
    std::vector<uint8_t> records;  // count entries of the record size
    std::vector<uint8_t> fetched;  // 1 where the record was read
    size_t count = 0;
    bool last = false;  // nothing is read ahead after it
    // Work done for it, counted into Counters() on the reader's side when it is handed over.
    uint64_t reads = 0;
    uint64_t bytes = 0;
    uint64_t releases = 0;
    bool ready = false;  // filled, and not yet given back (guarded by Ahead::mutex)
};

struct BatchedKeyReader::Ahead {
    struct Slot {
        uint64_t number;
        uint64_t entry;  // where in the batch its record goes
    };

    // Set before the thread starts and the thread's alone afterwards.
    std::unique_ptr<IndexSnapshot> view;
    int fd = -1;
    uint64_t slots = 0;  // record slots the snapshot counts
    uint32_t recordSize = 0;
    size_t keySize = 0;
    size_t maxEntries = 1;
    std::string from;  // where the next batch starts
    bool after = false;
    std::vector<Slot> order;
    std::vector<Slot> scratch;
    std::vector<uint8_t> span;  // slots read together pass through here

    Batch batches[2];  // filled in turn, handed over in turn
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> stop{false};
    std::thread thread;
};

BatchedKeyReader::BatchedKeyReader(std::shared_ptr<OpenDataFile> file)
    : file_(std::move(file)),
      keySize_(file_->header_.keySize),
      recordSize_(file_->header_.recordSize) {
    file_->readers_.push_back(this);
}

BatchedKeyReader::~BatchedKeyReader() {
    StopReadingAhead();
    auto& readers = file_->readers_;
    readers.erase(std::remove(readers.begin(), readers.end(), this), readers.end());
}

void BatchedKeyReader::Seek(std::span<const uint8_t> key, bool strictlyAfter) {
    StopReadingAhead();
    position_.assign(reinterpret_cast<const char*>(key.data()), key.size());
    after_ = strictlyAfter;
    directRun_ = 0;
}

Status BatchedKeyReader::Next(std::span<const uint8_t>* key) {
    fromBatch_ = false;
    if (ahead_ != nullptr && file_->changes_ != changes_) StopReadingAhead();
    if (ahead_ != nullptr) {
        if (current_ == nullptr || at_ == current_->count) {
            if (current_ != nullptr && current_->last) {
                StopReadingAhead();
            } else {
                TakeNextBatch();
            }
        }
        if (ahead_ != nullptr && at_ < current_->count) {
            *key = {current_->keys.data() + at_ * keySize_, keySize_};
            ++at_;
            fromBatch_ = true;
            return Status::Ok();
        }
        StopReadingAhead();  // an empty last batch
    }
    Status s =
        file_->SeekKey({reinterpret_cast<const uint8_t*>(position_.data()), position_.size()},
                       after_, &delivered_, nullptr);
    if (!s.ok()) return s;
    position_ = delivered_;
    after_ = true;
    *key = {reinterpret_cast<const uint8_t*>(delivered_.data()), delivered_.size()};
    if (++directRun_ >= kDirectRun) StartReadingAhead();
    return Status::Ok();
}

Status BatchedKeyReader::Get(std::span<const uint8_t> key, std::vector<uint8_t>* record) {
    if (fromBatch_ && ahead_ != nullptr && file_->changes_ == changes_ && key.size() <= keySize_) {
        const size_t entry = at_ - 1;
        const uint8_t* delivered = current_->keys.data() + entry * keySize_;
        // A shorter key stands for itself zero-padded, as Get pads it.
        const bool same = std::memcmp(key.data(), delivered, key.size()) == 0 &&
                          std::all_of(delivered + key.size(), delivered + keySize_,
                                      [](uint8_t b) { return b == 0; });
        if (same && current_->fetched[entry] != 0) {
            const uint8_t* bytes = current_->records.data() + entry * recordSize_;
            record->assign(bytes, bytes + recordSize_);
            file_->OverlayDeletedMark(current_->numbers[entry], record);
            return Status::Ok();
        }
    }
    return file_->Get(key, record, nullptr);
}

void BatchedKeyReader::StartReadingAhead() {
    directRun_ = 0;
    if (!file_->CanReadAhead()) return;
    try {
        auto ahead = std::make_unique<Ahead>();
        if (!file_->index_.OpenSnapshot(keySize_, &ahead->view).ok()) return;
        const size_t budget = file_->tuning_.readAheadBytes;
        ahead->fd = file_->data_.fd();
        ahead->slots = file_->slotCount_;
        ahead->recordSize = recordSize_;
        ahead->keySize = keySize_;
        // Two batches (keys, numbers, records, marks) and the room to sort one by slot, after
        // the buffer that slots read together pass through.
        const size_t spanBytes =
            recordSize_ == 0 ? 0
                             : std::min(kMaxSpanBytes, std::max<size_t>(recordSize_, budget / 8));
        const size_t perEntry = 2 * (keySize_ + recordSize_ + 9) + 2 * sizeof(Ahead::Slot);
        ahead->maxEntries = std::max<size_t>(1, (budget - std::min(budget, spanBytes)) / perEntry);
        ahead->span.resize(spanBytes);
        ahead->from = position_;
        ahead->after = after_;
        ahead->thread = std::thread(&BatchedKeyReader::Run, ahead.get());
        changes_ = file_->changes_;
        ahead_ = std::move(ahead);
        current_ = nullptr;
        at_ = 0;
    } catch (const std::exception&) {
        // No memory or no thread for it: the keys keep coming one at a time.
    }
}

void BatchedKeyReader::StopReadingAhead() {
    if (ahead_ == nullptr) return;
    if (current_ != nullptr && at_ != 0) {
        position_.assign(
            reinterpret_cast<const char*>(current_->keys.data()) + (at_ - 1) * keySize_, keySize_);
        after_ = true;
    }
    {
        std::lock_guard<std::mutex> lock(ahead_->mutex);
        ahead_->stop = true;
    }
    ahead_->changed.notify_all();
    ahead_->thread.join();
    ahead_.reset();
    current_ = nullptr;
    at_ = 0;
    fromBatch_ = false;
    directRun_ = 0;
}

void BatchedKeyReader::TakeNextBatch() {
    Ahead& ahead = *ahead_;
    Batch* next = &ahead.batches[0];
    if (current_ != nullptr) {
        // Reading goes on after the batch's last key, whatever becomes of the next one.
        position_.assign(
            reinterpret_cast<const char*>(current_->keys.data()) + (current_->count - 1) * keySize_,
            keySize_);
        after_ = true;
        next = current_ == &ahead.batches[0] ? &ahead.batches[1] : &ahead.batches[0];
        {
            std::lock_guard<std::mutex> lock(ahead.mutex);
            current_->ready = false;
        }
        ahead.changed.notify_all();
    }
    {
        std::unique_lock<std::mutex> lock(ahead.mutex);
        ahead.changed.wait(lock, [next] { return next->ready; });
    }
    current_ = next;
    at_ = 0;
    WorkCounters& counters = Counters();
    ++counters.readAheadBatches;
    counters.readAheadReads += next->reads;
    counters.readAheadBytes += next->bytes;
    counters.mapReleases += next->releases;
}

// The thread: fills the two batches in turn, each once the reader has given it back, until the
// keys run out or the reader stops it.
void BatchedKeyReader::Run(Ahead* ahead) {
    size_t entries = std::min(kFirstBatch, ahead->maxEntries);
    for (int i = 0;; i ^= 1) {
        Batch& batch = ahead->batches[i];
        {
            std::unique_lock<std::mutex> lock(ahead->mutex);
            ahead->changed.wait(lock, [&] { return ahead->stop || !batch.ready; });
            if (ahead->stop) return;
        }
        Fill(*ahead, batch, entries);
        {
            std::lock_guard<std::mutex> lock(ahead->mutex);
            batch.ready = true;
        }
        ahead->changed.notify_all();
        if (batch.last) return;
        entries = std::min(entries * 2, ahead->maxEntries);
    }
}

// Reads the next `entries` keys and their records into the batch. Whatever goes wrong makes it
// the last batch, holding the entries read before.
void BatchedKeyReader::Fill(Ahead& ahead, Batch& batch, size_t entries) {
    batch.count = 0;
    batch.last = true;
    batch.reads = batch.bytes = batch.releases = 0;
    try {
        batch.keys.clear();
        batch.numbers.clear();
        batch.keys.reserve(entries * ahead.keySize);
        batch.numbers.reserve(entries);
        const uint64_t releases = ahead.view->releases();
        bool complete = false;
        ahead.view->Read({reinterpret_cast<const uint8_t*>(ahead.from.data()), ahead.from.size()},
                         ahead.after, entries, &batch.keys, &batch.numbers, &complete);
        batch.releases = ahead.view->releases() - releases;
        const size_t n = batch.numbers.size();
        if (n != 0) {
            ahead.from.assign(
                reinterpret_cast<const char*>(batch.keys.data()) + (n - 1) * ahead.keySize,
                ahead.keySize);
            ahead.after = true;
        }
        // A key-only file has nothing to read: its records are empty.
        batch.fetched.assign(n, ahead.recordSize == 0 ? 1 : 0);
        batch.records.resize(n * ahead.recordSize);
        batch.count = n;
        if (ahead.recordSize != 0) FetchRecords(ahead, batch);
        batch.last = !complete || n == 0;
    } catch (const std::exception&) {
        batch.count = 0;  // no memory: the reader goes on without the thread
        batch.last = true;
    }
}

void BatchedKeyReader::FetchRecords(Ahead& ahead, Batch& batch) {
    const uint64_t size = ahead.recordSize;
    ahead.order.clear();
    for (size_t i = 0; i < batch.count; ++i) {
        // A number past the slots is damage, which Get reports.
        if (batch.numbers[i] < ahead.slots) ahead.order.push_back({batch.numbers[i], i});
    }
    RadixSort(std::span(ahead.order), ahead.scratch,
              [](const Ahead::Slot& slot) { return slot.number; });
    const std::vector<Ahead::Slot>& order = ahead.order;
    for (size_t j = 0; j < order.size();) {
        if (ahead.stop.load(std::memory_order_relaxed)) return;  // the batch will not be used
        // The slots read together: each close to the one before, all within the span buffer.
        const uint64_t first = order[j].number;
        size_t k = j;
        while (k + 1 < order.size() &&
               (order[k + 1].number - order[k].number) * size <= kJoinGapBytes + size &&
               (order[k + 1].number - first + 1) * size <= ahead.span.size()) {
            ++k;
        }
        const size_t bytes = static_cast<size_t>((order[k].number - first + 1) * size);
        uint8_t* into = k == j ? batch.records.data() + order[j].entry * size : ahead.span.data();
        ++batch.reads;
        batch.bytes += bytes;
        if (ReadFully(ahead.fd, into, bytes, SlotOffset(first, ahead.recordSize))) {
            for (size_t q = j; q <= k; ++q) {
                if (k != j) {
                    std::memcpy(batch.records.data() + order[q].entry * size,
                                ahead.span.data() + (order[q].number - first) * size, size);
                }
                batch.fetched[order[q].entry] = 1;
            }
        }
        j = k + 1;
    }
}

}  // namespace talvo::engine
