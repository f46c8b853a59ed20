#include "talvo/engine/index_snapshot.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "talvo/engine/cursor_seek.h"
#include "talvo/engine/engine_error.h"
#include "talvo/engine/key_index.h"

namespace talvo::engine {
namespace {

// What a step to the next key reads through the map on average (as KeyIndex counts it).
constexpr uint64_t kStepBytes = 64;

uint64_t GetU64(const uint8_t* at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(at[i]) << (8 * i);
    return v;
}

}  // namespace

Status KeyIndex::OpenSnapshot(size_t keySize, std::unique_ptr<IndexSnapshot>* snapshot) {
    if (writing_) return Status::Failure(Error::kLocked, path_ + " is being written here");
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    std::unique_ptr<IndexSnapshot> view(new IndexSnapshot());
    s = Check(mdb_txn_begin(env_, nullptr, MDB_RDONLY, &view->txn_), "begin read");
    if (!s.ok()) {
        view->txn_ = nullptr;
        return s;
    }
    // The same transaction id: the same snapshot, so the same key tree (the current transaction
    // has settled which one that is).
    if (mdb_txn_id(view->txn_) != mdb_txn_id(txn_)) {
        return Status::Failure(Error::kLocked, path_ + " changed since it was read here");
    }
    view->env_ = env_;
    view->keys_ = keys();
    view->keySize_ = keySize;
    view->mappedBudget_ = mappedBudget_;
    *snapshot = std::move(view);
    return Status::Ok();
}

IndexSnapshot::~IndexSnapshot() {
    if (cursor_ != nullptr) mdb_cursor_close(cursor_);
    if (txn_ != nullptr) mdb_txn_abort(txn_);
}

void IndexSnapshot::Read(std::span<const uint8_t> from, bool strictlyAfter, size_t most,
                         std::vector<uint8_t>* keys, std::vector<uint64_t>* numbers, bool* complete,
                         std::string* last) {
    *complete = false;
    if (most == 0) {
        *complete = true;
        return;
    }
    if (cursor_ == nullptr && mdb_cursor_open(txn_, keys_, &cursor_) != MDB_SUCCESS) {
        cursor_ = nullptr;
        return;
    }
    // Reading on from the last batch, the cursor stands on its last key.
    MDB_val k{};
    MDB_val v{};
    bool stepped = false;  // a search or a step: the same to a batch
    int rc = SeekCursor(cursor_, from, strictlyAfter, &k, &v, &stepped);
    for (size_t n = 0; n < most; ++n) {
        if (n != 0) rc = mdb_cursor_get(cursor_, &k, &v, MDB_NEXT);
        if (rc != MDB_SUCCESS || k.mv_size != keySize_ || v.mv_size != 8) return;
        const auto* key = static_cast<const uint8_t*>(k.mv_data);
        if (keys != nullptr) keys->insert(keys->end(), key, key + keySize_);
        if (last != nullptr) last->assign(reinterpret_cast<const char*>(key), keySize_);
        numbers->push_back(GetU64(static_cast<const uint8_t*>(v.mv_data)));
        NoteRead(kStepBytes, v.mv_data);
    }
    *complete = true;
}

// As KeyIndex::NoteMapAddress and ReleaseMappedPages do for the index's own reads: once reads
// may have brought in the mapped budget, the map's pages are let go (they stay in the system's
// cache). The map starts as many pages before a value's page as that page's number says; it is
// found afresh from the value just read, which lies in the map as it is now. Only between keys:
// the cursor holds page numbers and reads its page again.
void IndexSnapshot::NoteRead(uint64_t bytes, const void* value) {
    if (mappedBudget_ == 0) return;
    readBytes_ += bytes;
    if (readBytes_ < mappedBudget_) return;
    readBytes_ = 0;
    MDB_envinfo info{};
    MDB_stat stat{};
    if (mdb_env_info(env_, &info) != MDB_SUCCESS || mdb_env_stat(env_, &stat) != MDB_SUCCESS ||
        stat.ms_psize == 0) {
        return;
    }
    const auto at = reinterpret_cast<uintptr_t>(value);
    const uintptr_t page = at - at % stat.ms_psize;
    uint64_t number = 0;
    std::memcpy(&number, reinterpret_cast<const void*>(page), sizeof number);
    if (number > info.me_last_pgno || page < number * stat.ms_psize) return;
    auto* base = reinterpret_cast<uint8_t*>(page - number * stat.ms_psize);
    const size_t length = static_cast<size_t>(info.me_last_pgno + 1) * stat.ms_psize;
    ::madvise(base, std::min(length, info.me_mapsize), MADV_DONTNEED);
    ++releases_;
}

}  // namespace talvo::engine
