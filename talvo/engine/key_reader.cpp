#include "talvo/engine/key_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "talvo/byte_copy.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/host_file.h"
#include "talvo/engine/index_snapshot.h"
#include "talvo/engine/open_data_file.h"
#include "talvo/engine/radix_sort.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {
namespace {

// The largest buffer that slots read together pass through.
constexpr size_t kMaxSpanBytes = size_t{1} << 20;
// What a sweep's write buffer for one batch holds at most.
constexpr size_t kMaxBucketBuffer = size_t{64} << 10;
constexpr int kPlaceBits = 24;  // a key's place in its segment, in a sweep's sorted numbers
constexpr uint64_t kPlaceMask = (uint64_t{1} << kPlaceBits) - 1;

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

bool WriteFully(int fd, const uint8_t* from, size_t bytes, uint64_t offset) {
    while (bytes != 0) {
        const ssize_t put = ::pwrite(fd, from, bytes, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        from += put;
        bytes -= static_cast<size_t>(put);
        offset += static_cast<uint64_t>(put);
    }
    return true;
}

// The bytes [offset, offset + bytes) of a file, seen through a map of their pages while it lives
// (a sweep's pass reads them in place: no copy through a buffer). Committed slots never shrink
// while the file is open, so the pages are there to read.
class SlotMap {
  public:
    SlotMap(int fd, uint64_t offset, size_t bytes) {
        static const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
        const uint64_t start = offset / page * page;
        const size_t length = static_cast<size_t>(offset - start) + bytes;
        void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(start));
        if (map != MAP_FAILED) {
            map_ = map;
            length_ = length;
            data_ = static_cast<const uint8_t*>(map) + (offset - start);
        }
    }
    ~SlotMap() {
        if (map_ != nullptr) ::munmap(map_, length_);
    }
    SlotMap(const SlotMap&) = delete;
    SlotMap& operator=(const SlotMap&) = delete;

    // Null when the system would not map them.
    const uint8_t* data() const { return data_; }

  private:
    void* map_ = nullptr;
    size_t length_ = 0;
    const uint8_t* data_ = nullptr;
};

// Whether a key shorter than the key size stands for the key at `full`: itself zero-padded, as
// Get pads it. (Apart: a copy loop's keys have the key size.)
[[gnu::noinline]] bool SamePadded(std::span<const uint8_t> key, const uint8_t* full,
                                  size_t keySize) {
    return std::memcmp(key.data(), full, key.size()) == 0 &&
           std::all_of(full + key.size(), full + keySize, [](uint8_t b) { return b == 0; });
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
    uint64_t sweeps = 0;
    uint64_t swept = 0;  // keys of the segment it is the first batch of
    uint64_t spillBytes = 0;
    uint64_t keySpillBytes = 0;
    bool ready = false;  // filled, and not yet given back (guarded by Ahead::mutex)
};

struct BatchedKeyReader::Ahead {
    struct Slot {
        uint64_t number;
        uint64_t entry;  // where in the batch its record goes
    };

    ~Ahead() {
        if (spill >= 0) ::close(spill);
    }

    // Waits for the next batch to be given back, has `fill` fill it and hands it over; false
    // when reading ahead ends (it was the last, or the reader stopped the thread).
    template <typename FillBatch>
    bool HandOver(const FillBatch& fill) {
        Batch& batch = batches[next];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return stop || !batch.ready; });
            if (stop) return false;
        }
        fill(batch);
        {
            std::lock_guard<std::mutex> lock(mutex);
            batch.ready = true;
        }
        changed.notify_all();
        next ^= 1;
        return !batch.last;
    }

    // Where in the unnamed file a segment's keys (place after place) and record numbers go: after
    // the two halves of records.
    uint64_t KeysAt(int half) const { return 2 * halfBytes + half * keyHalfBytes; }
    uint64_t NumbersAt(int half) const {
        return KeysAt(half) + keyHalfBytes / (keySize + sizeof(uint64_t)) * keySize;
    }

    // Set before the thread starts and the thread's alone afterwards.
    std::unique_ptr<IndexSnapshot> view;
    int fd = -1;
    std::string folder;  // the data file's, where a sweep's unnamed file goes
    bool maps = true;    // a sweep's pass sees the slots through maps (else reads them)
    uint64_t slots = 0;  // record slots the snapshot counts
    uint32_t recordSize = 0;
    size_t keySize = 0;
    size_t maxEntries = 1;      // keys of a batch
    size_t segmentEntries = 0;  // keys of a sweep's segment
    size_t bucketBytes = 0;     // a sweep's write buffers, together
    std::string from;           // where the next batch starts
    bool after = false;
    std::vector<Slot> order;
    std::vector<Slot> scratch;
    std::vector<uint8_t> span;  // slots read together pass through here
    // The sweeps': the unnamed file (two halves for records and two for keys: the segment being
    // handed over and the one being prepared), where the next segment starts, the segment's
    // record numbers (number << kPlaceBits | place), the keys of its last read along the index
    // and the write buffer of each of its batches with what it holds.
    int spill = -1;
    bool sweepable = true;
    uint64_t keysRead = 0;  // keys the thread has read from the view
    uint64_t halfBytes = 0;
    uint64_t keyHalfBytes = 0;
    std::vector<uint8_t> chunkKeys;
    std::string sweepFrom;
    bool sweepAfter = false;
    std::vector<uint64_t> segment;
    std::vector<uint64_t> segmentScratch;
    std::vector<uint8_t> bucketBuffer;
    std::vector<size_t> bucketUsed;

    Batch batches[2];  // filled in turn, handed over in turn
    int next = 0;
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
            // The batch was filled on the thread's processor: its next entries are asked for
            // ahead of their turn, so that they are at hand when they come.
            if (at_ + kPrefetchAhead < current_->count) {
                const size_t soon = at_ + kPrefetchAhead;
                __builtin_prefetch(current_->keys.data() + soon * keySize_);
                const uint8_t* record = current_->records.data() + soon * recordSize_;
                for (size_t line = 0; line < recordSize_ && line < kPrefetchBytes; line += 64) {
                    __builtin_prefetch(record + line);
                }
            }
            // A copy: a change of the file drops the batch, but not the key handed out. (Sized
            // once: every key of a batch is keySize_ bytes.)
            if (delivered_.size() != keySize_) delivered_.resize(keySize_);
            CopyFewBytes(reinterpret_cast<uint8_t*>(delivered_.data()),
                         current_->keys.data() + at_ * keySize_, keySize_);
            *key = {reinterpret_cast<const uint8_t*>(delivered_.data()), keySize_};
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

ptrdiff_t BatchedKeyReader::EntryAtHand(std::span<const uint8_t> key) const {
    if (!fromBatch_ || ahead_ == nullptr || file_->changes_ != changes_ || key.size() > keySize_) {
        return -1;
    }
    const size_t entry = at_ - 1;
    const uint8_t* delivered = current_->keys.data() + entry * keySize_;
    const bool same = key.size() == keySize_ ? SameFewBytes(key.data(), delivered, keySize_)
                                             : SamePadded(key, delivered, keySize_);
    if (!same || current_->fetched[entry] == 0) return -1;
    return static_cast<ptrdiff_t>(entry);
}

const uint8_t* BatchedKeyReader::RecordAtHand(std::span<const uint8_t> key) {
    const ptrdiff_t entry = EntryAtHand(key);
    // A record whose deleted mark the index holds goes through Get, which lays the mark over it.
    if (entry < 0 || file_->MarkOverlaid(current_->numbers[static_cast<size_t>(entry)])) {
        return nullptr;
    }
    return current_->records.data() + static_cast<size_t>(entry) * recordSize_;
}

Status BatchedKeyReader::Get(std::span<const uint8_t> key, std::vector<uint8_t>* record) {
    const ptrdiff_t at = EntryAtHand(key);
    if (at >= 0) {
        const auto entry = static_cast<size_t>(at);
        const uint8_t* bytes = current_->records.data() + entry * recordSize_;
        if (record->size() != recordSize_) record->resize(recordSize_);
        if (recordSize_ != 0) std::memcpy(record->data(), bytes, recordSize_);
        file_->OverlayDeletedMark(current_->numbers[entry], record);
        return Status::Ok();
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
        ahead->folder = FolderOf(file_->dataPath_);
        ahead->maps = file_->tuning_.sweepMaps;
        ahead->slots = file_->slotCount_;
        ahead->recordSize = recordSize_;
        ahead->keySize = keySize_;
        // The budget's shares: 1/4 for two batches (keys, numbers, records, marks) and the room
        // to sort one by slot; 5/8 for a sweep's segment and the room to sort it; 1/16 each for
        // the buffer that slots read together pass through and for a sweep's write buffers.
        const size_t spanBytes =
            recordSize_ == 0
                ? 0
                : std::min(kMaxSpanBytes, std::max<size_t>(recordSize_ + 4, budget / 16));
        const size_t perEntry = 2 * (keySize_ + recordSize_ + 9) + 2 * sizeof(Ahead::Slot);
        ahead->maxEntries = std::max<size_t>(1, budget / 4 / perEntry);
        ahead->segmentEntries = std::min(kMaxSegment, budget / 8 * 5 / (2 * sizeof(uint64_t)));
        ahead->bucketBytes = budget / 16;
        const uint64_t segmentRoom =
            (ahead->segmentEntries + ahead->maxEntries - 1) / ahead->maxEntries * ahead->maxEntries;
        ahead->halfBytes = segmentRoom * (uint64_t{recordSize_} + 4);
        ahead->keyHalfBytes = segmentRoom * (keySize_ + sizeof(uint64_t));
        ahead->span.resize(spanBytes);
        ahead->from = position_;
        ahead->after = after_;
        // As if reading began at the first key (it mostly does): for planning the sweeps only.
        ahead->keysRead = kDirectRun;
        ahead->thread = std::thread(&BatchedKeyReader::Run, ahead.get());
        changes_ = file_->changes_;
        ahead_ = std::move(ahead);
        current_ = nullptr;
        at_ = 0;
    } catch (const std::exception&) {
        // No memory or no thread for it: the keys keep coming one at a time.
    }
}

void BatchedKeyReader::EndReadingAhead() {
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
    counters.readAheadSweeps += next->sweeps;
    if (next->sweeps != 0) {
        counters.readAheadFewestSwept = counters.readAheadFewestSwept == 0
                                            ? next->swept
                                            : std::min(counters.readAheadFewestSwept, next->swept);
    }
    counters.readAheadSpillBytes += next->spillBytes;
    counters.readAheadKeySpillBytes += next->keySpillBytes;
}

// The thread: fills the two batches in turn, each once the reader has given it back, until the
// keys run out or the reader stops it.
void BatchedKeyReader::Run(Ahead* ahead) {
    size_t entries = std::min(kFirstBatch, ahead->maxEntries);
    for (;;) {
        if (ShouldSweep(*ahead, entries)) {
            if (!Sweep(*ahead)) break;
            continue;  // a sweep failed: batch by batch from here
        }
        if (!ahead->HandOver([&](Batch& batch) { Fill(*ahead, batch, entries); })) break;
        entries = std::min(entries * 2, ahead->maxEntries);
    }
    // What only the thread used goes now, on its time: the unnamed file, whose pages the system
    // drops as it closes, and the sweeps' buffers. (The batches stay: the reader may be handing
    // them out.)
    if (ahead->spill >= 0) ::close(ahead->spill);
    ahead->spill = -1;
    std::vector<uint64_t>().swap(ahead->segment);
    std::vector<uint64_t>().swap(ahead->segmentScratch);
    std::vector<uint8_t>().swap(ahead->bucketBuffer);
    std::vector<uint8_t>().swap(ahead->chunkKeys);
    std::vector<Ahead::Slot>().swap(ahead->order);
    std::vector<Ahead::Slot>().swap(ahead->scratch);
}

// A sweep reads every slot once for a segment's keys: worth it when that is at most the join gap
// a key (the cost of a read of its own), and once the batches hold a key for every
// kSweepGapBytes of the slots (a pass over them through maps costs less than reading the
// batches' records one by one) or have grown as large as they get (the keys are being read on
// and on).
bool BatchedKeyReader::ShouldSweep(const Ahead& ahead, size_t entries) {
    const uint64_t fileBytes = ahead.slots * ahead.recordSize;
    return ahead.sweepable && ahead.recordSize != 0 &&
           ahead.segmentEntries >= 2 * ahead.maxEntries &&
           uint64_t{ahead.segmentEntries} * kJoinGapBytes >= fileBytes &&
           (entries == ahead.maxEntries || uint64_t{entries} * kSweepGapBytes >= fileBytes);
}

// A segment swept: its keys' records in its half of the unnamed file, in one part a batch.
struct BatchedKeyReader::Segment {
    int half = 0;
    size_t count = 0;               // keys in it
    size_t handed = 0;              // keys handed over so far
    bool complete = false;          // it has all the keys asked for (else it is the last)
    bool spilled = false;           // its records are in the file (else they are left to Get)
    bool keysSpilled = false;       // its keys and numbers are in the file (else read again)
    std::vector<uint64_t> written;  // bytes in each batch's part
    // What preparing it took, counted with its first batch.
    uint64_t reads = 0;
    uint64_t bytes = 0;
    uint64_t releases = 0;
    uint64_t spillBytes = 0;
    uint64_t keySpillBytes = 0;
};

bool BatchedKeyReader::Sweep(Ahead& ahead) {
    if (ahead.spill < 0) {
        ahead.spill = ::open(ahead.folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (ahead.spill < 0) {
            ahead.sweepable = false;  // batches read their records themselves
            return true;
        }
    }
    ahead.sweepFrom = ahead.from;
    ahead.sweepAfter = ahead.after;
    // Each segment is prepared while the batches of the one before are handed over. Preparing
    // one costs a pass over all the slots, whatever its size, and then about half of what the
    // caller spends on each of its keys (reading the key along the index, writing the record to
    // the unnamed file and reading it back): so a segment must hold enough keys for the pass
    // after it to end before they are all handed out, and a segment twice the size of the one
    // before would keep the caller waiting at every segment. The first holds about as many keys
    // as the caller takes in the time of a pass (a key for every kFirstSegmentBytesPerKey bytes
    // of the slots, and at least two batches); each one after a quarter more than the one
    // before, up to what the budget holds.
    const uint64_t fileBytes = ahead.slots * ahead.recordSize;
    size_t size = std::min<uint64_t>(
        ahead.segmentEntries,
        std::max<uint64_t>(2 * ahead.maxEntries, fileBytes / kFirstSegmentBytesPerKey));
    Segment segments[2];
    Segment* pending = nullptr;
    const auto handRest = [&](Segment& segment) {
        while (segment.handed < segment.count) {
            if (!ahead.HandOver([&](Batch& batch) { FillFromSegment(ahead, batch, segment); })) {
                return false;
            }
        }
        return true;
    };
    for (;;) {
        Segment& next = pending == &segments[0] ? segments[1] : segments[0];
        if (!Prepare(ahead, size, &next, pending)) return false;
        if (pending != nullptr && !handRest(*pending)) return false;
        if (next.count == 0) {
            if (!ahead.sweepable) return true;        // no memory for the segment: batch by batch
            return ahead.HandOver([](Batch& batch) {  // the keys ran out
                batch.count = 0;
                batch.last = true;
            });
        }
        if (!next.complete || !next.spilled) {
            // The last segment (its last batch ends the reading ahead), or one whose records the
            // file did not take: then batch by batch after it.
            if (!handRest(next)) return false;
            return next.complete;
        }
        // Every segment costs a pass over all the slots. The keys left are at most the slots
        // not yet read: when so few are left that a pass would read more than the join gap a
        // key, they are read batch by batch; when what is left after the next segment would
        // make a small one of its own, the next takes it too.
        const uint64_t left = ahead.slots > ahead.keysRead ? ahead.slots - ahead.keysRead : 0;
        if (left * kJoinGapBytes < ahead.slots * ahead.recordSize) {
            if (!handRest(next)) return false;
            ahead.sweepable = false;
            return true;
        }
        pending = &next;
        size = std::min(ahead.segmentEntries, size + size / 4);
        if (left > size && left - size < size / 2) {
            size = static_cast<size_t>(std::min<uint64_t>(ahead.segmentEntries, left));
        }
    }
}

bool BatchedKeyReader::Pump(Ahead& ahead, Segment* pending) {
    if (ahead.stop.load(std::memory_order_relaxed)) return false;
    if (pending == nullptr || pending->handed == pending->count) return true;
    Batch& batch = ahead.batches[ahead.next];
    {
        std::lock_guard<std::mutex> lock(ahead.mutex);
        if (batch.ready) return true;  // not given back yet: no waiting here
    }
    FillFromSegment(ahead, batch, *pending);
    {
        std::lock_guard<std::mutex> lock(ahead.mutex);
        batch.ready = true;
    }
    ahead.changed.notify_all();
    ahead.next ^= 1;
    return !batch.last;
}

// The segment's record numbers, from where the last one ended; then one pass over their slots in
// ascending order, a span of slots at a time: each wanted record goes, after its place in the
// segment (4 bytes), to the write buffer of its batch, which is written to the batch's part of
// the segment's half of the unnamed file when full. Between the steps, and after every span, a
// batch of the pending segment is handed over when there is room.
bool BatchedKeyReader::Prepare(Ahead& ahead, size_t size, Segment* segment, Segment* pending) {
    Segment& seg = *segment;
    seg.half = pending != nullptr ? 1 - pending->half : 0;
    seg.count = seg.handed = 0;
    seg.complete = seg.spilled = seg.keysSpilled = false;
    seg.reads = seg.bytes = seg.releases = seg.spillBytes = seg.keySpillBytes = 0;
    std::vector<uint64_t>& slots = ahead.segment;
    const uint64_t releases = ahead.view->releases();
    try {
        slots.clear();
        slots.reserve(size);
        // A batch's worth at a time, handing over the pending segment's batches in between. The
        // keys and numbers go to the unnamed file as they come, so that the batches take them
        // from there instead of reading the index a second time.
        seg.complete = true;
        seg.keysSpilled = true;
        while (seg.complete && slots.size() < size) {
            const size_t before = slots.size();
            ahead.chunkKeys.clear();
            ahead.view->Read(
                {reinterpret_cast<const uint8_t*>(ahead.sweepFrom.data()), ahead.sweepFrom.size()},
                ahead.sweepAfter, std::min(ahead.maxEntries, size - before), &ahead.chunkKeys,
                &slots, &seg.complete, &ahead.sweepFrom);
            ahead.sweepAfter = true;
            const size_t got = slots.size() - before;
            if (seg.keysSpilled && got != 0) {
                seg.keysSpilled =
                    WriteFully(ahead.spill, ahead.chunkKeys.data(), got * ahead.keySize,
                               ahead.KeysAt(seg.half) + before * ahead.keySize) &&
                    WriteFully(ahead.spill, reinterpret_cast<const uint8_t*>(slots.data() + before),
                               got * sizeof(uint64_t),
                               ahead.NumbersAt(seg.half) + before * sizeof(uint64_t));
                if (seg.keysSpilled) seg.keySpillBytes += got * (ahead.keySize + sizeof(uint64_t));
            }
            if (!Pump(ahead, pending)) return false;
        }
        seg.written.assign((slots.size() + ahead.maxEntries - 1) / ahead.maxEntries, 0);
    } catch (const std::exception&) {
        ahead.sweepable = false;  // no memory for it
        return true;
    }
    seg.count = slots.size();
    ahead.keysRead += seg.count;
    seg.releases = ahead.view->releases() - releases;
    // Numbers past the slots are damage, which Get reports.
    size_t kept = 0;
    for (size_t i = 0; i < seg.count; ++i) {
        if (slots[i] < ahead.slots) slots[kept++] = slots[i] << kPlaceBits | i;
    }
    slots.resize(kept);
    // A large segment takes a while to sort: the pending segment's batches go on being handed
    // over between its passes.
    bool going = true;
    RadixSort(
        std::span(slots), ahead.segmentScratch, [](uint64_t slot) { return slot >> kPlaceBits; },
        [&] { going = going && Pump(ahead, pending); });
    if (!going || !Pump(ahead, pending)) return false;

    const uint64_t size64 = ahead.recordSize;
    const size_t entryBytes = 4 + static_cast<size_t>(size64);
    const size_t batches = seg.written.size();
    const uint64_t part = uint64_t{ahead.maxEntries} * entryBytes;
    const uint64_t base = seg.half * ahead.halfBytes;
    const size_t stride =
        batches == 0
            ? entryBytes
            : std::max(entryBytes, std::min(kMaxBucketBuffer, ahead.bucketBytes / batches) /
                                       entryBytes * entryBytes);
    try {
        ahead.bucketBuffer.resize(batches * stride);
        ahead.bucketUsed.assign(batches, 0);
    } catch (const std::exception&) {
        ahead.sweepable = false;
        return true;  // not spilled: the records are left to Get
    }
    bool whole = true;
    const auto flush = [&](size_t b) {
        const size_t used = ahead.bucketUsed[b];
        if (used == 0) return;
        if (WriteFully(ahead.spill, ahead.bucketBuffer.data() + b * stride, used,
                       base + b * part + seg.written[b])) {
            seg.written[b] += used;
            seg.spillBytes += used;
        } else {
            whole = false;  // those records are left to Get
        }
        ahead.bucketUsed[b] = 0;
    };
    // The wanted records of slots[j, k), whose slots start at slot `first` of `data`, to their
    // batches' write buffers.
    const auto take = [&](const uint8_t* data, uint64_t first, size_t j, size_t k) {
        for (size_t q = j; q < k; ++q) {
            const uint64_t number = slots[q] >> kPlaceBits;
            const auto place = static_cast<uint32_t>(slots[q] & kPlaceMask);
            const size_t b = place / ahead.maxEntries;
            uint8_t* at = ahead.bucketBuffer.data() + b * stride + ahead.bucketUsed[b];
            std::memcpy(at, &place, 4);
            std::memcpy(at + 4, data + (number - first) * size64, size64);
            ahead.bucketUsed[b] += entryBytes;
            if (ahead.bucketUsed[b] + entryBytes > stride) flush(b);
        }
    };
    // Where the run of wanted slots that starts at slots[j] and lies within `spanSlots` slots of
    // its first ends.
    const auto spanEnd = [&](size_t j, uint64_t spanSlots) {
        const uint64_t first = slots[j] >> kPlaceBits;
        size_t k = j + 1;
        while (k < slots.size() && (slots[k] >> kPlaceBits) - first < spanSlots) ++k;
        return k;
    };
    const uint64_t mapSlots = std::max<uint64_t>(1, kSweepMapBytes / size64);
    const uint64_t bufferSlots = std::max<uint64_t>(1, ahead.span.size() / size64);
    for (size_t j = 0; j < slots.size();) {
        const size_t k = spanEnd(j, mapSlots);
        const uint64_t first = slots[j] >> kPlaceBits;
        const auto bytes = static_cast<size_t>(((slots[k - 1] >> kPlaceBits) - first + 1) * size64);
        bool mapped = false;
        if (ahead.maps) {
            const SlotMap map(ahead.fd, SlotOffset(first, ahead.recordSize), bytes);
            mapped = map.data() != nullptr;
            if (mapped) {
                ++seg.reads;
                seg.bytes += bytes;
                take(map.data(), first, j, k);
            }
        }
        // Where the system will not map them, the slots are read through the span buffer, a
        // part at a time (before the batches handed over below use the buffer).
        for (size_t i = j; !mapped && i < k;) {
            const size_t end = spanEnd(i, bufferSlots);
            const uint64_t from = slots[i] >> kPlaceBits;
            const auto piece =
                static_cast<size_t>(((slots[end - 1] >> kPlaceBits) - from + 1) * size64);
            ++seg.reads;
            seg.bytes += piece;
            if (piece <= ahead.span.size() &&
                ReadFully(ahead.fd, ahead.span.data(), piece, SlotOffset(from, ahead.recordSize))) {
                take(ahead.span.data(), from, i, end);
            } else {
                whole = false;
            }
            i = end;
        }
        j = k;
        if (!Pump(ahead, pending)) return false;
    }
    for (size_t b = 0; b < batches; ++b) flush(b);
    seg.spilled = whole;
    if (!whole) ahead.sweepable = false;  // e.g. the disk is full: no more sweeps
    return true;
}

// The next batch of the segment: its keys read again along the index, its records read back
// from its part of the unnamed file.
void BatchedKeyReader::FillFromSegment(Ahead& ahead, Batch& batch, Segment& segment) {
    const size_t first = segment.handed;
    const size_t entries = std::min(ahead.maxEntries, segment.count - first);
    segment.handed += entries;
    batch.count = 0;
    batch.last = true;
    batch.reads = batch.bytes = batch.releases = batch.sweeps = batch.spillBytes = 0;
    batch.keySpillBytes = 0;
    if (first == 0) {  // the segment's work counts with its first batch
        batch.reads = segment.reads;
        batch.bytes = segment.bytes;
        batch.releases = segment.releases;
        batch.spillBytes = segment.spillBytes;
        batch.keySpillBytes = segment.keySpillBytes;
        batch.sweeps = 1;
        batch.swept = segment.count;
    }
    try {
        bool complete = false;
        if (segment.keysSpilled) {
            // The keys as the segment's read along the index found them.
            batch.keys.resize(entries * ahead.keySize);
            batch.numbers.resize(entries);
            complete = ReadFully(ahead.spill, batch.keys.data(), batch.keys.size(),
                                 ahead.KeysAt(segment.half) + first * ahead.keySize) &&
                       ReadFully(ahead.spill, reinterpret_cast<uint8_t*>(batch.numbers.data()),
                                 entries * sizeof(uint64_t),
                                 ahead.NumbersAt(segment.half) + first * sizeof(uint64_t));
            if (complete) batch.keySpillBytes += entries * (ahead.keySize + sizeof(uint64_t));
        }
        if (!complete) {
            batch.keys.clear();
            batch.numbers.clear();
            batch.keys.reserve(entries * ahead.keySize);
            batch.numbers.reserve(entries);
            ahead.view->Read(
                {reinterpret_cast<const uint8_t*>(ahead.from.data()), ahead.from.size()},
                ahead.after, entries, &batch.keys, &batch.numbers, &complete);
        }
        const size_t n = batch.numbers.size();
        if (n != 0) {
            ahead.from.assign(
                reinterpret_cast<const char*>(batch.keys.data()) + (n - 1) * ahead.keySize,
                ahead.keySize);
            ahead.after = true;
        }
        const size_t size = ahead.recordSize;
        batch.fetched.assign(n, 0);
        batch.records.resize(n * size);
        batch.count = n;
        batch.last = !complete || (segment.handed == segment.count && !segment.complete);
        if (!segment.spilled) return;
        const size_t entryBytes = 4 + size;
        const size_t b = first / ahead.maxEntries;
        const uint64_t at0 =
            segment.half * ahead.halfBytes + b * uint64_t{ahead.maxEntries} * entryBytes;
        const uint64_t stored = segment.written[b];
        const size_t chunk = std::max<size_t>(1, ahead.span.size() / entryBytes) * entryBytes;
        for (uint64_t at = 0; at < stored; at += chunk) {
            const auto bytes = static_cast<size_t>(std::min<uint64_t>(chunk, stored - at));
            if (ahead.span.size() < bytes) break;
            if (!ReadFully(ahead.spill, ahead.span.data(), bytes, at0 + at)) break;
            batch.spillBytes += bytes;
            for (size_t e = 0; e + entryBytes <= bytes; e += entryBytes) {
                uint32_t place = 0;
                std::memcpy(&place, ahead.span.data() + e, 4);
                if (place < first || place - first >= n) continue;
                const size_t slot = place - first;
                std::memcpy(batch.records.data() + slot * size, ahead.span.data() + e + 4, size);
                batch.fetched[slot] = 1;
            }
        }
    } catch (const std::exception&) {
        batch.count = 0;
        batch.last = true;
    }
}

// Reads the next `entries` keys and their records into the batch. Whatever goes wrong makes it
// the last batch, holding the entries read before.
void BatchedKeyReader::Fill(Ahead& ahead, Batch& batch, size_t entries) {
    batch.count = 0;
    batch.last = true;
    batch.reads = batch.bytes = batch.releases = batch.sweeps = batch.spillBytes = 0;
    batch.keySpillBytes = 0;
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
        ahead.keysRead += n;
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
