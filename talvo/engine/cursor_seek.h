// Positioning an LMDB cursor on the index's keys, for the readers that walk them in order.
#pragma once

#include <lmdb.h>

#include <cstdint>
#include <cstring>
#include <span>

namespace talvo::engine {

// Puts `cursor` on the first key not below `key` (with strictlyAfter: above it) and leaves that
// key and its value in *k and *v. Reading on in order, the cursor normally stands on `key`
// already: then it takes one step (and *stepped is set) instead of a search from the root.
// Returns LMDB's code: MDB_NOTFOUND when no such key is left.
inline int SeekCursor(MDB_cursor* cursor, std::span<const uint8_t> key, bool strictlyAfter,
                      MDB_val* k, MDB_val* v, bool* stepped) {
    *stepped = false;
    if (strictlyAfter) {
        MDB_val current{};
        if (mdb_cursor_get(cursor, &current, v, MDB_GET_CURRENT) == MDB_SUCCESS &&
            current.mv_size == key.size() &&
            std::memcmp(current.mv_data, key.data(), key.size()) == 0) {
            *stepped = true;
            return mdb_cursor_get(cursor, k, v, MDB_NEXT);
        }
    }
    *k = {key.size(), const_cast<uint8_t*>(key.data())};
    int rc = mdb_cursor_get(cursor, k, v, MDB_SET_RANGE);
    if (rc == MDB_SUCCESS && strictlyAfter && k->mv_size == key.size() &&
        std::memcmp(k->mv_data, key.data(), key.size()) == 0) {
        rc = mdb_cursor_get(cursor, k, v, MDB_NEXT);
    }
    return rc;
}

}  // namespace talvo::engine
