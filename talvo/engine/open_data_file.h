// The engine's DataFile: one open data file with its index, shared by every opener of the same
// file in the process (see engine.cpp for the open-file table).
//
// Writing: the first change takes the file's writer lock (a second process gets kLocked), cuts
// off uncommitted slots a crash may have left, and empties a key tree a rebuild left unfinished.
// New slots are buffered and written out; new keys are gathered in a batch (PendingKeys) and,
// when it is full, sorted and spilled to disk as a run (SpilledRuns), with a filter (KeyFilter)
// over every spilled key. A Put looks for its key in the batch, in the runs (only when the
// filter lets it by) and in the index (only when the index holds keys), so a duplicate is
// refused at once. Commit makes everything durable in the order data, index, header; it merges
// the runs and the batch into the index in key order, either in place or by a rebuild of the
// key tree (KeyIndex::Rebuild). Until the first change the file is read from the snapshot taken
// when it was opened.
//
// Memory stays within the budgets of Tuning whatever the size of the file or of the write.
#pragma once

#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "talvo/byte_copy.h"
#include "talvo/engine.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/host_file.h"
#include "talvo/engine/key_column.h"
#include "talvo/engine/key_filter.h"
#include "talvo/engine/key_index.h"
#include "talvo/engine/pending_keys.h"
#include "talvo/engine/slot_read_ahead.h"
#include "talvo/engine/spilled_runs.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {

class BatchedKeyReader;

class OpenDataFile final : public DataFile, public std::enable_shared_from_this<OpenDataFile> {
  public:
    // Opens the data file at dataPath (canonical host path) and, for keyed files, its index:
    // for reading only where writing cannot be (see Engine::Open). kNotDataFile, kDamaged,
    // kVersionMismatch, kIoError, kLocked, kOutOfMemory as the file and the system deserve.
    static Status Open(const std::string& dataPath, std::unique_ptr<OpenDataFile>* file);
    ~OpenDataFile() override;

    // Reads by number that come in order this many times start the reading ahead of the slots.
    static constexpr uint64_t kInOrderRun = 64;
    // The most bytes of slots in each chunk read ahead (within the read-ahead budget). Each
    // chunk taken wakes the reading thread, which on a virtual machine costs the time of some
    // thousand records: chunks of 256 KiB spent 2 to 3 % of a build in record order on it.
    static constexpr size_t kSlotChunkBytes = size_t{2} << 20;

    FileInfo Info() const override;
    Status ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) override;
    const uint8_t* RecordAtHand(uint64_t recordNumber) override;
    Status AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) override;
    Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
               uint64_t* recordNumber) override;
    Status Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
               uint64_t* recordNumber) override;
    Status DeleteKey(std::span<const uint8_t> key) override;
    Status DeleteRecord(uint64_t recordNumber) override;
    Status SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                   uint64_t* recordNumber) override;
    Status NewKeyReader(std::unique_ptr<KeyReader>* reader) override;
    Status GetSubKey(int index, SubKeyDef* def) override;
    Status AddSubKey(const SubKeyDef& def, int* index) override;
    Status Flush() override;
    int NativeHandle() const override { return data_.fd(); }

    // Commits and releases everything; afterwards every operation gives kNotOpen.
    Status Finish();
    // After an operation was cut short by a failed allocation: a writer returns to the last
    // commit, dropping every uncommitted change; gives kOutOfMemory saying what was lost. When
    // the return itself finds no memory, the file stays abandoned: nothing commits, and
    // Recover must succeed before the next operation.
    Status Abandon() noexcept;
    bool abandoned() const { return abandoned_; }
    // Returns an abandoned file to its last commit (Ok when it was not abandoned).
    Status Recover() noexcept;

    // Host paths of every part of the file whose data file is dataPath.
    static std::vector<std::string> PartPaths(const std::string& dataPath);

  private:
    friend class BatchedKeyReader;

    OpenDataFile() = default;

    bool keyed() const { return IsKeyedType(header_.type); }
    uint32_t recordSize() const { return header_.recordSize; }

    // Inline, as every read and write asks: the failures are made apart.
    Status CheckOpen() const { return closed_ ? NotOpen() : Status(); }
    Status CheckKeyed() const { return closed_ || !keyed() ? NotKeyed() : Status(); }
    Status NotOpen() const;
    Status NotKeyed() const;
    // Copies key into keyBuffer_, zero-padded to the key size; kKeyTooLong when longer unless
    // `cut`, in which case only its first key-size bytes count.
    // Inline for a key of the key size, as nearly every key is (PadOtherKey pads or cuts).
    Status PadKey(std::span<const uint8_t> key, bool cut) {
        if (!key.empty() && key.size() == keyBuffer_.size()) {
            CopyFewBytes(keyBuffer_.data(), key.data(), key.size());
            return Status();
        }
        return PadOtherKey(key, cut);
    }
    Status PadOtherKey(std::span<const uint8_t> key, bool cut);
    Status CheckDeletable() const;

    // Opens the index of a keyed file (for writing when the file may be written), and settles
    // what writing its parts needs: *meta receives the committed counts.
    Status OpenIndex(IndexMeta* meta);
    // Takes the file for writing at its first write (StartWriting); inline, as every write asks.
    Status BeginWriting() { return locked_ ? Status() : StartWriting(); }
    Status StartWriting();
    Status EnsureWriteTxn();
    // Keys written but not yet in the index: in the batch and in the runs.
    uint64_t PendingCount() const { return pending_->size() + runs_->keyCount(); }
    // Whether the key in keyBuffer_ (hash = KeyHash of it) is in the batch, the runs or the
    // index; *recordNumber receives its number.
    Status FindKey(uint64_t hash, bool* found, uint64_t* recordNumber);
    // Makes room in the batch: sorts it and spills it as a run (growing the filter), or commits
    // when the filter cannot cover one more run within its budget.
    Status SpillBatch();
    Status GrowFilter(uint64_t keys);
    // Whether inserting `keys` new keys in place into a tree of this shape keeps the write
    // transaction within its budget.
    bool InPlaceFits(const TreeShape& shape, uint64_t keys) const;
    // Puts every pending key into the index, so that it can be searched and changed there:
    // in place into the write transaction when they are few, else by a commit.
    Status ApplyPending();
    // The commit of the index: the pending keys merged in, the counts stored.
    Status CommitIndex();
    Status AppendSlot(const uint8_t* bytes);
    Status FlushSlots();
    Status ReadSlot(uint64_t recordNumber, std::vector<uint8_t>* record);
    // Committed record `recordNumber` from the slots read ahead, when reads by number have come
    // in order long enough for a thread to read them ahead (started here); false when the
    // caller must read it itself.
    bool ReadInOrder(uint64_t recordNumber, std::vector<uint8_t>* record);
    void NoteMappedRead(size_t bytes);
    // Lays the deleted mark that the index holds for the slot over its record, as the data file
    // may not carry it yet.
    void OverlayDeletedMark(uint64_t recordNumber, std::vector<uint8_t>* record) const;
    // Whether OverlayDeletedMark would mark the record.
    bool MarkOverlaid(uint64_t recordNumber) const {
        return !markOverlay_.empty() && markOverlay_.count(recordNumber) != 0;
    }
    // Every change of the file (or of what its readers see) counts here; readers of keys in
    // order and the reading of slots ahead stop reading ahead. (Inline: every write calls it.)
    void NoteChange() {
        ++changes_;
        if (slotsAhead_ != nullptr || !readers_.empty()) StopReadingAhead();
    }
    void StopReadingAhead();
    // Whether a reader may read ahead on a thread: nothing of this process waits to commit, so
    // the index's read transaction and the committed slots are all there is to read.
    bool CanReadAhead() const;
    Status MarkDeleted(uint64_t recordNumber);
    Status RemoveKey(uint64_t recordNumber);
    // Type 4: the key of a live slot, into keyBuffer_, by the key column (confirmed by the index)
    // or, failing that, by a walk over the index that also fills the column in.
    Status FindKeyOfSlot(uint64_t recordNumber, bool* found);
    Status FillKeyColumn();
    Status Commit();
    Status WriteHeader();
    Status MaybeCommit();
    // Drops every uncommitted change and returns to the last commit; gives `cause` back, with
    // a note that the uncommitted changes were lost.
    Status RollBack(Status cause);
    void DropPending();
    Status LoadCommittedState();
    // Maps the committed slots for reading (reads of other slots use the buffer or pread).
    void MapCommitted();
    void Unmap();
    static void Prefetch(void* self, uint64_t recordNumber);

    HostFile data_;
    bool writable_ = false;
    std::string readOnlyReason_;         // why it is not writable_, for the refusal
    const char* networkName_ = nullptr;  // the network file system the file lies on
    bool locked_ = false;
    bool closed_ = false;
    bool dirty_ = false;
    bool abandoned_ = false;  // see Abandon
    std::string dataPath_;
    std::string indexPath_;
    FileHeader header_;
    int headerCopy_ = 0;
    Tuning tuning_;

    KeyIndex index_;
    std::unique_ptr<PendingKeys> pending_;
    std::unique_ptr<SpilledRuns> runs_;
    KeyFilter filter_;           // over the keys in runs_
    KeyColumn column_;           // type 4 with records, while writing
    bool columnFilled_ = false;  // the column was filled in by a walk in this session
    WorkCounters& counters_ = Counters();
    uint64_t slotCount_ = 0;  // slots including uncommitted ones
    uint64_t deletedCount_ = 0;
    uint64_t keyCount_ = 0;
    uint64_t nextNumber_ = 0;
    uint64_t committedSlots_ = 0;  // slots covered by the last commit
    uint64_t flushedSlots_ = 0;    // slots written to the data file (the rest are in slotBuffer_)
    uint64_t appliedNext_ = 0;     // the keys of numbers below it are in the index (or deleted)
    uint64_t txnBytes_ = 0;        // index pages the write transaction changed, estimated
    uint64_t mappedRead_ = 0;      // bytes read through map_ since its pages were let go
    std::vector<uint8_t> slotBuffer_;
    std::vector<uint64_t> pendingMarks_;  // committed slots deleted since the last commit
    std::set<uint64_t> markOverlay_;      // slots to read as deleted whatever the data file says
    const uint8_t* map_ = nullptr;  // [0, SlotOffset(mappedSlots_)) of the data file, read-only
    size_t mapBytes_ = 0;
    uint64_t mappedSlots_ = 0;
    std::vector<uint8_t> keyBuffer_;
    std::vector<uint8_t> recordBuffer_;
    // Reads by number in order: the number that continues them, how many came in order, and
    // the slots read ahead for them (dropped by every change, before the file closes).
    uint64_t inOrderNext_ = 0;
    uint64_t inOrderRun_ = 0;
    std::unique_ptr<SlotReadAhead> slotsAhead_;
    uint64_t changes_ = 0;                    // see NoteChange
    std::vector<BatchedKeyReader*> readers_;  // the readers of keys in order on this file
};

}  // namespace talvo::engine
