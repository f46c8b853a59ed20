// The key index of a keyed file: an LMDB environment in one file beside the data file. Holds
// key -> record number in one of two key trees (the meta entry "tree" names the current one),
// the counts that must change with the keys, and the deleted marks that are committed but maybe
// not yet written to the data file. Layout and invariants in key_index.cpp.
//
// One transaction at a time: a read transaction (begun on demand) or, once the owner starts
// writing, a write transaction that lasts until Commit or Abort. A rebuild of the key tree runs
// its own transactions and needs no write transaction open. Every key passed in has exactly the
// file's key size.
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/engine/sorted_source.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {

struct IndexMeta {
    uint64_t fileId = 0;
    uint64_t slotCount = 0;     // committed record slots in the data file
    uint64_t deletedCount = 0;  // slots carrying the deleted mark
    uint64_t keyCount = 0;
    uint64_t nextNumber = 0;  // the record number the next key gets (key-only files count on)
};

// The shape of the current key tree, as a transaction sees it.
struct TreeShape {
    uint64_t entries = 0;
    uint64_t leafPages = 0;
    uint64_t branchPages = 0;
    uint32_t depth = 0;
    uint32_t pageSize = 4096;
};

class IndexSnapshot;

class KeyIndex {
  public:
    KeyIndex() = default;
    ~KeyIndex();
    KeyIndex(const KeyIndex&) = delete;
    KeyIndex& operator=(const KeyIndex&) = delete;

    // Makes a new index file at path holding no keys and `meta`, durably. kFileExists if the
    // path exists.
    static Status Create(const std::string& path, const IndexMeta& meta);
    // Host paths of the parts of the index whose file is `path`.
    static std::vector<std::string> PartPaths(const std::string& path);

    // Opens an existing index; *meta receives its committed counts. kDamaged when it is missing
    // or unreadable; the system's reason (kIoError and the like) when this user may not read it.
    // Opened for writing when `writable` and the index and its lock file can be written, else
    // for reading only (readOnly(), with readOnlyReason() when writing was asked for).
    // Without the lock file (`noLockFile`, or where it cannot be made or written) no reader is
    // registered: lockless() tells the caller, who must keep writers away while it reads.
    Status Open(const std::string& path, bool writable, IndexMeta* meta, bool noLockFile = false);
    void Close();
    bool isOpen() const { return env_ != nullptr; }
    bool readOnly() const { return readOnly_; }
    bool lockless() const { return lockless_; }
    const std::string& readOnlyReason() const { return readOnlyReason_; }

    // The index pages one write transaction may change (the index-txn budget): each write
    // transaction begins with at least twice that much room in the map beyond the data.
    void SetWriteBudget(size_t bytes);

    // --- Transactions ---
    bool writing() const { return txn_ != nullptr && writing_; }
    // Ends any read transaction and begins the write transaction.
    Status BeginWrite();
    // Stores meta, commits and syncs the index file. On failure the transaction is gone
    // (every change since BeginWrite is lost, on disk as for every reader) and the caller must
    // reload its state.
    Status Commit(const IndexMeta& meta);
    void Abort();
    // Ends a read transaction, so that the next read sees the newest commit.
    void EndRead();
    // The committed meta (re-read in a fresh read transaction when not writing).
    Status ReadMeta(IndexMeta* meta);
    // The current key tree's shape in the current transaction (a read one is begun if none).
    Status Shape(TreeShape* shape);

    // --- Keys (in the current transaction; a read one is begun when there is none) ---
    // *found tells whether the key is present; *recordNumber receives its number.
    Status Find(std::span<const uint8_t> key, bool* found, uint64_t* recordNumber);
    // Write transaction only: puts the keys of `keys` (ascending, none already present:
    // kDamaged otherwise) into the current tree; keys above its last key are appended.
    // *entries counts the keys put.
    Status InsertInPlace(SortedSource& keys, size_t keySize, uint64_t* entries);
    // The same for entries held by the caller.
    Status InsertSorted(std::span<const IndexEntry> entries, size_t keySize);
    // Writes a new key tree holding the current tree's keys and those of `keys` (ascending,
    // none already present: kDamaged otherwise), in key order, appending, in transactions that
    // change at most `txnBytes` of pages each; then one small transaction makes it the current
    // tree, stores `meta`, empties the old tree and syncs. Until that last commit every reader
    // sees the previous state, and a failure or a crash leaves it so (the next rebuild empties
    // the unfinished tree). REQUIRES: no write transaction open. *entries counts the entries
    // written.
    Status Rebuild(SortedSource& keys, size_t keySize, const IndexMeta& meta, size_t txnBytes,
                   uint64_t* entries);
    // Empties the tree that is not the current one, which holds keys only when a rebuild was cut
    // short. Begins the write transaction for it, and leaves it open only when it emptied the
    // tree (*dropped).
    Status DropUnfinishedTree(bool* dropped);
    // Write transaction only. kNotFound when absent.
    Status Erase(std::span<const uint8_t> key);
    // The first key not below `key` (strictly above when strictlyAfter). kEndOfKeys if none.
    Status Seek(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                uint64_t* recordNumber);
    // Whether the cursor stands on `key`, and then its record number: answers a read of the
    // key just delivered by Seek without a search.
    bool CursorOn(std::span<const uint8_t> key, uint64_t* recordNumber);
    // Calls fn(key, recordNumber) for every key in order until it returns false.
    Status Walk(const std::function<bool(std::span<const uint8_t>, uint64_t)>& fn);
    // A view of the key tree in a read transaction of its own, on the snapshot that the current
    // read transaction sees, for a reader on another thread (index_snapshot.h). kLocked when
    // there is none to be had now: the index is being written here, or the view would see
    // another snapshot (a commit came between).
    Status OpenSnapshot(size_t keySize, std::unique_ptr<IndexSnapshot>* snapshot);

    // --- Deleted marks awaiting the data file ---
    Status AddMark(uint64_t recordNumber);  // write transaction only
    Status LoadMarks(std::vector<uint64_t>* recordNumbers);
    Status ClearMarks();  // write transaction only

    // While keys are read in order, the record numbers of the next few keys are handed to `fn`
    // ahead of time, so that their records can be fetched into the cache early.
    using PrefetchFn = void (*)(void* context, uint64_t recordNumber);
    void SetPrefetch(PrefetchFn fn, void* context) {
        prefetch_ = fn;
        prefetchContext_ = context;
    }
    // Lets go of the index pages read through the map once reads may have brought in about
    // `bytes` (they stay in the system's cache). 0: never.
    void SetMappedBudget(size_t bytes) { mappedBudget_ = bytes; }

    // The index file's size in bytes (0 if unknown).
    uint64_t FileBytes() const;

  private:
    friend class IndexSnapshot;

    // kDamaged unless the file holds every page its newest commit counts.
    Status CheckLength() const;
    // Whether the index file cannot grow by a page: the process's file size limit or the free
    // space of its file system is reached.
    bool NoRoomToGrow() const;
    // CheckIndexPages over the file, for the snapshot of transaction txnid.
    Status CheckPages(uint64_t txnid) const;
    Status EnsureTxn();
    void EndTxn();
    // mdb_txn_begin, mapping the file anew when another process made it grow past the map.
    Status BeginTxn(unsigned flags, MDB_txn** txn, const char* what);
    // Grows the map to `size` bytes (never shrinks it). REQUIRES: no transaction open.
    Status Remap(size_t size);
    // Before a write transaction: at least the room one transaction may take, beyond the data.
    Status EnsureRoom();
    // LMDB's result as a status; inline, as every key written asks (Failed makes the failure).
    Status Check(int rc, const char* what) const {
        return rc == MDB_SUCCESS ? Status() : Failed(rc, what);
    }
    Status Failed(int rc, const char* what) const;
    // Reads "tree" in the current transaction and opens that tree's database.
    Status SelectTree();
    Status OpenTree(int tree, bool create);
    Status CommitTxn(const char* what);
    void RecoverEnvironment();
    void SettleTrees(bool committed);
    void StartAhead(const MDB_val& key);
    void StepAhead();
    void DropAhead();
    // Counts pages that a read may have brought in and lets the map go when due.
    void NoteRead(uint64_t bytes);
    void NoteMapAddress(const void* value);
    void ReleaseMappedPages();
    MDB_dbi keys() const { return trees_[current_]; }

    MDB_env* env_ = nullptr;
    int lockFd_ = -1;  // ours on the lock file, held while env_ is open (see Open)
    MDB_txn* txn_ = nullptr;
    MDB_cursor* cursor_ = nullptr;
    MDB_cursor* ahead_ = nullptr;  // runs kAhead keys in front of cursor_ while reading in order
    bool aheadValid_ = false;
    PrefetchFn prefetch_ = nullptr;
    void* prefetchContext_ = nullptr;
    MDB_dbi trees_[2] = {0, 0};
    bool treeOpen_[2] = {false, false};
    bool treePending_[2] = {false, false};  // opened in the current transaction
    int current_ = 0;
    MDB_dbi meta_ = 0;
    bool writing_ = false;
    bool readOnly_ = false;
    bool lockless_ = false;
    std::string readOnlyReason_;
    size_t growth_ = size_t{8} << 20;  // SetWriteBudget
    size_t mappedBudget_ = 0;
    uint64_t readBytes_ = 0;      // what reads may have brought in since the last release
    uint8_t* mapBase_ = nullptr;  // where LMDB maps the file, once known
    uint32_t pageSize_ = 0;
    std::string path_;
};

}  // namespace talvo::engine
