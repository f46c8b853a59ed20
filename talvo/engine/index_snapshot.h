// A read-only view of a key index's current key tree in an LMDB read transaction of its own, for
// a reader of keys in order on another thread (key_reader.h). The environment runs with
// MDB_NOTLS, so the transaction may be used on any thread, one at a time; it sees the snapshot
// the index's own read transaction saw when the view was opened (KeyIndex::OpenSnapshot), and
// keeps it until the view goes, whatever commits meanwhile.
//
// Index pages read through LMDB's map count against the mapped budget as the index's own reads
// do, and the map's pages are let go when it is spent.
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace talvo::engine {

class IndexSnapshot {
  public:
    ~IndexSnapshot();
    IndexSnapshot(const IndexSnapshot&) = delete;
    IndexSnapshot& operator=(const IndexSnapshot&) = delete;

    // Appends to *keys (keySize bytes each; none when keys is null) and *numbers up to `most`
    // entries in key order: from the first key not below `from`, or strictly above it; *last
    // (when given) receives the last key read. Fewer come back at the end of the keys, and before
    // anything the view does not hand out as read (a key of another size, a value that is not a
    // record number, an error of LMDB's): *complete is then false, and the caller reads on as the
    // index itself would, to meet the end or the error there.
    void Read(std::span<const uint8_t> from, bool strictlyAfter, size_t most,
              std::vector<uint8_t>* keys, std::vector<uint64_t>* numbers, bool* complete,
              std::string* last = nullptr);

    // Releases of the map's pages made by this view.
    uint64_t releases() const { return releases_; }

  private:
    friend class KeyIndex;
    IndexSnapshot() = default;

    void NoteRead(uint64_t bytes, const void* value);

    MDB_env* env_ = nullptr;
    MDB_txn* txn_ = nullptr;
    MDB_cursor* cursor_ = nullptr;
    MDB_dbi keys_ = 0;
    size_t keySize_ = 0;
    size_t mappedBudget_ = 0;
    uint64_t readBytes_ = 0;
    uint64_t releases_ = 0;
};

}  // namespace talvo::engine
