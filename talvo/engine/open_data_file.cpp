#include "talvo/engine/open_data_file.h"

#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>

#include "talvo/engine/engine_error.h"
#include "talvo/engine/file_system.h"
#include "talvo/engine/key_reader.h"

namespace talvo::engine {
namespace {

constexpr uint8_t kSpace = 0x20;
// Fewer new keys than this go into the index in place, whatever the size of the tree.
constexpr uint64_t kMinRebuildKeys = 4096;
// A rebuild of the key tree pays when the new keys are at least this share of the tree.
constexpr uint64_t kRebuildShare = 4;
// The first filter covers this many batches, or as many keys as its budget allows (it grows by
// doubling afterwards, within its budget). At the default budgets about five million keys: a
// smaller write does not pay for a filter sized for the largest.
constexpr uint64_t kFirstFilterBatches = 16;

int64_t Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

std::vector<std::string> OpenDataFile::PartPaths(const std::string& dataPath) {
    std::vector<std::string> parts{dataPath};
    for (std::string& p : KeyIndex::PartPaths(dataPath + ".idx")) parts.push_back(std::move(p));
    parts.push_back(KeyColumn::PathFor(dataPath));
    parts.push_back(SpilledRuns::NamedPath(dataPath));
    return parts;
}

OpenDataFile::~OpenDataFile() {
    Unmap();
}

void OpenDataFile::Unmap() {
    if (map_ != nullptr) ::munmap(const_cast<uint8_t*>(map_), mapBytes_);
    map_ = nullptr;
    mapBytes_ = 0;
    mappedSlots_ = 0;
    mappedRead_ = 0;
}

// Committed slots never shrink while the file is open here: a writer cuts off only what lies
// past the committed count, so the mapping never reaches beyond the end of the file.
void OpenDataFile::MapCommitted() {
    if (recordSize() == 0 || committedSlots_ == mappedSlots_) return;
    Unmap();
    if (committedSlots_ == 0) return;
    const size_t bytes = static_cast<size_t>(SlotOffset(committedSlots_, recordSize()));
    void* at = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, data_.fd(), 0);
    if (at == MAP_FAILED) return;  // reads fall back to pread
    map_ = static_cast<const uint8_t*>(at);
    mapBytes_ = bytes;
    mappedSlots_ = committedSlots_;
}

// The map is read-only and shared: pages let go are read again from the system's cache.
void OpenDataFile::NoteMappedRead(size_t bytes) {
    mappedRead_ += bytes;
    if (mappedRead_ < tuning_.mappedBytes) return;
    ::madvise(const_cast<uint8_t*>(map_), mapBytes_, MADV_DONTNEED);
    mappedRead_ = 0;
    ++counters_.mapReleases;
}

void OpenDataFile::Prefetch(void* self, uint64_t recordNumber) {
    const auto* file = static_cast<const OpenDataFile*>(self);
    if (recordNumber >= file->mappedSlots_) return;
    const uint8_t* at = file->map_ + SlotOffset(recordNumber, file->recordSize());
    __builtin_prefetch(at);
    __builtin_prefetch(at + file->recordSize() - 1);
}

Status OpenDataFile::Open(const std::string& dataPath, std::unique_ptr<OpenDataFile>* out) {
    if (!BudgetsEnvironmentProblem().empty()) {
        return Status::Failure(Error::kInvalidArgument, BudgetsEnvironmentProblem());
    }
    std::unique_ptr<OpenDataFile> file(new OpenDataFile());
    file->dataPath_ = dataPath;
    file->tuning_ = CurrentTuning();
    Status s = HostFile::OpenExisting(dataPath, &file->data_, &file->writable_);
    if (!s.ok()) return s;
    struct stat st {};
    if (::fstat(file->data_.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return Status::Failure(Error::kNotDataFile, dataPath + " is not a regular file");
    }
    if (!file->writable_) {
        struct statvfs fs {};
        const bool readOnlyMount =
            ::fstatvfs(file->data_.fd(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
        file->readOnlyReason_ = dataPath + (readOnlyMount ? " lies on a read-only file system"
                                                          : " may not be written by this user");
    }
    file->networkName_ = NetworkFileSystemName(FileSystemType(file->data_.fd()));
    // While this mark is held, no other process erases the file.
    s = file->data_.HoldOpenMark();
    if (!s.ok()) return s;
    s = file->LoadCommittedState();
    if (!s.ok()) return s;
    if (file->keyed()) {
        file->index_.SetPrefetch(&OpenDataFile::Prefetch, file.get());
        file->index_.SetMappedBudget(file->tuning_.mappedBytes);
    }
    *out = std::move(file);
    return Status::Ok();
}

// Reads the header and the index's counts afresh and checks that they agree with each other and
// with the data file's length. Leaves no uncommitted state behind.
Status OpenDataFile::LoadCommittedState() {
    NoteChange();
    uint64_t length = 0;
    Status s = data_.Length(&length);
    if (!s.ok()) return s;
    std::vector<uint8_t> start(static_cast<size_t>(std::min<uint64_t>(length, kDataStart)));
    size_t got = 0;
    s = data_.ReadSomeAt(0, start, &got);
    if (!s.ok()) return s;
    start.resize(got);
    FileHeader header;
    int copy = 0;
    s = DecodeHeader(start, &header, &copy);
    if (!s.ok()) return Status(s.code(), s.message() + " (" + dataPath_ + ")");

    uint64_t slots = header.slotCount;
    uint64_t deleted = header.deletedCount;
    uint64_t keys = header.keyCount;
    uint64_t next = header.slotCount;
    markOverlay_.clear();
    if (IsKeyedType(header.type)) {
        indexPath_ = dataPath_ + ".idx";
        IndexMeta meta;
        // Open once; afterwards re-read the counts in a fresh snapshot.
        index_.Abort();
        s = index_.isOpen() ? index_.ReadMeta(&meta) : OpenIndex(&meta);
        if (!s.ok()) return s;
        if (meta.fileId != header.fileId) {
            return Status::Failure(Error::kDamaged,
                                   indexPath_ + " is the index of another data file");
        }
        slots = meta.slotCount;
        deleted = meta.deletedCount;
        keys = meta.keyCount;
        next = meta.nextNumber;
        const bool countsAgree =
            header.recordSize == 0 ? (slots == 0 && deleted == 0 && keys <= next)
                                   : (deleted <= slots && keys == slots - deleted && next == slots);
        if (!countsAgree) {
            return Status::Failure(
                Error::kDamaged,
                "the counts of " + indexPath_ + " and the records of " + dataPath_ + " disagree");
        }
        std::vector<uint64_t> marks;
        s = index_.LoadMarks(&marks);
        if (!s.ok()) return s;
        for (uint64_t m : marks) {
            if (m >= slots)
                return Status::Failure(Error::kDamaged, indexPath_ + " marks a slot past the last");
            markOverlay_.insert(m);
        }
        if (!pending_) {
            pending_ = std::make_unique<PendingKeys>(header.keySize, tuning_.pendingKeyBytes);
            runs_ = std::make_unique<SpilledRuns>(dataPath_, header.keySize);
        }
    } else {
        keys = 0;
        next = slots;
    }
    // Compared by division: a damaged count times the record size may overflow.
    const uint64_t room = length < kDataStart ? 0 : length - kDataStart;
    if (header.recordSize != 0 && slots > room / header.recordSize) {
        return Status::Failure(Error::kDamaged, dataPath_ +
                                                    " is cut short: " + std::to_string(length) +
                                                    " bytes where the index or header counts " +
                                                    std::to_string(slots) + " records of " +
                                                    std::to_string(header.recordSize) + " bytes");
    }
    header_ = std::move(header);
    headerCopy_ = copy;
    slotCount_ = committedSlots_ = flushedSlots_ = slots;
    deletedCount_ = deleted;
    keyCount_ = keys;
    nextNumber_ = appliedNext_ = next;
    txnBytes_ = 0;
    dirty_ = false;
    slotBuffer_.clear();
    pendingMarks_.clear();
    DropPending();
    if (keyBuffer_.size() != header_.keySize) keyBuffer_.assign(header_.keySize, 0);
    MapCommitted();
    return Status::Ok();
}

Status OpenDataFile::OpenIndex(IndexMeta* meta) {
    const bool network = networkName_ != nullptr;
    Status s = index_.Open(indexPath_, writable_ && !network, meta, network);
    if (!s.ok()) return s;
    index_.SetWriteBudget(tuning_.commitBytes);
    if (network) {
        // Its lock file and map would not be shared with processes on other hosts.
        if (writable_) {
            readOnlyReason_ = dataPath_ + " lies on a network file system (" + networkName_ +
                              "), where a keyed file is only read";
        }
        writable_ = false;
    } else if (writable_ && index_.readOnly()) {
        writable_ = false;
        readOnlyReason_ = dataPath_ + ": " + index_.readOnlyReason();
    }
    if (index_.lockless()) {
        // No reader of this index is registered anywhere: writers stay away while it is open
        // here, and the counts are read again now that none can come.
        s = data_.HoldLocklessReaderMark();
        if (s.ok()) s = index_.ReadMeta(meta);
        if (!s.ok()) index_.Close();
    }
    return s;
}

void OpenDataFile::DropPending() {
    if (pending_) pending_->Clear(&counters_);
    if (runs_) runs_->Clear();
    filter_.Release();
    column_.DiscardStaged();
}

Status OpenDataFile::NotOpen() const {
    return Status::Failure(Error::kNotOpen, dataPath_);
}

Status OpenDataFile::NotKeyed() const {
    if (closed_) return NotOpen();
    return Status::Failure(Error::kWrongFileType,
                           dataPath_ + " is a file of type " +
                               std::to_string(static_cast<int>(header_.type)) + ", without keys");
}

Status OpenDataFile::PadOtherKey(std::span<const uint8_t> key, bool cut) {
    const size_t keySize = header_.keySize;
    if (key.size() > keySize && !cut) {
        return Status::Failure(Error::kKeyTooLong, "a key of " + std::to_string(key.size()) +
                                                       " bytes for a key size of " +
                                                       std::to_string(keySize));
    }
    const size_t n = std::min(key.size(), keySize);
    if (n != 0) std::memcpy(keyBuffer_.data(), key.data(), n);
    std::fill(keyBuffer_.begin() + static_cast<ptrdiff_t>(n), keyBuffer_.end(), 0);
    return Status::Ok();
}

Status OpenDataFile::CheckDeletable() const {
    const int mark = DeletedMarkOffset(header_.type);
    if (mark < 0) {
        return Status::Failure(Error::kWrongFileType,
                               "records of a type " +
                                   std::to_string(static_cast<int>(header_.type)) +
                                   " file cannot be marked deleted");
    }
    if (recordSize() != 0 && recordSize() <= static_cast<uint32_t>(mark)) {
        return Status::Failure(Error::kNotSupported,
                               "records of " + std::to_string(recordSize()) +
                                   " bytes are too short to carry the deleted mark at byte " +
                                   std::to_string(mark));
    }
    return Status::Ok();
}

// --- Reading ---------------------------------------------------------------------------------

FileInfo OpenDataFile::Info() const {
    FileInfo info;
    info.type = header_.type;
    info.recordSize = header_.recordSize;
    info.keySize = header_.keySize;
    info.keyPosition = header_.keyPosition;
    info.formatVersion = kFormatVersion;
    info.slotCount = slotCount_;
    info.deletedCount = deletedCount_;
    info.keyCount = keyCount_;
    info.created = static_cast<std::time_t>(header_.created);
    info.modified = static_cast<std::time_t>(header_.modified);
    info.accessed = static_cast<std::time_t>(header_.accessed);
    struct stat st {};
    if (data_.isOpen() && ::fstat(data_.fd(), &st) == 0) {
        info.accessed = std::max<std::time_t>(info.accessed, st.st_atime);
    }
    info.dataPath = dataPath_;
    info.indexPath = indexPath_;
    return info;
}

Status OpenDataFile::ReadSlot(uint64_t recordNumber, std::vector<uint8_t>* record) {
    const uint32_t size = recordSize();
    record->resize(size);
    if (recordNumber < mappedSlots_) {
        std::memcpy(record->data(), map_ + SlotOffset(recordNumber, size), size);
        NoteMappedRead(size);
    } else if (recordNumber >= flushedSlots_) {
        const size_t at = static_cast<size_t>(recordNumber - flushedSlots_) * size;
        std::memcpy(record->data(), slotBuffer_.data() + at, size);
    } else {
        Status s = data_.ReadAt(SlotOffset(recordNumber, size), *record);
        if (!s.ok()) return s;
    }
    OverlayDeletedMark(recordNumber, record);
    return Status::Ok();
}

void OpenDataFile::OverlayDeletedMark(uint64_t recordNumber, std::vector<uint8_t>* record) const {
    if (MarkOverlaid(recordNumber)) {
        (*record)[static_cast<size_t>(DeletedMarkOffset(header_.type))] = kDeletedMark;
    }
}

Status OpenDataFile::ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (recordNumber >= slotCount_ || recordSize() == 0) {
        return Status::Failure(Error::kNotFound, "record " + std::to_string(recordNumber) + " of " +
                                                     dataPath_ + " (the file has " +
                                                     std::to_string(slotCount_) +
                                                     (slotCount_ == 1 ? " record)" : " records)"));
    }
    if (recordNumber < committedSlots_ && ReadInOrder(recordNumber, record)) return Status::Ok();
    return ReadSlot(recordNumber, record);
}

const uint8_t* OpenDataFile::RecordAtHand(uint64_t recordNumber) {
    // As ReadRecord through ReadInOrder, when no deleted mark waits to be laid over the slot.
    if (slotsAhead_ == nullptr || recordNumber >= committedSlots_ || !markOverlay_.empty()) {
        return nullptr;
    }
    return slotsAhead_->Take(recordNumber);
}

bool OpenDataFile::ReadInOrder(uint64_t recordNumber, std::vector<uint8_t>* record) {
    if (slotsAhead_ != nullptr) {
        if (const uint8_t* at = slotsAhead_->Take(recordNumber)) {
            record->resize(recordSize());
            std::memcpy(record->data(), at, recordSize());
            OverlayDeletedMark(recordNumber, record);
            return true;
        }
        slotsAhead_.reset();  // out of order, or a chunk could not be read
    }
    inOrderRun_ = recordNumber == inOrderNext_ ? inOrderRun_ + 1 : 1;
    inOrderNext_ = recordNumber + 1;
    // Only while nothing waits to be committed: then the committed slots are all there is.
    if (inOrderRun_ >= kInOrderRun && !dirty_ && slotCount_ == committedSlots_ &&
        slotBuffer_.empty() && recordSize() != 0 && inOrderNext_ < committedSlots_) {
        const size_t chunkBytes =
            std::min(kSlotChunkBytes, tuning_.readAheadBytes / SlotReadAhead::kChunks);
        try {
            slotsAhead_ = std::make_unique<SlotReadAhead>(data_, recordSize(), inOrderNext_,
                                                          committedSlots_, chunkBytes, counters_);
        } catch (const std::exception&) {
            // No memory or no thread for it: the records are read here, one at a time.
        }
    }
    return false;
}

Status OpenDataFile::FindKey(uint64_t hash, bool* found, uint64_t* recordNumber) {
    *found = pending_->Find(keyBuffer_.data(), hash, recordNumber);
    if (*found) return Status::Ok();
    if (!runs_->empty() && filter_.MayContain(hash)) {
        Status s = runs_->Find(keyBuffer_.data(), found, recordNumber, &counters_);
        if (!s.ok() || *found) return s;
    }
    // An index without keys is not searched: a new file being filled never is.
    if (keyCount_ == PendingCount()) return Status::Ok();
    return index_.Find(keyBuffer_, found, recordNumber);
}

Status OpenDataFile::Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
                         uint64_t* recordNumber) {
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (!s.ok()) return s;
    uint64_t number = 0;
    bool found = index_.CursorOn(keyBuffer_, &number);
    if (!found) {
        s = FindKey(KeyHash(keyBuffer_.data(), keyBuffer_.size()), &found, &number);
        if (!s.ok()) return s;
        if (!found) return Status::Failure(Error::kNotFound, "key " + HexBytes(keyBuffer_));
    }
    if (recordSize() == 0) {
        record->clear();
    } else {
        if (number >= slotCount_) {
            return Status::Failure(Error::kDamaged, indexPath_ + " refers to record " +
                                                        std::to_string(number) + " past the last");
        }
        s = ReadSlot(number, record);
        if (!s.ok()) return s;
    }
    if (recordNumber != nullptr) *recordNumber = number;
    return Status::Ok();
}

Status OpenDataFile::SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                             uint64_t* recordNumber) {
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, true);
    if (s.ok()) s = ApplyPending();
    if (!s.ok()) return s;
    return index_.Seek(keyBuffer_, strictlyAfter, found, recordNumber);
}

Status OpenDataFile::NewKeyReader(std::unique_ptr<KeyReader>* reader) {
    Status s = CheckKeyed();
    if (!s.ok()) return s;
    *reader = std::make_unique<BatchedKeyReader>(shared_from_this());
    return Status::Ok();
}

void OpenDataFile::StopReadingAhead() {
    slotsAhead_.reset();
    for (BatchedKeyReader* reader : readers_) reader->StopReadingAhead();
}

bool OpenDataFile::CanReadAhead() const {
    return !closed_ && keyed() && !dirty_ && !index_.writing() && PendingCount() == 0 &&
           slotCount_ == committedSlots_ && slotBuffer_.empty();
}

Status OpenDataFile::GetSubKey(int index, SubKeyDef* def) {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (index < 1 || index > kMaxSubKeys) {
        return Status::Failure(Error::kInvalidArgument, "subordinate key index " +
                                                            std::to_string(index) + " (1 to " +
                                                            std::to_string(kMaxSubKeys) + ")");
    }
    if (static_cast<size_t>(index) > header_.subKeys.size()) {
        return Status::Failure(Error::kNotFound, "subordinate key " + std::to_string(index));
    }
    *def = header_.subKeys[static_cast<size_t>(index) - 1];
    return Status::Ok();
}

// --- Writing ---------------------------------------------------------------------------------

Status OpenDataFile::StartWriting() {
    NoteChange();
    if (!writable_) {
        return Status::Failure(Error::kReadOnly, readOnlyReason_.empty()
                                                     ? dataPath_ + " is open for reading only"
                                                     : readOnlyReason_);
    }
    Status s = data_.TryLockExclusive();
    if (!s.ok()) return s;
    s = data_.TakeWriterMark();
    if (!s.ok()) {
        ::flock(data_.fd(), LOCK_UN);
        return s;
    }
    // Another process may have written since this file was opened; start from its last commit.
    s = LoadCommittedState();
    if (s.ok()) s = data_.Truncate(SlotOffset(committedSlots_, recordSize()));
    if (s.ok() && keyed()) s = SpilledRuns::RemoveLeftover(dataPath_);
    if (s.ok() && keyed()) {
        // A rebuild cut short by a crash left keys in the other key tree.
        bool dropped = false;
        s = index_.DropUnfinishedTree(&dropped);
        if (s.ok() && dropped) dirty_ = true;
    }
    if (s.ok() && !markOverlay_.empty()) {
        // Marks committed in the index but perhaps never written (a crash came between).
        const uint8_t mark = kDeletedMark;
        const auto offset = static_cast<uint64_t>(DeletedMarkOffset(header_.type));
        for (uint64_t n : markOverlay_) {
            if (s.ok()) s = data_.WriteAt(SlotOffset(n, recordSize()) + offset, {&mark, 1});
        }
        if (s.ok()) s = data_.Sync();
        if (s.ok()) s = index_.BeginWrite();
        if (s.ok()) s = index_.ClearMarks();
        if (s.ok()) {
            markOverlay_.clear();
            dirty_ = true;
        }
    }
    if (!s.ok()) {
        index_.Abort();
        dirty_ = false;
        data_.DropWriterMark();
        ::flock(data_.fd(), LOCK_UN);
        return s;
    }
    if (header_.type == FileType::kKeyed && recordSize() != 0) {
        column_.Open(dataPath_, header_.fileId, header_.keySize);
        columnFilled_ = false;
    }
    locked_ = true;
    return Status::Ok();
}

Status OpenDataFile::EnsureWriteTxn() {
    Status s = BeginWriting();
    if (s.ok() && keyed() && !index_.writing()) s = index_.BeginWrite();
    return s;
}

bool OpenDataFile::InPlaceFits(const TreeShape& shape, uint64_t keys) const {
    const uint64_t page = std::max<uint64_t>(shape.pageSize, 512);
    const uint64_t perLeaf = std::max<uint64_t>(1, (page - 16) / (header_.keySize + 18));
    // Each key may change a leaf of its own; every branch may change; new leaves fill up.
    const uint64_t pages =
        std::min(keys, shape.leafPages) + shape.branchPages + keys / perLeaf + shape.depth + 1;
    return txnBytes_ + pages * page <= tuning_.commitBytes;
}

Status OpenDataFile::ApplyPending() {
    if (PendingCount() == 0) return Status::Ok();
    if (runs_->empty()) {
        TreeShape shape;
        Status s = EnsureWriteTxn();
        if (s.ok()) s = index_.Shape(&shape);
        if (!s.ok()) return s;
        if (InPlaceFits(shape, pending_->size())) {
            pending_->Sort(&counters_);
            BatchSource batch(*pending_);
            uint64_t entries = 0;
            s = index_.InsertInPlace(batch, header_.keySize, &entries);
            if (!s.ok()) return RollBack(s);
            ++counters_.merges;
            counters_.entriesWritten += entries;
            const uint64_t perLeaf =
                std::max<uint64_t>(1, (shape.pageSize - 16) / (header_.keySize + 18));
            txnBytes_ += (std::min(entries, shape.leafPages) + entries / perLeaf + 1) *
                         uint64_t{shape.pageSize};
            pending_->Clear(&counters_);
            appliedNext_ = nextNumber_;
            return MaybeCommit();
        }
    }
    // Runs, or more keys than the write transaction may take: they go in by a commit.
    return Commit();
}

// The filter covers the spilled keys and, once it exists, the batch's: a key goes into it when
// it enters the batch, while its block is in the cache from the lookup.
Status OpenDataFile::GrowFilter(uint64_t keys) {
    uint64_t target = filter_.capacity() == 0 ? kFirstFilterBatches * pending_->capacity()
                                              : 2 * filter_.capacity();
    const uint64_t most = uint64_t{tuning_.filterBytes} * 8 / KeyFilter::kBitsPerKey;
    target = std::min(std::max(target, keys), most);
    if (!filter_.Reset(target)) {
        return Status::Failure(Error::kOutOfMemory,
                               "no memory for the filter of " + dataPath_ + " (" +
                                   std::to_string(KeyFilter::BytesFor(target)) + " bytes)");
    }
    uint64_t hashes[32];
    size_t n = 0;
    auto add = [&](const uint8_t* key) {
        hashes[n++] = KeyHash(key, header_.keySize);
        if (n == std::size(hashes)) {
            filter_.AddMany(hashes, n);
            n = 0;
        }
    };
    if (!runs_->empty()) {
        ++counters_.filterRebuilds;
        Status s =
            runs_->ForEachKey(std::min<size_t>(tuning_.runBufferBytes, size_t{1} << 20), add);
        if (!s.ok()) {
            // Without every spilled key in it the filter would let duplicates by.
            filter_.Release();
            return s;
        }
    }
    for (size_t i = 0; i < pending_->size(); ++i) add(pending_->key(i));
    filter_.AddMany(hashes, n);
    return Status::Ok();
}

Status OpenDataFile::SpillBatch() {
    // Room in the filter for the runs, this batch and the next one.
    const uint64_t keys = runs_->keyCount() + pending_->size() + pending_->capacity();
    if (keys > filter_.capacity()) {
        const uint64_t most = uint64_t{tuning_.filterBytes} * 8 / KeyFilter::kBitsPerKey;
        // The filter cannot cover one more run: the keys go into the index now.
        if (keys > most) return Commit();
        Status s = GrowFilter(keys);
        // Runs without a filter over them would let duplicates by: start again from the last
        // commit.
        if (!s.ok()) return RollBack(s);
    }
    pending_->Sort(&counters_);
    Status s = runs_->Spill(*pending_, tuning_, &counters_);
    if (!s.ok()) return s;
    pending_->Clear(&counters_);
    return Status::Ok();
}

Status OpenDataFile::FlushSlots() {
    if (slotBuffer_.empty()) return Status::Ok();
    const uint64_t offset = SlotOffset(flushedSlots_, recordSize());
    Status s = data_.WriteAt(offset, slotBuffer_);
    if (!s.ok()) return s;
    data_.StartWriteBack(offset, slotBuffer_.size());
    flushedSlots_ += slotBuffer_.size() / recordSize();
    slotBuffer_.clear();
    (void)column_.Flush();  // a hint: a key that does not reach it costs a walk, no more
    return Status::Ok();
}

Status OpenDataFile::AppendSlot(const uint8_t* bytes) {
    if (!slotBuffer_.empty() && slotBuffer_.size() + recordSize() > tuning_.slotBufferBytes) {
        Status s = FlushSlots();
        if (!s.ok()) return s;
    }
    slotBuffer_.insert(slotBuffer_.end(), bytes, bytes + recordSize());
    ++slotCount_;
    return Status::Ok();
}

Status OpenDataFile::MaybeCommit() {
    if (txnBytes_ > tuning_.commitBytes) return Commit();
    return Status::Ok();
}

Status OpenDataFile::AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) {
    NoteChange();
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (keyed()) {
        return Status::Failure(Error::kWrongFileType,
                               dataPath_ + " is a keyed file: records go in under keys");
    }
    s = BeginWriting();
    if (!s.ok()) return s;
    recordBuffer_.assign(recordSize(), kSpace);
    std::memcpy(recordBuffer_.data(), record.data(), std::min<size_t>(record.size(), recordSize()));
    const uint64_t number = slotCount_;
    s = AppendSlot(recordBuffer_.data());
    if (!s.ok()) return s;
    dirty_ = true;
    if (recordNumber != nullptr) *recordNumber = number;
    return Status::Ok();
}

Status OpenDataFile::Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
                         uint64_t* recordNumber) {
    NoteChange();
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (!s.ok()) return s;
    const uint64_t hash = KeyHash(keyBuffer_.data(), keyBuffer_.size());
    // Both probes below miss the cache, as a rule: start them while the record is prepared.
    pending_->Prefetch(hash);
    filter_.Prefetch(hash);
    const uint32_t size = recordSize();
    // The slot's bytes: the record's own when it fills the slot (a longer one is cut), else the
    // record padded with spaces to the slot's size.
    const uint8_t* slot = record.data();
    if (size != 0) {
        if (record.size() < size) {
            recordBuffer_.resize(size);
            if (!record.empty()) std::memcpy(recordBuffer_.data(), record.data(), record.size());
            std::fill(recordBuffer_.begin() + static_cast<ptrdiff_t>(record.size()),
                      recordBuffer_.end(), kSpace);
            slot = recordBuffer_.data();
        }
        if (header_.type == FileType::kExtendedKeyed &&
            std::memcmp(slot + header_.keyPosition, keyBuffer_.data(), header_.keySize) != 0) {
            // The key stands in the record: a record that says otherwise would be stored
            // under a key its own bytes deny.
            const std::span<const uint8_t> inRecord(slot + header_.keyPosition, header_.keySize);
            return Status::Failure(
                Error::kInvalidArgument,
                "the record holds " + HexBytes(inRecord) + " at the key position " +
                    std::to_string(header_.keyPosition) + ", not its key " + HexBytes(keyBuffer_));
        }
        const int mark = DeletedMarkOffset(header_.type);
        if (size > static_cast<uint32_t>(mark) && slot[static_cast<size_t>(mark)] == kDeletedMark) {
            return Status::Failure(Error::kInvalidArgument, "the record holds 0xFE at byte " +
                                                                std::to_string(mark) +
                                                                " and would read as deleted (key " +
                                                                HexBytes(keyBuffer_) + ")");
        }
    }
    s = BeginWriting();
    if (!s.ok()) return s;
    bool found = false;
    uint64_t existing = 0;
    s = FindKey(hash, &found, &existing);
    if (!s.ok()) return s;
    if (found) {
        return Status::Failure(Error::kDuplicateKey,
                               "the key " + HexBytes(keyBuffer_) + " is already in " + dataPath_ +
                                   " (record " + std::to_string(existing) + ")");
    }
    if (pending_->full()) {
        s = SpillBatch();
        if (!s.ok()) return s;
    }
    const uint64_t number = size != 0 ? slotCount_ : nextNumber_;
    if (size != 0) {
        s = AppendSlot(slot);
        if (!s.ok()) return s;
        column_.Stage(number, keyBuffer_.data());
    }
    pending_->Add(keyBuffer_.data(), hash, number);
    filter_.Add(hash);  // once there is a filter
    nextNumber_ = number + 1;
    ++keyCount_;
    dirty_ = true;
    if (recordNumber != nullptr) *recordNumber = number;
    return Status::Ok();
}

Status OpenDataFile::MarkDeleted(uint64_t recordNumber) {
    const auto offset = static_cast<size_t>(DeletedMarkOffset(header_.type));
    if (recordNumber >= committedSlots_) {
        // Not committed yet: the slot itself may change, a crash drops it anyway.
        if (recordNumber >= flushedSlots_) {
            slotBuffer_[static_cast<size_t>(recordNumber - flushedSlots_) * recordSize() + offset] =
                kDeletedMark;
            return Status::Ok();
        }
        const uint8_t mark = kDeletedMark;
        return data_.WriteAt(SlotOffset(recordNumber, recordSize()) + offset, {&mark, 1});
    }
    Status s = index_.AddMark(recordNumber);
    if (!s.ok()) return s;
    pendingMarks_.push_back(recordNumber);
    markOverlay_.insert(recordNumber);
    return Status::Ok();
}

// Removes keyBuffer_ (which maps to recordNumber) from the index and marks its slot.
Status OpenDataFile::RemoveKey(uint64_t recordNumber) {
    Status s = index_.Erase(keyBuffer_);
    if (!s.ok()) return s.code() == Error::kNotFound ? s : RollBack(s);
    if (recordSize() != 0) {
        s = MarkDeleted(recordNumber);
        if (!s.ok()) return RollBack(s);
        ++deletedCount_;
    }
    --keyCount_;
    dirty_ = true;
    // A removal may change a leaf and the branches above it.
    txnBytes_ += 2 * 4096;
    return MaybeCommit();
}

Status OpenDataFile::DeleteKey(std::span<const uint8_t> key) {
    NoteChange();
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (s.ok()) s = CheckDeletable();
    if (s.ok()) s = BeginWriting();
    if (s.ok()) s = ApplyPending();
    if (s.ok()) s = EnsureWriteTxn();
    // ApplyPending may have committed, which uses keyBuffer_: take the key again.
    if (s.ok()) s = PadKey(key, false);
    if (!s.ok()) return s;
    bool found = false;
    uint64_t number = 0;
    s = index_.Find(keyBuffer_, &found, &number);
    if (!s.ok()) return s;
    if (!found) return Status::Failure(Error::kNotFound, "key " + HexBytes(keyBuffer_));
    if (recordSize() != 0 && number >= slotCount_) {
        return Status::Failure(Error::kDamaged, indexPath_ + " refers to record " +
                                                    std::to_string(number) + " past the last");
    }
    return RemoveKey(number);
}

Status OpenDataFile::FillKeyColumn() {
    const size_t keySize = header_.keySize;
    // One walk over the index per window of slots that the run buffers hold.
    const uint64_t window = std::max<uint64_t>(1, tuning_.runBufferBytes / keySize);
    std::vector<uint8_t> keys;
    for (uint64_t first = 0; first < slotCount_; first += window) {
        const uint64_t count = std::min(window, slotCount_ - first);
        keys.assign(static_cast<size_t>(count) * keySize, 0);
        ++counters_.indexWalks;
        Status s = index_.Walk([&](std::span<const uint8_t> key, uint64_t number) {
            if (number >= first && number - first < count && key.size() == keySize) {
                std::memcpy(keys.data() + (number - first) * keySize, key.data(), keySize);
            }
            return true;
        });
        if (!s.ok()) return s;
        if (!column_.Write(first, keys)) return Status::Ok();  // the column stays a hint
    }
    return Status::Ok();
}

Status OpenDataFile::FindKeyOfSlot(uint64_t recordNumber, bool* found) {
    *found = false;
    uint64_t mapped = 0;
    for (int attempt = 0; attempt < 2 && column_.available(); ++attempt) {
        if (column_.Read(recordNumber, keyBuffer_.data())) {
            Status s = index_.Find(keyBuffer_, found, &mapped);
            if (!s.ok()) return s;
            if (*found && mapped == recordNumber) return Status::Ok();
            *found = false;
        }
        // Slots written without the column (an older file, a lost write): fill it in once.
        if (columnFilled_) break;
        columnFilled_ = true;
        Status s = FillKeyColumn();
        if (!s.ok()) return s;
    }
    ++counters_.indexWalks;
    return index_.Walk([&](std::span<const uint8_t> key, uint64_t number) {
        if (number != recordNumber || key.size() != keyBuffer_.size()) return true;
        std::memcpy(keyBuffer_.data(), key.data(), key.size());
        *found = true;
        return false;
    });
}

Status OpenDataFile::DeleteRecord(uint64_t recordNumber) {
    NoteChange();
    Status s = CheckOpen();
    if (s.ok()) s = CheckDeletable();
    if (!s.ok()) return s;
    if (recordNumber >= slotCount_ || recordSize() == 0) {
        return Status::Failure(Error::kNotFound,
                               "record " + std::to_string(recordNumber) + " of " + dataPath_);
    }
    s = ReadSlot(recordNumber, &recordBuffer_);
    if (!s.ok()) return s;
    if (recordBuffer_[static_cast<size_t>(DeletedMarkOffset(header_.type))] == kDeletedMark) {
        return Status::Failure(Error::kDeletedRecord,
                               "record " + std::to_string(recordNumber) + " of " + dataPath_);
    }
    s = BeginWriting();
    if (s.ok()) s = ApplyPending();
    if (s.ok()) s = EnsureWriteTxn();
    // ApplyPending may have committed and moved slots into the map: read the record again.
    if (s.ok()) s = ReadSlot(recordNumber, &recordBuffer_);
    if (!s.ok()) return s;
    bool found = false;
    if (header_.type == FileType::kExtendedKeyed) {
        // The key stands in the record.
        uint64_t mapped = 0;
        std::memcpy(keyBuffer_.data(), recordBuffer_.data() + header_.keyPosition, header_.keySize);
        s = index_.Find(keyBuffer_, &found, &mapped);
        if (!s.ok()) return s;
        found = found && mapped == recordNumber;
    }
    if (!found) {
        s = FindKeyOfSlot(recordNumber, &found);
        if (!s.ok()) return s;
    }
    if (!found) {
        return Status::Failure(Error::kDamaged, "record " + std::to_string(recordNumber) + " of " +
                                                    dataPath_ + " is live but no key refers to it");
    }
    return RemoveKey(recordNumber);
}

Status OpenDataFile::AddSubKey(const SubKeyDef& def, int* index) {
    Status s = CheckOpen();
    if (s.ok()) s = ValidateSubKey(def);
    if (s.ok()) s = BeginWriting();
    if (!s.ok()) return s;
    if (header_.subKeys.size() >= static_cast<size_t>(kMaxSubKeys)) {
        return Status::Failure(Error::kInvalidArgument, "all " + std::to_string(kMaxSubKeys) +
                                                            " subordinate key definitions of " +
                                                            dataPath_ + " are in use");
    }
    header_.subKeys.push_back(def);
    dirty_ = true;
    if (index != nullptr) *index = static_cast<int>(header_.subKeys.size());
    return Status::Ok();
}

// --- Commit ----------------------------------------------------------------------------------

Status OpenDataFile::WriteHeader() {
    FileHeader next = header_;
    next.generation = header_.generation + 1;
    std::vector<uint8_t> bytes(kHeaderCopySize);
    EncodeHeader(next, std::span<uint8_t, kHeaderCopySize>(bytes.data(), kHeaderCopySize));
    const int target = 1 - headerCopy_;
    Status s = data_.WriteAt(static_cast<uint64_t>(target) * kHeaderCopySize, bytes);
    if (s.ok()) s = data_.Sync();
    if (!s.ok()) return s;
    header_.generation = next.generation;
    headerCopy_ = target;
    return Status::Ok();
}

Status OpenDataFile::CommitIndex() {
    const IndexMeta meta{header_.fileId, slotCount_, deletedCount_, keyCount_, nextNumber_};
    const uint64_t keys = PendingCount();
    if (keys == 0) return index_.writing() ? index_.Commit(meta) : Status::Ok();

    TreeShape shape;
    Status s = index_.Shape(&shape);
    if (!s.ok()) return s;
    // In place when few (the transaction stays within its budget, and a new tree would copy
    // many more keys than it adds); otherwise a new tree, written in key order.
    const bool inPlace = InPlaceFits(shape, keys) &&
                         (keys < kMinRebuildKeys || keys * kRebuildShare < shape.entries);

    // The batch and every run, merged: their keys in ascending order.
    pending_->Sort(&counters_);
    std::vector<std::unique_ptr<SortedSource>> sources;
    const size_t perRun = tuning_.runBufferBytes / (runs_->runCount() + 1);
    for (size_t i = 0; i < runs_->runCount(); ++i) {
        std::unique_ptr<SortedSource> reader;
        s = runs_->Reader(i, perRun, &reader);
        if (!s.ok()) return s;
        sources.push_back(std::move(reader));
    }
    sources.push_back(std::make_unique<BatchSource>(*pending_));
    MergedSource merged(std::move(sources), header_.keySize);
    s = merged.Start();
    if (!s.ok()) return s;

    uint64_t entries = 0;
    if (inPlace) {
        s = EnsureWriteTxn();
        if (s.ok()) s = index_.InsertInPlace(merged, header_.keySize, &entries);
        if (s.ok()) s = index_.Commit(meta);
    } else {
        if (index_.writing()) {
            // What the write transaction holds (deletions, keys put in place) commits first,
            // with the counts it makes: the slots whose keys are in the index.
            const IndexMeta applied{header_.fileId, recordSize() == 0 ? 0 : appliedNext_,
                                    deletedCount_, keyCount_ - keys, appliedNext_};
            s = index_.Commit(applied);
        }
        if (s.ok()) {
            s = index_.Rebuild(merged, header_.keySize, meta, tuning_.commitBytes, &entries);
        }
        ++counters_.treeRebuilds;
    }
    if (!s.ok()) return s;
    ++counters_.merges;
    counters_.entriesWritten += entries;
    pending_->Clear(&counters_);
    runs_->Clear();
    filter_.Release();
    appliedNext_ = nextNumber_;
    txnBytes_ = 0;
    return Status::Ok();
}

Status OpenDataFile::Commit() {
    if (!locked_ || !dirty_) return Status::Ok();
    NoteChange();
    // 1. Records first: nothing may count a slot that is not on disk.
    Status s = FlushSlots();
    if (s.ok()) s = data_.Sync();
    if (!s.ok()) return RollBack(s);
    // 2. The index: the new keys merged in, with the counts.
    if (keyed()) {
        s = CommitIndex();
        if (!s.ok()) return RollBack(s);
        committedSlots_ = slotCount_;
        // 3. Deleted marks of committed slots, now that their keys are gone for good.
        if (!pendingMarks_.empty()) {
            const IndexMeta meta{header_.fileId, slotCount_, deletedCount_, keyCount_, nextNumber_};
            const uint8_t mark = kDeletedMark;
            const auto offset = static_cast<uint64_t>(DeletedMarkOffset(header_.type));
            for (uint64_t n : pendingMarks_) {
                if (s.ok()) s = data_.WriteAt(SlotOffset(n, recordSize()) + offset, {&mark, 1});
            }
            if (s.ok()) s = data_.Sync();
            if (s.ok()) s = index_.BeginWrite();
            if (s.ok()) s = index_.ClearMarks();
            if (s.ok()) s = index_.Commit(meta);
            // On failure the marks stay in the index and the overlay: the next writer redoes them.
            if (!s.ok()) return s;
            pendingMarks_.clear();
            markOverlay_.clear();
        }
    }
    // 4. The header: the commit point of types 1 and 2, a report for keyed files.
    header_.slotCount = slotCount_;
    header_.deletedCount = deletedCount_;
    header_.keyCount = keyCount_;
    header_.modified = header_.accessed = Now();
    s = WriteHeader();
    if (!s.ok()) return keyed() ? s : RollBack(s);
    committedSlots_ = slotCount_;
    txnBytes_ = 0;
    dirty_ = false;
    ++counters_.commits;
    MapCommitted();
    return Status::Ok();
}

Status OpenDataFile::RollBack(Status cause) {
    NoteChange();
    index_.Abort();
    DropPending();
    Status reload = LoadCommittedState();
    if (reload.ok()) (void)data_.Truncate(SlotOffset(committedSlots_, recordSize()));
    std::string text = cause.message() + "; the changes since the last commit were discarded";
    if (!reload.ok()) text += " (" + reload.message() + ")";
    return Status(cause.code(), text);
}

Status OpenDataFile::Abandon() noexcept {
    index_.Abort();
    if (locked_) {
        // Nothing of the operation cut short may reach a commit.
        abandoned_ = true;
        dirty_ = false;
        (void)Recover();
    }
    try {
        std::string text = "an operation on " + dataPath_ + " could not get the memory it needed";
        if (locked_) text += "; the changes since the last commit were discarded";
        return Status::Failure(Error::kOutOfMemory, text);
    } catch (...) {
        return Status(Error::kOutOfMemory, {});
    }
}

Status OpenDataFile::Recover() noexcept {
    if (!abandoned_) return Status::Ok();
    try {
        index_.Abort();
        DropPending();
        Status s = LoadCommittedState();
        if (s.ok()) s = data_.Truncate(SlotOffset(committedSlots_, recordSize()));
        if (s.ok()) abandoned_ = false;
        return s;
    } catch (...) {
        dirty_ = false;
        return Status(Error::kOutOfMemory, {});
    }
}

Status OpenDataFile::Flush() {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    return Commit();
}

Status OpenDataFile::Finish() {
    if (closed_) return Status::Failure(Error::kNotOpen, dataPath_);
    NoteChange();  // no reader reads ahead past here
    Status s = Commit();
    index_.Close();
    Unmap();
    if (runs_) runs_->Clear();
    filter_.Release();
    column_.Close();
    data_.Close();  // releases the writer lock with the descriptor
    locked_ = false;
    closed_ = true;
    pending_.reset();
    runs_.reset();
    slotBuffer_ = {};
    return s;
}

}  // namespace talvo::engine
