// Page layout of an LMDB environment (version 1 data format, 64-bit build), as far as the check
// needs it. All numbers are little-endian.
//
//   Page header (16 bytes):
//     0   8  page number          10  2  flags: 1 branch, 2 leaf, 4 overflow, 8 meta (no other
//                                            flag is written to disk: 0x10, "already copied for
//                                            this write", would have LMDB write into the map)
//     12  2  lower: 16 + 2 * number of nodes    14  2  upper: start of the node area
//     (an overflow page has instead at 12 a 4-byte count of the pages it spans)
//     16  2 * n  node offsets within the page
//   Meta page (pages 0 and 1): at 16 magic 0xBEEFC0DE, 20 version, 40 the free-page database,
//     88 the main database (48 bytes each), 136 last page number, 144 transaction id. The page
//     size is kept in the first 4 bytes of the free-page database's record (at 40).
//   Database record (48 bytes): 6 depth (2), 40 root page number (~0 when empty).
//   Node (8-byte header, then the key, then a leaf's value):
//     0 2, 2 2: leaf: value size (low, high); branch: child page number bits 0..31
//     4 2: leaf: flags (1 value on overflow pages, 2 a named database record, 4 duplicates);
//          branch: child page number bits 32..47
//     6 2: key size
//   The main database holds the named databases' records; the free-page database holds, under a
//   transaction id, a list of page numbers: a count n, then n page numbers (8 bytes each).
#include "talvo/engine/index_pages.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "talvo/engine/byte_coding.h"
#include "talvo/engine/engine_error.h"

namespace talvo::engine {
namespace {

constexpr size_t kPageHeader = 16;
constexpr size_t kNodeHeader = 8;
constexpr size_t kDbRecord = 48;
constexpr uint16_t kBranch = 1, kLeaf = 2, kOverflow = 4, kMeta = 8;
constexpr uint16_t kBigData = 1, kSubData = 2, kDupData = 4;
constexpr uint32_t kMetaMagic = 0xBEEFC0DE;
constexpr uint64_t kNoPage = ~uint64_t{0};
constexpr int kMaxDepth = 32;
constexpr uint64_t kReleaseEvery = 8192;  // pages

uint16_t U16(const uint8_t* p) {
    return GetLittleEndian<uint16_t>(p);
}
uint32_t U32(const uint8_t* p) {
    return GetLittleEndian<uint32_t>(p);
}
uint64_t U64(const uint8_t* p) {
    return GetLittleEndian<uint64_t>(p);
}

enum class Tree { kFree, kMain, kNamed };

class Checker {
  public:
    Checker(std::span<const uint8_t> file, uint32_t pageSize, uint64_t lastPage,
            const std::string& path)
        : file_(file),
          pageSize_(pageSize),
          lastPage_(lastPage),
          seen_(lastPage + 1, false),
          path_(path) {}

    Status Database(const uint8_t* record, Tree tree) {
        const uint64_t root = U64(record + 40);
        const int depth = U16(record + 6);
        if (root == kNoPage) return Status::Ok();
        if (depth < 1 || depth > kMaxDepth)
            return Fault(root, "a database of depth " + std::to_string(depth));
        return Page(root, root, depth, tree);
    }

  private:
    Status Fault(uint64_t page, const std::string& what) const {
        return Status::Failure(Error::kDamaged, "the key index " + path_ + " is damaged (page " +
                                                    std::to_string(page) + ": " + what + ")");
    }

    const uint8_t* At(uint64_t page) const { return file_.data() + page * pageSize_; }

    // Claims a page for the tree; each page has one place in it.
    Status Claim(uint64_t page, uint64_t from) {
        if (page < 2 || page > lastPage_)
            return Fault(from, "refers to page " + std::to_string(page));
        if (seen_[page]) return Fault(page, "reached twice");
        seen_[page] = true;
        // The check reads the whole file once: let its pages go now and then, so that a large
        // index does not stay resident (the pages above this one on the walk come back from the
        // system's cache when they are read again).
        if (++claimed_ % kReleaseEvery == 0) {
            ::madvise(const_cast<uint8_t*>(file_.data()), file_.size(), MADV_DONTNEED);
        }
        return Status::Ok();
    }

    Status Page(uint64_t page, uint64_t from, int depth, Tree tree) {
        Status s = Claim(page, from);
        if (!s.ok()) return s;
        const uint8_t* p = At(page);
        if (U64(p) != page) return Fault(page, "carries another page number");
        // The flags in full: LMDB clears its in-memory marks (a page it has already copied
        // for the write, say) before a page goes to disk, and trusts them when it reads one.
        const uint16_t kind = U16(p + 10);
        const bool leaf = depth == 1;
        if (kind != (leaf ? kLeaf : kBranch))
            return Fault(page, "not the kind of page the tree needs there");
        const size_t lower = U16(p + 12);
        const size_t upper = U16(p + 14);
        if (lower < kPageHeader || lower % 2 != 0 || lower > upper || upper > pageSize_) {
            return Fault(page, "node area out of bounds");
        }
        const size_t nodes = (lower - kPageHeader) / 2;
        if (nodes == 0 && !leaf) return Fault(page, "a branch without children");
        size_t i = 0;
        if (leaf && tree == Tree::kNamed) {
            // Nearly every leaf node holds a small value of a named database: in bounds, with
            // no flags and within its page there is nothing more to see (Value would agree).
            // They are passed over here; the first other one goes to the full checks below.
            for (; i < nodes; ++i) {
                const size_t at = U16(p + kPageHeader + 2 * i);
                if (at < upper || at + kNodeHeader > pageSize_) break;
                const uint8_t* node = p + at;
                if (U16(node + 4) != 0 ||
                    at + kNodeHeader + U16(node + 6) + U32(node) > pageSize_) {
                    break;
                }
            }
        }
        for (; i < nodes; ++i) {
            const size_t at = U16(p + kPageHeader + 2 * i);
            if (at < upper || at + kNodeHeader > pageSize_)
                return Fault(page, "a node out of bounds");
            const uint8_t* node = p + at;
            const size_t keyEnd = at + kNodeHeader + U16(node + 6);
            if (keyEnd > pageSize_) return Fault(page, "a key out of bounds");
            if (leaf) {
                s = Value(page, node, keyEnd, tree);
            } else {
                const uint64_t child = U32(node) | (static_cast<uint64_t>(U16(node + 4)) << 32);
                s = Page(child, page, depth - 1, tree);
            }
            if (!s.ok()) return s;
        }
        return Status::Ok();
    }

    Status Value(uint64_t page, const uint8_t* node, size_t keyEnd, Tree tree) {
        const uint16_t flags = U16(node + 4);
        const size_t size = U32(node);
        if ((flags & kDupData) != 0 || ((flags & kSubData) != 0) != (tree == Tree::kMain)) {
            return Fault(page, "a value of the wrong kind");
        }
        const uint8_t* value = At(page) + keyEnd;
        if ((flags & kBigData) != 0) {
            if (keyEnd + 8 > pageSize_) return Fault(page, "a value out of bounds");
            const uint64_t first = U64(value);
            Status s = Claim(first, page);
            if (!s.ok()) return s;
            const uint8_t* over = At(first);
            const uint64_t count = U32(over + 12);
            if (U64(over) != first || U16(over + 10) != kOverflow || count == 0 ||
                count - 1 > lastPage_ - first || size > count * pageSize_ - kPageHeader) {
                return Fault(first, "an overflow page out of bounds");
            }
            for (uint64_t n = first + 1; n < first + count; ++n) {
                if (!(s = Claim(n, first)).ok()) return s;
            }
            value = over + kPageHeader;
        } else if (keyEnd + size > pageSize_) {
            return Fault(page, "a value out of bounds");
        }
        if (tree == Tree::kMain) {
            if (size != kDbRecord) return Fault(page, "a database record of the wrong size");
            return Database(value, Tree::kNamed);
        }
        if (tree == Tree::kFree) {
            // A list of free pages: its count, then the page numbers.
            if (size < 8 || size % 8 != 0 || U64(value) != size / 8 - 1) {
                return Fault(page, "a free page list of the wrong size");
            }
            for (size_t i = 1; i < size / 8; ++i) {
                const uint64_t free = U64(value + 8 * i);
                if (free < 2 || free > lastPage_)
                    return Fault(page, "a free page list out of bounds");
            }
        }
        return Status::Ok();
    }

    std::span<const uint8_t> file_;
    uint32_t pageSize_;
    uint64_t lastPage_;
    std::vector<bool> seen_;
    uint64_t claimed_ = 0;
    const std::string& path_;
};

// Reads up to bytes.size() bytes at offset; the count read.
size_t ReadAt(int fd, uint64_t offset, std::span<uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace

Status CheckMetaPages(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoError(errno, "cannot open " + path);
    constexpr size_t kMetaBytes = 152;  // the page header and the meta record
    uint8_t meta[2][kMetaBytes];
    uint64_t offset = 0;
    size_t got = 0;
    uint32_t pageSize = 0;
    Status s;
    for (int m = 0; m < 2 && s.ok(); ++m) {
        got = ReadAt(fd, offset, meta[m]);
        if (got < kMetaBytes) break;
        const uint32_t size = U32(meta[m] + 40);
        if ((U16(meta[m] + 10) & kMeta) == 0 || U32(meta[m] + 16) != kMetaMagic) {
            s = Status::Failure(
                Error::kDamaged,
                "the key index " + path + " is damaged (meta page " + std::to_string(m) + ")");
        } else if (size < 512 || size > 32768 || (size & (size - 1)) != 0 ||
                   (m == 1 && size != pageSize)) {
            s = Status::Failure(Error::kDamaged, "the key index " + path +
                                                     " is damaged (meta page " + std::to_string(m) +
                                                     " gives a page size of " +
                                                     std::to_string(size) + ")");
        }
        pageSize = size;
        offset = size;
    }
    ::close(fd);
    return s;
}

Status CheckIndexPages(std::span<const uint8_t> file, uint32_t pageSize, uint64_t txnid,
                       const std::string& path) {
    if (pageSize < 512 || file.size() < 2 * size_t{pageSize}) {
        return Status::Failure(Error::kDamaged, "the key index " + path + " is cut short");
    }
    for (uint64_t m = 0; m < 2; ++m) {
        const uint8_t* meta = file.data() + m * pageSize;
        if (U32(meta + 16) != kMetaMagic || U64(meta + 144) != txnid) continue;
        const uint64_t lastPage = U64(meta + 136);
        if (lastPage < 1 || lastPage >= file.size() / pageSize) {
            return Status::Failure(Error::kDamaged, "the key index " + path + " is cut short");
        }
        Checker checker(file, pageSize, lastPage, path);
        Status s = checker.Database(meta + 40, Tree::kFree);
        if (s.ok()) s = checker.Database(meta + 88, Tree::kMain);
        return s;
    }
    return Status::Failure(Error::kNotFound,
                           "no meta page of transaction " + std::to_string(txnid));
}

}  // namespace talvo::engine
