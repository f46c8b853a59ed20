// The engine's DataFile: one open data file with its index, shared by every opener of the same
// file in the process (see engine.cpp for the open-file table).
//
// Writing: the first change takes the file's writer lock (a second process gets kLocked), cuts
// off uncommitted slots a crash may have left, and begins the index's write transaction. New
// slots are buffered, new keys gathered in a PendingKeys batch; Commit makes everything durable
// in the order data, index, header. Until the first change the file is read from the snapshot
// taken when it was opened.
#pragma once

#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/engine/file_header.h"
#include "talvo/engine/host_file.h"
#include "talvo/engine/key_index.h"
#include "talvo/engine/pending_keys.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {

class OpenDataFile final : public DataFile {
  public:
    // Opens the data file at dataPath (canonical host path) and, for keyed files, its index.
    // kNotDataFile, kDamaged, kVersionMismatch, kIoError as the file deserves.
    static Status Open(const std::string& dataPath, std::unique_ptr<OpenDataFile>* file);
    ~OpenDataFile() override;

    FileInfo Info() const override;
    Status ReadRecord(uint64_t recordNumber, std::vector<uint8_t>* record) override;
    Status AppendRecord(std::span<const uint8_t> record, uint64_t* recordNumber) override;
    Status Get(std::span<const uint8_t> key, std::vector<uint8_t>* record,
               uint64_t* recordNumber) override;
    Status Put(std::span<const uint8_t> key, std::span<const uint8_t> record,
               uint64_t* recordNumber) override;
    Status DeleteKey(std::span<const uint8_t> key) override;
    Status DeleteRecord(uint64_t recordNumber) override;
    Status SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                   uint64_t* recordNumber) override;
    Status GetSubKey(int index, SubKeyDef* def) override;
    Status AddSubKey(const SubKeyDef& def, int* index) override;
    Status Flush() override;
    int NativeHandle() const override { return data_.fd(); }

    // Commits and releases everything; afterwards every operation gives kNotOpen.
    Status Finish();

    // Host paths of every part of the file whose data file is dataPath.
    static std::vector<std::string> PartPaths(const std::string& dataPath);

  private:
    OpenDataFile() = default;

    bool keyed() const { return IsKeyedType(header_.type); }
    uint32_t recordSize() const { return header_.recordSize; }

    Status CheckOpen() const;
    Status CheckKeyed() const;
    // Copies key into keyBuffer_, zero-padded to the key size; kKeyTooLong when longer unless
    // `cut`, in which case only its first key-size bytes count.
    Status PadKey(std::span<const uint8_t> key, bool cut);
    Status CheckDeletable() const;

    Status BeginWriting();
    Status EnsureWriteTxn();
    Status ApplyPending();
    Status AppendSlot(const uint8_t* bytes);
    Status FlushSlots();
    Status ReadSlot(uint64_t recordNumber, std::vector<uint8_t>* record);
    Status MarkDeleted(uint64_t recordNumber);
    Status RemoveKey(uint64_t recordNumber);
    Status Commit();
    Status WriteHeader();
    Status MaybeCommit();
    // Drops every uncommitted change and returns to the last commit; gives `cause` back, with
    // a note that the uncommitted changes were lost.
    Status RollBack(Status cause);
    Status LoadCommittedState();
    // Maps the committed slots for reading (reads of other slots use the buffer or pread).
    void MapCommitted();
    void Unmap();
    static void Prefetch(void* self, uint64_t recordNumber);

    HostFile data_;
    bool writable_ = false;
    bool locked_ = false;
    bool closed_ = false;
    bool dirty_ = false;
    std::string dataPath_;
    std::string indexPath_;
    FileHeader header_;
    int headerCopy_ = 0;
    Tuning tuning_;

    KeyIndex index_;
    std::unique_ptr<PendingKeys> pending_;
    uint64_t slotCount_ = 0;  // slots including uncommitted ones
    uint64_t deletedCount_ = 0;
    uint64_t keyCount_ = 0;
    uint64_t nextNumber_ = 0;
    uint64_t committedSlots_ = 0;  // slots covered by the last commit
    uint64_t flushedSlots_ = 0;    // slots written to the data file (the rest are in slotBuffer_)
    uint64_t uncommittedBytes_ = 0;
    std::vector<uint8_t> slotBuffer_;
    std::vector<uint64_t> pendingMarks_;  // committed slots deleted since the last commit
    std::set<uint64_t> markOverlay_;      // slots to read as deleted whatever the data file says
    const uint8_t* map_ = nullptr;  // [0, SlotOffset(mappedSlots_)) of the data file, read-only
    size_t mapBytes_ = 0;
    uint64_t mappedSlots_ = 0;
    std::vector<uint8_t> keyBuffer_;
    std::vector<uint8_t> recordBuffer_;
};

}  // namespace talvo::engine
