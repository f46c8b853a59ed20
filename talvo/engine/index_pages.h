// A structural check of the key index's pages. LMDB reads its B-tree pages in place, through its
// map, and trusts them: a damaged page (an offset, a size or a page number that points elsewhere)
// makes it read outside the page or the map and stop the process. The index therefore has its
// pages checked once when it is opened, before LMDB walks them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "talvo/engine.h"

namespace talvo::engine {

// Checks every page reachable from the meta page of transaction `txnid` in `file` (the whole
// index file, `pageSize` bytes a page): page numbers within the file, page kinds and depths as
// the tree needs them, nodes, keys and values within their pages, overflow pages within the
// file, each page reached once, free-page lists well formed. kDamaged (naming `path` and the
// page) on the first fault. kNotFound when neither meta page is that transaction's (a writer
// elsewhere has committed twice since): the caller takes a newer snapshot and checks again.
Status CheckIndexPages(std::span<const uint8_t> file, uint32_t pageSize, uint64_t txnid,
                       const std::string& path);

// Checks the two meta pages of the index file at `path` as far as LMDB trusts them while it
// opens the file, before it reads any other page: both carry the meta flag and the magic number,
// and both state the same page size, a power of two from 512 to 32768 (LMDB divides by it and
// finds the second meta page with it). kDamaged (naming `path`) otherwise; a file too short to
// hold them is left to LMDB, which refuses it.
Status CheckMetaPages(const std::string& path);

}  // namespace talvo::engine
