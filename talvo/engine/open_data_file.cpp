#include "talvo/engine/open_data_file.h"

#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "talvo/engine/engine_error.h"

namespace talvo::engine {
namespace {

constexpr uint8_t kSpace = 0x20;

int64_t Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace

Tuning& CurrentTuning() {
    static Tuning tuning;
    return tuning;
}

std::vector<std::string> OpenDataFile::PartPaths(const std::string& dataPath) {
    std::vector<std::string> parts{dataPath};
    for (std::string& p : KeyIndex::PartPaths(dataPath + ".idx")) parts.push_back(std::move(p));
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

void OpenDataFile::Prefetch(void* self, uint64_t recordNumber) {
    const auto* file = static_cast<const OpenDataFile*>(self);
    if (recordNumber >= file->mappedSlots_) return;
    const uint8_t* at = file->map_ + SlotOffset(recordNumber, file->recordSize());
    __builtin_prefetch(at);
    __builtin_prefetch(at + file->recordSize() - 1);
}

Status OpenDataFile::Open(const std::string& dataPath, std::unique_ptr<OpenDataFile>* out) {
    std::unique_ptr<OpenDataFile> file(new OpenDataFile());
    file->dataPath_ = dataPath;
    file->tuning_ = CurrentTuning();
    Status s = HostFile::OpenExisting(dataPath, &file->data_, &file->writable_);
    if (!s.ok()) return s;
    struct stat st {};
    if (::fstat(file->data_.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return MakeError(Error::kNotDataFile, dataPath + " is not a regular file");
    }
    // While this mark is held, no other process erases the file.
    s = file->data_.HoldOpenMark();
    if (!s.ok()) return s;
    s = file->LoadCommittedState();
    if (!s.ok()) return s;
    if (file->keyed()) file->index_.SetPrefetch(&OpenDataFile::Prefetch, file.get());
    *out = std::move(file);
    return Status::Ok();
}

// Reads the header and the index's counts afresh and checks that they agree with each other and
// with the data file's length. Leaves no uncommitted state behind.
Status OpenDataFile::LoadCommittedState() {
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
        s = index_.isOpen() ? index_.ReadMeta(&meta) : index_.Open(indexPath_, writable_, &meta);
        if (!s.ok()) return s;
        if (meta.fileId != header.fileId) {
            return MakeError(Error::kDamaged, indexPath_ + " is the index of another data file");
        }
        slots = meta.slotCount;
        deleted = meta.deletedCount;
        keys = meta.keyCount;
        next = meta.nextNumber;
        const bool countsAgree =
            header.recordSize == 0 ? (slots == 0 && deleted == 0 && keys <= next)
                                   : (deleted <= slots && keys == slots - deleted && next == slots);
        if (!countsAgree) {
            return MakeError(Error::kDamaged, "the counts of " + indexPath_ +
                                                  " and the records of " + dataPath_ + " disagree");
        }
        std::vector<uint64_t> marks;
        s = index_.LoadMarks(&marks);
        if (!s.ok()) return s;
        for (uint64_t m : marks) {
            if (m >= slots)
                return MakeError(Error::kDamaged, indexPath_ + " marks a slot past the last");
            markOverlay_.insert(m);
        }
        if (!pending_) pending_ = std::make_unique<PendingKeys>(header.keySize);
    } else {
        keys = 0;
        next = slots;
    }
    // Compared by division: a damaged count times the record size may overflow.
    const uint64_t room = length < kDataStart ? 0 : length - kDataStart;
    if (header.recordSize != 0 && slots > room / header.recordSize) {
        return MakeError(Error::kDamaged, dataPath_ + " is cut short: " + std::to_string(length) +
                                              " bytes where the index or header counts " +
                                              std::to_string(slots) + " records of " +
                                              std::to_string(header.recordSize) + " bytes");
    }
    header_ = std::move(header);
    headerCopy_ = copy;
    slotCount_ = committedSlots_ = flushedSlots_ = slots;
    deletedCount_ = deleted;
    keyCount_ = keys;
    nextNumber_ = next;
    uncommittedBytes_ = 0;
    dirty_ = false;
    slotBuffer_.clear();
    pendingMarks_.clear();
    if (pending_) pending_->Clear();
    if (keyBuffer_.size() != header_.keySize) keyBuffer_.assign(header_.keySize, 0);
    MapCommitted();
    return Status::Ok();
}

Status OpenDataFile::CheckOpen() const {
    if (closed_) return MakeError(Error::kNotOpen, dataPath_);
    return Status::Ok();
}

Status OpenDataFile::CheckKeyed() const {
    Status s = CheckOpen();
    if (s.ok() && !keyed()) {
        s = MakeError(Error::kWrongFileType, dataPath_ + " is a file of type " +
                                                 std::to_string(static_cast<int>(header_.type)) +
                                                 ", without keys");
    }
    return s;
}

Status OpenDataFile::PadKey(std::span<const uint8_t> key, bool cut) {
    const size_t keySize = header_.keySize;
    if (key.size() > keySize && !cut) {
        return MakeError(Error::kKeyTooLong, "a key of " + std::to_string(key.size()) +
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
        return MakeError(Error::kWrongFileType, "records of a type " +
                                                    std::to_string(static_cast<int>(header_.type)) +
                                                    " file cannot be marked deleted");
    }
    if (recordSize() != 0 && recordSize() <= static_cast<uint32_t>(mark)) {
        return MakeError(Error::kNotSupported,
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
    } else if (recordNumber >= flushedSlots_) {
        const size_t at = static_cast<size_t>(recordNumber - flushedSlots_) * size;
        std::memcpy(record->data(), slotBuffer_.data() + at, size);
    } else {
        Status s = data_.ReadAt(SlotOffset(recordNumber, size), *record);
        if (!s.ok()) return s;
    }
    if (!markOverlay_.empty() && markOverlay_.count(recordNumber) != 0) {
        (*record)[static_cast<size_t>(DeletedMarkOffset(header_.type))] = kDeletedMark;
    }
    return Status::Ok();
}

Status OpenDataFile::ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (recordNumber >= slotCount_ || recordSize() == 0) {
        return MakeError(Error::kNotFound, "record " + std::to_string(recordNumber) + " of " +
                                               dataPath_ + " (the file has " +
                                               std::to_string(slotCount_) +
                                               (slotCount_ == 1 ? " record)" : " records)"));
    }
    return ReadSlot(recordNumber, record);
}

Status OpenDataFile::Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
                         uint64_t* recordNumber) {
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (!s.ok()) return s;
    uint64_t number = 0;
    bool found = index_.CursorOn(keyBuffer_, &number) || pending_->Find(keyBuffer_.data(), &number);
    if (!found) {
        s = index_.Find(keyBuffer_, &found, &number);
        if (!s.ok()) return s;
        if (!found) return MakeError(Error::kNotFound, "key " + HexBytes(keyBuffer_));
    }
    if (recordSize() == 0) {
        record->clear();
    } else {
        if (number >= slotCount_) {
            return MakeError(Error::kDamaged, indexPath_ + " refers to record " +
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
    if (s.ok() && !pending_->empty()) s = ApplyPending();
    if (!s.ok()) return s;
    return index_.Seek(keyBuffer_, strictlyAfter, found, recordNumber);
}

Status OpenDataFile::GetSubKey(int index, SubKeyDef* def) {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (index < 1 || index > kMaxSubKeys) {
        return MakeError(Error::kInvalidArgument, "subordinate key index " + std::to_string(index) +
                                                      " (1 to " + std::to_string(kMaxSubKeys) +
                                                      ")");
    }
    if (static_cast<size_t>(index) > header_.subKeys.size()) {
        return MakeError(Error::kNotFound, "subordinate key " + std::to_string(index));
    }
    *def = header_.subKeys[static_cast<size_t>(index) - 1];
    return Status::Ok();
}

// --- Writing ---------------------------------------------------------------------------------

Status OpenDataFile::BeginWriting() {
    if (locked_) return Status::Ok();
    if (!writable_) return MakeError(Error::kIoError, dataPath_ + " can only be read");
    Status s = data_.TryLockExclusive();
    if (!s.ok()) return s;
    // Another process may have written since this file was opened; start from its last commit.
    s = LoadCommittedState();
    if (s.ok()) s = data_.Truncate(SlotOffset(committedSlots_, recordSize()));
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
        ::flock(data_.fd(), LOCK_UN);
        return s;
    }
    locked_ = true;
    return Status::Ok();
}

Status OpenDataFile::EnsureWriteTxn() {
    Status s = BeginWriting();
    if (s.ok() && keyed() && !index_.writing()) s = index_.BeginWrite();
    return s;
}

Status OpenDataFile::ApplyPending() {
    if (pending_->empty()) return Status::Ok();
    Status s = EnsureWriteTxn();
    if (!s.ok()) return s;
    const std::vector<IndexEntry> entries = pending_->Sorted();
    s = index_.InsertSorted(entries, header_.keySize);
    if (!s.ok()) return RollBack(s);
    pending_->Clear();
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
    if (keyed() && pending_->bytes() > tuning_.pendingKeyBytes) {
        Status s = ApplyPending();
        if (!s.ok()) return s;
    }
    if (uncommittedBytes_ > tuning_.commitBytes) return Commit();
    return Status::Ok();
}

Status OpenDataFile::AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    if (keyed()) {
        return MakeError(Error::kWrongFileType,
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
    uncommittedBytes_ += recordSize();
    if (recordNumber != nullptr) *recordNumber = number;
    return MaybeCommit();
}

Status OpenDataFile::Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
                         uint64_t* recordNumber) {
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (!s.ok()) return s;
    const uint32_t size = recordSize();
    if (size != 0) {
        recordBuffer_.assign(size, kSpace);
        std::memcpy(recordBuffer_.data(), record.data(), std::min<size_t>(record.size(), size));
        if (header_.type == FileType::kExtendedKeyed &&
            std::memcmp(recordBuffer_.data() + header_.keyPosition, keyBuffer_.data(),
                        header_.keySize) != 0) {
            // The key stands in the record: a record that says otherwise would be stored
            // under a key its own bytes deny.
            const std::span<const uint8_t> inRecord(recordBuffer_.data() + header_.keyPosition,
                                                    header_.keySize);
            return MakeError(Error::kInvalidArgument, "the record holds " + HexBytes(inRecord) +
                                                          " at the key position " +
                                                          std::to_string(header_.keyPosition) +
                                                          ", not its key " + HexBytes(keyBuffer_));
        }
        const int mark = DeletedMarkOffset(header_.type);
        if (size > static_cast<uint32_t>(mark) &&
            recordBuffer_[static_cast<size_t>(mark)] == kDeletedMark) {
            return MakeError(Error::kInvalidArgument,
                             "the record holds 0xFE at byte " + std::to_string(mark) +
                                 " and would read as deleted (key " + HexBytes(keyBuffer_) + ")");
        }
    }
    s = EnsureWriteTxn();
    if (!s.ok()) return s;
    uint64_t existing = 0;
    bool found = pending_->Find(keyBuffer_.data(), &existing);
    if (!found) {
        s = index_.Find(keyBuffer_, &found, &existing);
        if (!s.ok()) return s;
    }
    if (found) {
        return MakeError(Error::kDuplicateKey, "the key " + HexBytes(keyBuffer_) +
                                                   " is already in " + dataPath_ + " (record " +
                                                   std::to_string(existing) + ")");
    }
    const uint64_t number = size != 0 ? slotCount_ : nextNumber_;
    if (size != 0) {
        s = AppendSlot(recordBuffer_.data());
        if (!s.ok()) return s;
    }
    pending_->Add(keyBuffer_.data(), number);
    nextNumber_ = number + 1;
    ++keyCount_;
    dirty_ = true;
    // Roughly what the record and its index entry cost until the next commit.
    uncommittedBytes_ += size + 2 * (header_.keySize + 16);
    if (recordNumber != nullptr) *recordNumber = number;
    return MaybeCommit();
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
    uncommittedBytes_ += 2 * (header_.keySize + 16);
    return MaybeCommit();
}

Status OpenDataFile::DeleteKey(std::span<const uint8_t> key) {
    Status s = CheckKeyed();
    if (s.ok()) s = PadKey(key, false);
    if (s.ok()) s = CheckDeletable();
    if (s.ok()) s = EnsureWriteTxn();
    if (s.ok()) s = ApplyPending();
    if (!s.ok()) return s;
    bool found = false;
    uint64_t number = 0;
    s = index_.Find(keyBuffer_, &found, &number);
    if (!s.ok()) return s;
    if (!found) return MakeError(Error::kNotFound, "key " + HexBytes(keyBuffer_));
    if (recordSize() != 0 && number >= slotCount_) {
        return MakeError(Error::kDamaged, indexPath_ + " refers to record " +
                                              std::to_string(number) + " past the last");
    }
    return RemoveKey(number);
}

Status OpenDataFile::DeleteRecord(uint64_t recordNumber) {
    Status s = CheckOpen();
    if (s.ok()) s = CheckDeletable();
    if (!s.ok()) return s;
    if (recordNumber >= slotCount_ || recordSize() == 0) {
        return MakeError(Error::kNotFound,
                         "record " + std::to_string(recordNumber) + " of " + dataPath_);
    }
    s = ReadSlot(recordNumber, &recordBuffer_);
    if (!s.ok()) return s;
    if (recordBuffer_[static_cast<size_t>(DeletedMarkOffset(header_.type))] == kDeletedMark) {
        return MakeError(Error::kDeletedRecord,
                         "record " + std::to_string(recordNumber) + " of " + dataPath_);
    }
    s = EnsureWriteTxn();
    if (s.ok()) s = ApplyPending();
    if (!s.ok()) return s;
    bool found = false;
    uint64_t mapped = 0;
    if (header_.type == FileType::kExtendedKeyed) {
        // The key stands in the record.
        std::memcpy(keyBuffer_.data(), recordBuffer_.data() + header_.keyPosition, header_.keySize);
        s = index_.Find(keyBuffer_, &found, &mapped);
        if (!s.ok()) return s;
        found = found && mapped == recordNumber;
    }
    if (!found) {
        // Type 4 records do not carry their key: find it by its record number.
        std::string key;
        s = index_.FindKeyOf(recordNumber, &key, &found);
        if (!s.ok()) return s;
        if (found) std::memcpy(keyBuffer_.data(), key.data(), header_.keySize);
    }
    if (!found) {
        return MakeError(Error::kDamaged, "record " + std::to_string(recordNumber) + " of " +
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
        return MakeError(Error::kInvalidArgument, "all " + std::to_string(kMaxSubKeys) +
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

Status OpenDataFile::Commit() {
    if (!locked_ || !dirty_) return Status::Ok();
    // 1. Records first: nothing may count a slot that is not on disk.
    Status s = FlushSlots();
    if (s.ok()) s = data_.Sync();
    if (!s.ok()) return RollBack(s);
    // 2. The index, with the counts, in one transaction.
    if (keyed()) {
        s = ApplyPending();
        if (!s.ok()) return s;
        IndexMeta meta{header_.fileId, slotCount_, deletedCount_, keyCount_, nextNumber_};
        if (index_.writing()) {
            s = index_.Commit(meta);
            if (!s.ok()) return RollBack(s);
        }
        committedSlots_ = slotCount_;
        // 3. Deleted marks of committed slots, now that their keys are gone for good.
        if (!pendingMarks_.empty()) {
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
    uncommittedBytes_ = 0;
    dirty_ = false;
    MapCommitted();
    return Status::Ok();
}

Status OpenDataFile::RollBack(Status cause) {
    index_.Abort();
    if (pending_) pending_->Clear();
    Status reload = LoadCommittedState();
    if (reload.ok()) (void)data_.Truncate(SlotOffset(committedSlots_, recordSize()));
    std::string text = cause.message() + "; the changes since the last commit were discarded";
    if (!reload.ok()) text += " (" + reload.message() + ")";
    return Status(cause.code(), text);
}

Status OpenDataFile::Flush() {
    Status s = CheckOpen();
    if (!s.ok()) return s;
    return Commit();
}

Status OpenDataFile::Finish() {
    if (closed_) return MakeError(Error::kNotOpen, dataPath_);
    Status s = Commit();
    index_.Close();
    Unmap();
    data_.Close();  // releases the writer lock with the descriptor
    locked_ = false;
    closed_ = true;
    pending_.reset();
    slotBuffer_ = {};
    return s;
}

}  // namespace talvo::engine
