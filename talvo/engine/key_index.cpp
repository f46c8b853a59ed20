// The key index: an LMDB environment kept in the single file NAME.idx (MDB_NOSUBDIR), with
// LMDB's lock file NAME.idx-lock beside it (read without one where it cannot be made or written,
// or on a network file system: see Open). The map is sized to the file and grows with it.
//
// Named databases:
//
//   DATABASE  KEY                         VALUE
//   keys      the key, exactly key size   record number, 8 bytes little-endian
//   keys1     bytes (zero-padded); LMDB's (two key trees of the same form: the meta entry
//             default order = unsigned     "tree" names the current one; the other is empty,
//             bytes                        or being filled by a rebuild)
//   meta      "counts"                    48 bytes, six little-endian uint64: index format
//                                         version (2; 1 in files whose key tree is always
//                                         "keys"), file id, slot count, deleted count, key
//                                         count, next record number
//   meta      "tree"                      the name of the current key tree, "keys" or "keys1";
//                                         absent: "keys"
//   meta      "m" + record number         empty: a slot whose deleted mark is committed here
//             (8 bytes big-endian)        and may not yet be written to the data file
//
// Invariants (together with those of file_header.cpp):
//   1. "counts", "tree" and the current key tree change only together, in one transaction.
//   2. Every key of the current tree maps to a record number below the slot count whose slot is
//      live (key-only files: below the next record number); keys = key count = slot count -
//      deleted count for files with records.
//   3. The data file is flushed (fdatasync) before the transaction that counts its slots
//      commits. A commit flushes its pages before it writes the meta page that points to them.
//      The environment runs with MDB_NOMETASYNC, so that the commits of a rebuild's parts (which
//      no reader looks at) write their meta page without a flush of its own; the commit that
//      changes "counts" (Commit) writes its meta page through LMDB's synchronous descriptor. When
//      that write fails, LMDB writes the previous meta back over it and refuses further
//      transactions: the commit is undone on disk and for every reader, so nothing counts a
//      commit that may not survive a power loss, and the environment is opened again.
//      (Without the flush of the pages, a power loss could leave a meta page pointing to pages
//      that never reached the disk; with a sync after the meta write instead, a failed sync would
//      leave a commit that readers see and a power loss takes away.)
//   4. Deleting a committed slot: the transaction that removes its key also stores its "m" entry;
//      after that commit the 0xFE is written to the slot and flushed, and a later transaction
//      drops the entry. A reader overlays every "m" entry, so the slot reads as deleted in every
//      state a crash can leave.
//   5. New keys reach the current tree in one of two ways (Rebuild, InsertInPlace):
//      - in place: inserted in key order in the transaction that stores the new counts;
//      - by a rebuild: the other tree is emptied and filled, appending in key order, with the
//        current tree's keys and the new ones, in transactions of bounded size that change
//        nothing else (no reader looks at the other tree); then one transaction names it in
//        "tree", stores the counts and empties the old tree. A kill before that transaction
//        leaves the old state whole and a partly filled other tree, which the next writer
//        empties (DropUnfinishedTree) before anything else.
#include "talvo/engine/key_index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "talvo/engine/byte_coding.h"
#include "talvo/engine/cursor_seek.h"
#include "talvo/engine/engine_error.h"
#include "talvo/engine/index_pages.h"

namespace talvo::engine {
namespace {

// The map of the index reserves address space only; it is sized to the file and grows with it
// (see KeyIndex::EnsureRoom), so that an index opens under a limit of the address space.
constexpr size_t kMapUnit = size_t{1} << 20;    // map sizes are whole MiB
constexpr size_t kReadSlack = size_t{1} << 20;  // beyond the file, for a map only read
constexpr size_t kMinGrowth = size_t{8} << 20;  // the least room a writer gets beyond the data
constexpr uint64_t kIndexVersion = 2;
constexpr uint64_t kFirstIndexVersion = 1;
constexpr char kCountsKey[] = "counts";
constexpr char kTreeKey[] = "tree";
constexpr const char* kTreeNames[2] = {"keys", "keys1"};
constexpr unsigned kMaxDbs = 3;
// Index pages that a seek or a lookup reads through the map, and what a step to the next key
// reads on average, for the accounting of mapped pages.
constexpr uint64_t kSeekBytes = 4 * 4096;
constexpr uint64_t kStepBytes = 64;
constexpr int kAhead = 16;
constexpr uint64_t kMaxPageSize = 32768;  // LMDB's largest page

void MarkKey(uint64_t recordNumber, uint8_t out[9]) {
    out[0] = 'm';
    PutBigEndian64(out + 1, recordNumber);
}

MDB_val Val(const void* data, size_t size) {
    return MDB_val{size, const_cast<void*>(data)};
}

// Opens the lock file without following a symbolic link, making it when missing (*fd: its
// descriptor, -1 when the system refuses, *openErrno telling why). With `same`, checks
// instead that the name still stands for the file open as `same`. kDamaged when it does not or
// when the name is a link or anything but a plain file.
Status OpenPlainLockFile(const std::string& lockPath, int* fd, int same = -1,
                         int* openErrno = nullptr) {
    const Status refused = Status::Failure(
        Error::kDamaged, "the lock file " + lockPath +
                             " is a symbolic link or not a plain file; it is not written through");
    if (same >= 0) {
        struct stat named {};
        struct stat held {};
        const bool ok = ::lstat(lockPath.c_str(), &named) == 0 && ::fstat(same, &held) == 0 &&
                        named.st_dev == held.st_dev && named.st_ino == held.st_ino;
        return ok ? Status::Ok() : refused;
    }
    *fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (*fd < 0 && openErrno != nullptr) *openErrno = errno;
    if (*fd < 0 && errno == ELOOP) return refused;
    struct stat st {};
    if (*fd >= 0 && (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(*fd);
        *fd = -1;
        return refused;
    }
    if (*fd < 0 && ::lstat(lockPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return refused;
    return Status::Ok();
}

size_t MapSizeFor(uint64_t bytes) {
    return static_cast<size_t>((bytes + kMapUnit - 1) / kMapUnit * kMapUnit);
}

// Whether an open failed because this user, or this file system, does not allow writing.
bool WriteRefused(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

}  // namespace

KeyIndex::~KeyIndex() {
    Close();
}

std::vector<std::string> KeyIndex::PartPaths(const std::string& path) {
    return {path, path + "-lock"};
}

Status KeyIndex::Failed(int rc, const char* what) const {
    std::string detail = path_ + ": " + what + ": " + mdb_strerror(rc);
    switch (rc) {
        case ENOMEM:
        // The map had no room left for a transaction: address space, not disk.
        case MDB_MAP_FULL:
            return Status::Failure(Error::kOutOfMemory, detail);
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return Status::Failure(Error::kNoSpace, detail);
        case MDB_CORRUPTED:
        case MDB_INVALID:
        case MDB_PAGE_NOTFOUND:
        case MDB_INCOMPATIBLE:
            return Status::Failure(Error::kDamaged, detail);
        case MDB_VERSION_MISMATCH:
            return Status::Failure(Error::kVersionMismatch, detail);
        case EACCES:
        case EROFS:
            return Status::Failure(Error::kIoError, detail);
        default:
            return Status::Failure(Error::kIoError, detail);
    }
}

Status KeyIndex::Create(const std::string& path, const IndexMeta& meta) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return Status::Failure(Error::kFileExists, path);
    KeyIndex index;
    index.path_ = path;
    Status s = index.Check(mdb_env_create(&index.env_), "create");
    if (s.ok()) s = index.Check(mdb_env_set_maxdbs(index.env_, kMaxDbs), "configure");
    if (s.ok()) s = index.Check(mdb_env_set_mapsize(index.env_, kMapUnit), "configure");
    if (s.ok()) {
        s = index.Check(
            mdb_env_open(index.env_, path.c_str(), MDB_NOSUBDIR | MDB_NOTLS | MDB_NOMETASYNC, 0666),
            "create");
    }
    if (s.ok()) s = index.Check(mdb_txn_begin(index.env_, nullptr, 0, &index.txn_), "begin");
    if (s.ok()) {
        index.writing_ = true;
        s = index.Check(mdb_dbi_open(index.txn_, kTreeNames[0], MDB_CREATE, &index.trees_[0]),
                        "create keys");
    }
    if (s.ok())
        s = index.Check(mdb_dbi_open(index.txn_, "meta", MDB_CREATE, &index.meta_), "create meta");
    if (s.ok()) s = index.Commit(meta);
    return s;
}

Status KeyIndex::Open(const std::string& path, bool writable, IndexMeta* meta, bool noLockFile) {
    Close();
    path_ = path;
    readOnly_ = !writable || noLockFile;
    lockless_ = noLockFile;
    readOnlyReason_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return Status::Failure(Error::kDamaged, "the key index " + path + " is missing");
    }
    if (!S_ISREG(st.st_mode)) {
        return Status::Failure(Error::kDamaged, "the key index " + path + " is not a plain file");
    }
    // A file this user may not read is not damaged: say what the system said. One that may be
    // read but not written is read.
    for (;;) {
        const int probe = ::open(path.c_str(), (readOnly_ ? O_RDONLY : O_RDWR) | O_CLOEXEC);
        const int err = errno;
        if (probe >= 0) {
            ::close(probe);
            break;
        }
        if (readOnly_ || !WriteRefused(err)) {
            return ErrnoError(err, "cannot open the key index " + path);
        }
        readOnly_ = true;
        readOnlyReason_ =
            "its key index " + path + " cannot be written (" + std::strerror(err) + ")";
    }
    // LMDB opens (or makes) the lock file by its name and writes its reader table into it through
    // a map: a symbolic link planted there would have it overwrite whatever the link names.
    // Where the lock file cannot be made or written (a folder or a file system this user may
    // not write), the index is read without one: no process can then register its readers, so
    // the caller keeps writers away for as long as it reads (the data file's reader mark).
    const std::string lockPath = PartPaths(path)[1];
    int lockFd = -1;
    Status s;
    if (!lockless_) {
        int lockErrno = 0;
        s = OpenPlainLockFile(lockPath, &lockFd, -1, &lockErrno);
        if (s.ok() && lockFd < 0 && WriteRefused(lockErrno)) {
            lockless_ = true;
            if (!readOnly_) {
                readOnlyReason_ = "its lock file " + lockPath + " cannot be made or written (" +
                                  std::strerror(lockErrno) + ")";
            }
            readOnly_ = true;
        } else if (s.ok() && lockFd < 0) {
            s = ErrnoError(lockErrno, "cannot open the lock file " + lockPath);
        }
        if (!s.ok()) return s;
    }
    unsigned flags = MDB_NOSUBDIR | MDB_NOTLS | MDB_NOMETASYNC | MDB_NOMEMINIT;
    if (readOnly_) flags |= MDB_RDONLY;
    if (lockless_) flags |= MDB_NOLOCK;
    s = Check(mdb_env_create(&env_), "create");
    if (s.ok()) s = Check(mdb_env_set_maxdbs(env_, kMaxDbs), "configure");
    if (s.ok()) {
        s = Check(
            mdb_env_set_mapsize(env_, MapSizeFor(static_cast<uint64_t>(st.st_size) + kReadSlack)),
            "configure");
    }
    if (s.ok() && st.st_size == 0)
        s = Status::Failure(Error::kDamaged, "the key index " + path + " is empty");
    if (s.ok()) s = CheckMetaPages(path);  // LMDB trusts them while it opens the file
    if (s.ok()) s = Check(mdb_env_open(env_, path.c_str(), flags, 0666), "open");
    if (s.ok() && lockFd >= 0) s = OpenPlainLockFile(lockPath, nullptr, lockFd);
    // LMDB keeps its place among the lock file's users by record locks (fcntl) that belong to
    // the process, and the system drops them all when the process closes any descriptor of that
    // file. Closed now, the next process to open the index would find no one there and set the
    // reader table up afresh, erasing the readers of this one and the others, whose snapshots
    // a writer would then overwrite. The descriptor is closed after the environment (Close).
    lockFd_ = lockFd;
    if (s.ok()) s = CheckLength();
    if (s.ok()) {
        int dead = 0;
        mdb_reader_check(env_, &dead);  // readers left behind by killed processes
        MDB_txn* txn = nullptr;
        s = BeginTxn(MDB_RDONLY, &txn, "begin");
        // Check the pages of this snapshot before LMDB reads any of them (a writer elsewhere may
        // commit meanwhile: then check a newer one).
        for (int attempt = 0; s.ok(); ++attempt) {
            s = CheckPages(mdb_txn_id(txn));
            if (s.code() != Error::kNotFound) break;
            mdb_txn_abort(txn);
            txn = nullptr;
            s = attempt < 8
                    ? BeginTxn(MDB_RDONLY, &txn, "begin")
                    : Status::Failure(Error::kLocked, path + " changes too fast to be opened");
        }
        if (!s.ok() && txn != nullptr) mdb_txn_abort(txn);
        if (s.ok()) {
            int rc = mdb_dbi_open(txn, kTreeNames[0], 0, &trees_[0]);
            if (rc == MDB_SUCCESS) rc = mdb_dbi_open(txn, "meta", 0, &meta_);
            if (rc == MDB_SUCCESS) {
                treeOpen_[0] = true;
                // The second tree exists once a rebuild has made it.
                rc = mdb_dbi_open(txn, kTreeNames[1], 0, &trees_[1]);
                treeOpen_[1] = rc == MDB_SUCCESS;
                if (rc == MDB_NOTFOUND) rc = MDB_SUCCESS;
            }
            if (rc == MDB_NOTFOUND) {
                s = Status::Failure(Error::kDamaged, path + " is not the key index of a data file");
            } else {
                s = Check(rc, "open databases");
            }
            if (s.ok())
                s = Check(mdb_txn_commit(txn), "open databases");
            else
                mdb_txn_abort(txn);
        }
    }
    if (s.ok()) s = ReadMeta(meta);
    if (!s.ok()) {
        // mdb_env_open refuses a foreign file with MDB_INVALID: report it as a damaged index.
        if (s.code() == Error::kIoError || s.code() == Error::kVersionMismatch) {
            s = Status::Failure(Error::kDamaged,
                                "the key index " + path + " cannot be read (" + s.message() + ")");
        }
        Close();
    }
    return s;
}

// LMDB maps the file and reads its pages in place: a page past the end of a file cut short
// would stop the process (SIGBUS) instead of giving an error.
Status KeyIndex::CheckLength() const {
    MDB_envinfo info{};
    MDB_stat stat{};
    mdb_filehandle_t fd = -1;
    Status s = Check(mdb_env_info(env_, &info), "examine");
    if (s.ok()) s = Check(mdb_env_stat(env_, &stat), "examine");
    if (s.ok()) s = Check(mdb_env_get_fd(env_, &fd), "examine");
    if (!s.ok()) return s;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrnoError(errno, "cannot examine " + path_);
    const auto length = static_cast<uint64_t>(st.st_size);
    if (stat.ms_psize == 0 || info.me_last_pgno >= length / stat.ms_psize) {
        return Status::Failure(
            Error::kDamaged, "the key index " + path_ + " is cut short: " + std::to_string(length) +
                                 " bytes where its pages need " +
                                 std::to_string((info.me_last_pgno + 1) * uint64_t{stat.ms_psize}));
    }
    return Status::Ok();
}

bool KeyIndex::NoRoomToGrow() const {
    mdb_filehandle_t fd = -1;
    struct stat st {};
    if (mdb_env_get_fd(env_, &fd) != MDB_SUCCESS || ::fstat(fd, &st) != 0) return false;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<uint64_t>(st.st_size) + kMaxPageSize > limit.rlim_cur) {
        return true;
    }
    struct statvfs fs {};
    return ::fstatvfs(fd, &fs) == 0 && fs.f_bavail * fs.f_frsize < kMaxPageSize;
}

namespace {

// Index files whose pages were found sound, as they were then: a file opened again unchanged (as
// a build opens its input right after reading its descriptor) is not read through twice. Any
// write to a file changes its change time, which no one can set back.
struct CheckedIndex {
    dev_t device;
    ino_t inode;
    off_t length;
    struct timespec modified;
    struct timespec changed;
    uint64_t txnid;
    bool operator==(const CheckedIndex& o) const {
        return device == o.device && inode == o.inode && length == o.length &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec &&
               txnid == o.txnid;
    }
};
std::mutex checkedMutex;
std::vector<CheckedIndex> checkedIndexes;  // the newest last; a few at most
constexpr size_t kCheckedIndexes = 8;

}  // namespace

Status KeyIndex::CheckPages(uint64_t txnid) const {
    MDB_stat stat{};
    mdb_filehandle_t fd = -1;
    Status s = Check(mdb_env_stat(env_, &stat), "examine");
    if (s.ok()) s = Check(mdb_env_get_fd(env_, &fd), "examine");
    if (!s.ok()) return s;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return ErrnoError(errno, "cannot examine " + path_);
    const CheckedIndex seen{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, txnid};
    {
        std::lock_guard<std::mutex> lock(checkedMutex);
        if (std::find(checkedIndexes.begin(), checkedIndexes.end(), seen) != checkedIndexes.end()) {
            return Status::Ok();
        }
    }
    const auto length = static_cast<size_t>(st.st_size);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return ErrnoError(errno, "cannot map " + path_);
    s = CheckIndexPages({static_cast<const uint8_t*>(map), length}, stat.ms_psize, txnid, path_);
    ::munmap(map, length);
    ++Counters().indexPageChecks;
    if (s.ok()) {
        std::lock_guard<std::mutex> lock(checkedMutex);
        if (checkedIndexes.size() == kCheckedIndexes) checkedIndexes.erase(checkedIndexes.begin());
        checkedIndexes.push_back(seen);
    }
    return s;
}

Status KeyIndex::BeginTxn(unsigned flags, MDB_txn** txn, const char* what) {
    for (int attempt = 0;; ++attempt) {
        *txn = nullptr;
        if (env_ == nullptr) {
            return Status::Failure(Error::kNotOpen,
                                   "the key index " + path_ + " was closed by a failure");
        }
        const int rc = mdb_txn_begin(env_, nullptr, flags, txn);
        if (rc != MDB_SUCCESS) *txn = nullptr;
        if (rc != MDB_MAP_RESIZED || attempt == 3) return Check(rc, what);
        // Another process made the file grow past this map: map it as it is now.
        MDB_envinfo info{};
        MDB_stat stat{};
        Status s = Check(mdb_env_info(env_, &info), "examine");
        if (s.ok()) s = Check(mdb_env_stat(env_, &stat), "examine");
        if (s.ok()) {
            const uint64_t used = (info.me_last_pgno + 1) * uint64_t{stat.ms_psize};
            s = Remap(MapSizeFor(used + kReadSlack));
        }
        if (!s.ok()) return s;
    }
}

Status KeyIndex::Remap(size_t size) {
    MDB_envinfo info{};
    Status s = Check(mdb_env_info(env_, &info), "examine");
    if (!s.ok() || size <= info.me_mapsize) return s;
    // LMDB lets its map go before it makes the larger one, and a failure leaves it without
    // any: ask for the room first, so that a failure is only a failure to grow.
    const size_t more = size - info.me_mapsize;
    void* probe =
        ::mmap(nullptr, more, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED) {
        return Status::Failure(Error::kOutOfMemory, "no room in the address space to map " + path_ +
                                                        " at " + std::to_string(size >> 20) +
                                                        " MiB");
    }
    ::munmap(probe, more);
    mapBase_ = nullptr;  // the map moves
    const int rc = mdb_env_set_mapsize(env_, size);
    if (rc == MDB_SUCCESS) {
        ++Counters().mapGrowths;
        return Status::Ok();
    }
    // The old map is gone and no new one was made: this environment cannot be used again.
    s = Check(rc, "grow the map");
    Close();
    return s;
}

Status KeyIndex::EnsureRoom() {
    MDB_envinfo info{};
    MDB_stat stat{};
    Status s = Check(mdb_env_info(env_, &info), "examine");
    if (s.ok()) s = Check(mdb_env_stat(env_, &stat), "examine");
    if (!s.ok()) return s;
    const uint64_t used = (info.me_last_pgno + 1) * uint64_t{stat.ms_psize};
    if (info.me_mapsize >= used + growth_) return Status::Ok();
    // Some room to spare, so that a growing index is mapped anew only now and then; else the
    // room one transaction may take; else, where the address space is too short for that, what
    // there is: most transactions are far smaller than their budget, and one that finds no room
    // fails as out of memory.
    for (const uint64_t room : {growth_ + used / 8, growth_, uint64_t{kMinGrowth}}) {
        if (info.me_mapsize >= used + room) return Status::Ok();
        s = Remap(MapSizeFor(used + room));
        if (s.code() != Error::kOutOfMemory || env_ == nullptr) return s;
    }
    return s;
}

void KeyIndex::SetWriteBudget(size_t bytes) {
    // A transaction changes at most about `bytes` of pages (the caller's estimate); each one
    // changed is written anew, and a page split may add another.
    growth_ = std::max(kMinGrowth, 2 * bytes + kMinGrowth);
}

void KeyIndex::Close() {
    EndTxn();
    if (env_ != nullptr) mdb_env_close(env_);
    env_ = nullptr;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
    treeOpen_[0] = treeOpen_[1] = false;
    treePending_[0] = treePending_[1] = false;
    current_ = 0;
    mapBase_ = nullptr;
}

void KeyIndex::DropAhead() {
    if (ahead_ != nullptr) mdb_cursor_close(ahead_);
    ahead_ = nullptr;
    aheadValid_ = false;
}

void KeyIndex::StartAhead(const MDB_val& key) {
    aheadValid_ = false;
    if (ahead_ == nullptr && mdb_cursor_open(txn_, keys(), &ahead_) != MDB_SUCCESS) {
        ahead_ = nullptr;
        return;
    }
    MDB_val k = key;
    MDB_val v{};
    if (mdb_cursor_get(ahead_, &k, &v, MDB_SET) != MDB_SUCCESS) return;
    for (int i = 0; i < kAhead; ++i) {
        if (mdb_cursor_get(ahead_, &k, &v, MDB_NEXT) != MDB_SUCCESS) return;
        if (v.mv_size == 8)
            prefetch_(prefetchContext_,
                      GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data)));
    }
    aheadValid_ = true;
}

void KeyIndex::StepAhead() {
    MDB_val k{};
    MDB_val v{};
    if (mdb_cursor_get(ahead_, &k, &v, MDB_NEXT) != MDB_SUCCESS) {
        aheadValid_ = false;
        return;
    }
    if (v.mv_size == 8)
        prefetch_(prefetchContext_,
                  GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data)));
}

void KeyIndex::EndTxn() {
    DropAhead();
    if (cursor_ != nullptr) mdb_cursor_close(cursor_);
    cursor_ = nullptr;
    if (txn_ != nullptr) {
        mdb_txn_abort(txn_);
        SettleTrees(false);
    }
    txn_ = nullptr;
    writing_ = false;
}

// A tree handle opened in a transaction lasts only if that transaction commits (LMDB closes it
// with one that is aborted).
void KeyIndex::SettleTrees(bool committed) {
    for (int t = 0; t < 2; ++t) {
        if (treePending_[t] && !committed) treeOpen_[t] = false;
        treePending_[t] = false;
    }
}

Status KeyIndex::OpenTree(int tree, bool create) {
    if (treeOpen_[tree]) return Status::Ok();
    const int rc = mdb_dbi_open(txn_, kTreeNames[tree], create ? MDB_CREATE : 0, &trees_[tree]);
    if (rc == MDB_NOTFOUND) {
        return Status::Failure(Error::kDamaged, path_ + " names the key tree \"" +
                                                    std::string(kTreeNames[tree]) +
                                                    "\", which it does not hold");
    }
    Status s = Check(rc, "open the key tree");
    if (!s.ok()) return s;
    treeOpen_[tree] = true;
    treePending_[tree] = true;
    return Status::Ok();
}

Status KeyIndex::SelectTree() {
    MDB_val k = Val(kTreeKey, sizeof kTreeKey - 1);
    MDB_val v{};
    const int rc = mdb_get(txn_, meta_, &k, &v);
    int tree = 0;
    if (rc == MDB_SUCCESS) {
        const std::string name(static_cast<const char*>(v.mv_data), v.mv_size);
        tree = name == kTreeNames[0] ? 0 : name == kTreeNames[1] ? 1 : -1;
        if (tree < 0)
            return Status::Failure(Error::kDamaged, path_ + " names no key tree of its own");
    } else if (rc != MDB_NOTFOUND) {
        return Check(rc, "read the tree");
    }
    if (!treeOpen_[tree]) {
        Status s = OpenTree(tree, false);
        if (!s.ok()) return s;
    }
    current_ = tree;
    return Status::Ok();
}

Status KeyIndex::EnsureTxn() {
    if (txn_ != nullptr) return Status::Ok();
    for (int attempt = 0; attempt < 3; ++attempt) {
        Status s = BeginTxn(MDB_RDONLY, &txn_, "begin read");
        if (!s.ok()) {
            txn_ = nullptr;
            return s;
        }
        s = SelectTree();
        if (!s.ok()) {
            EndTxn();
            return s;
        }
        if (!treePending_[0] && !treePending_[1]) return s;
        // A tree handle opened in a read transaction lasts once that transaction commits; then
        // read on in a fresh one.
        const int rc = mdb_txn_commit(txn_);
        txn_ = nullptr;
        SettleTrees(rc == MDB_SUCCESS);
        s = Check(rc, "open the key tree");
        if (!s.ok()) return s;
    }
    return Status::Failure(Error::kLocked, path_ + " changes too fast to be read");
}

void KeyIndex::EndRead() {
    if (!writing_) EndTxn();
}

Status KeyIndex::BeginWrite() {
    if (writing_) return Status::Ok();
    if (readOnly_) return Status::Failure(Error::kReadOnly, path_ + " is open for reading only");
    if (env_ == nullptr) {
        return Status::Failure(Error::kNotOpen,
                               "the key index " + path_ + " was closed by a failure");
    }
    EndTxn();
    Status s = EnsureRoom();
    if (s.ok()) s = BeginTxn(0, &txn_, "begin write");
    if (!s.ok()) {
        txn_ = nullptr;
        return s;
    }
    writing_ = true;
    s = SelectTree();
    if (!s.ok()) Abort();
    return s;
}

Status KeyIndex::CommitTxn(const char* what) {
    DropAhead();
    if (cursor_ != nullptr) mdb_cursor_close(cursor_);
    cursor_ = nullptr;
    int rc = mdb_txn_commit(txn_);
    txn_ = nullptr;
    writing_ = false;
    SettleTrees(rc == MDB_SUCCESS);
    // LMDB reports a write cut short as EIO; when the file has no room to grow, that is what
    // cut it.
    if (rc == EIO && NoRoomToGrow()) rc = ENOSPC;
    Status s = Check(rc, what);
    if (s.ok()) ++Counters().indexTxns;
    return s;
}

namespace {

void EncodeCounts(const IndexMeta& meta, uint8_t value[48]) {
    PutLittleEndian<uint64_t>(value, kIndexVersion);
    PutLittleEndian<uint64_t>(value + 8, meta.fileId);
    PutLittleEndian<uint64_t>(value + 16, meta.slotCount);
    PutLittleEndian<uint64_t>(value + 24, meta.deletedCount);
    PutLittleEndian<uint64_t>(value + 32, meta.keyCount);
    PutLittleEndian<uint64_t>(value + 40, meta.nextNumber);
}

}  // namespace

Status KeyIndex::Commit(const IndexMeta& meta) {
    if (!writing_) return Status::Ok();
    uint8_t value[48];
    EncodeCounts(meta, value);
    MDB_val k = Val(kCountsKey, sizeof kCountsKey - 1);
    MDB_val v = Val(value, sizeof value);
    Status s = Check(mdb_put(txn_, meta_, &k, &v, 0), "store counts");
    if (!s.ok()) {
        Abort();
        return s;
    }
    // Invariant 3: this meta page is written synchronously.
    s = Check(mdb_env_set_flags(env_, MDB_NOMETASYNC, 0), "configure");
    if (!s.ok()) {
        Abort();
        return s;
    }
    s = CommitTxn("commit");
    (void)mdb_env_set_flags(env_, MDB_NOMETASYNC, 1);
    if (!s.ok()) RecoverEnvironment();
    return s;
}

// After a failed meta write LMDB refuses every transaction (MDB_PANIC) until the environment is
// opened again; it then reads the meta page that LMDB put back.
void KeyIndex::RecoverEnvironment() {
    MDB_txn* probe = nullptr;
    const int rc = mdb_txn_begin(env_, nullptr, MDB_RDONLY, &probe);
    if (rc == MDB_SUCCESS) {
        mdb_txn_abort(probe);
        return;
    }
    if (rc != MDB_PANIC) return;
    const std::string path = path_;
    const bool writable = !readOnly_;
    IndexMeta meta;
    // When it cannot be opened now, the index stays closed and its next use opens it.
    if (!Open(path, writable, &meta).ok()) Close();
}

void KeyIndex::Abort() {
    EndTxn();
}

Status KeyIndex::ReadMeta(IndexMeta* meta) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    MDB_val k = Val(kCountsKey, sizeof kCountsKey - 1);
    MDB_val v{};
    const int rc = mdb_get(txn_, meta_, &k, &v);
    if (rc == MDB_NOTFOUND || (rc == MDB_SUCCESS && v.mv_size != 48)) {
        return Status::Failure(Error::kDamaged, path_ + " holds no counts");
    }
    s = Check(rc, "read counts");
    if (!s.ok()) return s;
    const auto* p = static_cast<const uint8_t*>(v.mv_data);
    const uint64_t version = GetLittleEndian<uint64_t>(p);
    if (version != kIndexVersion && version != kFirstIndexVersion) {
        return Status::Failure(Error::kVersionMismatch,
                               path_ + " has another index format version");
    }
    meta->fileId = GetLittleEndian<uint64_t>(p + 8);
    meta->slotCount = GetLittleEndian<uint64_t>(p + 16);
    meta->deletedCount = GetLittleEndian<uint64_t>(p + 24);
    meta->keyCount = GetLittleEndian<uint64_t>(p + 32);
    meta->nextNumber = GetLittleEndian<uint64_t>(p + 40);
    return Status::Ok();
}

Status KeyIndex::Shape(TreeShape* shape) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    MDB_stat st{};
    s = Check(mdb_stat(txn_, keys(), &st), "examine the key tree");
    if (!s.ok()) return s;
    shape->entries = st.ms_entries;
    shape->leafPages = st.ms_leaf_pages;
    shape->branchPages = st.ms_branch_pages;
    shape->depth = st.ms_depth;
    shape->pageSize = st.ms_psize;
    return Status::Ok();
}

void KeyIndex::NoteRead(uint64_t bytes) {
    if (mappedBudget_ == 0) return;
    readBytes_ += bytes;
    if (readBytes_ >= mappedBudget_) ReleaseMappedPages();
}

// LMDB does not tell where it maps the file (mdb_env_info gives the address only for a fixed
// map), but a value read in a read transaction lies in the map, inside its page, and a page
// starts with its own number: the map starts that many pages before the page.
void KeyIndex::NoteMapAddress(const void* value) {
    // A write transaction's pages are copies.
    if (mapBase_ != nullptr || writing_ || env_ == nullptr) return;
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
    mapBase_ = reinterpret_cast<uint8_t*>(page - number * stat.ms_psize);
    pageSize_ = stat.ms_psize;
}

void KeyIndex::ReleaseMappedPages() {
    readBytes_ = 0;
    MDB_envinfo info{};
    if (mapBase_ == nullptr || env_ == nullptr || mdb_env_info(env_, &info) != MDB_SUCCESS) return;
    // The map is read-only and shared: a page let go is read again from the file's cache.
    const size_t length = static_cast<size_t>(info.me_last_pgno + 1) * pageSize_;
    ::madvise(mapBase_, std::min(length, info.me_mapsize), MADV_DONTNEED);
    ++Counters().mapReleases;
}

Status KeyIndex::Find(std::span<const uint8_t> key, bool* found, uint64_t* recordNumber) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    MDB_val k = Val(key.data(), key.size());
    MDB_val v{};
    const int rc = mdb_get(txn_, keys(), &k, &v);
    NoteRead(kSeekBytes);
    *found = false;
    if (rc == MDB_NOTFOUND) return Status::Ok();
    s = Check(rc, "read key");
    if (!s.ok()) return s;
    if (v.mv_size != 8)
        return Status::Failure(Error::kDamaged, path_ + ": a key's value is not a record number");
    NoteMapAddress(v.mv_data);
    *found = true;
    *recordNumber = GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data));
    return Status::Ok();
}

Status KeyIndex::InsertInPlace(SortedSource& keys, size_t keySize, uint64_t* entries) {
    *entries = 0;
    if (!writing_)
        return Status::Failure(Error::kIoError, "internal: insert outside a write transaction");
    if (!keys.valid()) return Status::Ok();
    DropAhead();
    Status s =
        Check(cursor_ == nullptr ? mdb_cursor_open(txn_, this->keys(), &cursor_) : 0, "cursor");
    if (!s.ok()) return s;
    MDB_val lastKey{};
    MDB_val lastValue{};
    int rc = mdb_cursor_get(cursor_, &lastKey, &lastValue, MDB_LAST);
    bool append = rc == MDB_NOTFOUND;
    if (rc != MDB_SUCCESS && rc != MDB_NOTFOUND) return Check(rc, "find last key");
    const std::string last =
        append ? std::string()
               : std::string(static_cast<const char*>(lastKey.mv_data), lastKey.mv_size);
    for (; keys.valid(); s = keys.Next()) {
        if (!s.ok()) return s;
        if (!append && std::memcmp(keys.key(), last.data(), keySize) > 0) append = true;
        uint8_t number[8];
        PutLittleEndian<uint64_t>(number, keys.number());
        MDB_val k = Val(keys.key(), keySize);
        MDB_val v = Val(number, 8);
        rc = mdb_cursor_put(cursor_, &k, &v, append ? MDB_APPEND : MDB_NOOVERWRITE);
        if (rc == MDB_KEYEXIST) {
            return Status::Failure(Error::kDamaged, path_ + ": a new key is already in the index");
        }
        s = Check(rc, "store key");
        if (!s.ok()) return s;
        ++*entries;
    }
    return s;
}

Status KeyIndex::InsertSorted(std::span<const IndexEntry> entries, size_t keySize) {
    EntrySource source(entries);
    uint64_t count = 0;
    return InsertInPlace(source, keySize, &count);
}

Status KeyIndex::DropUnfinishedTree(bool* dropped) {
    *dropped = false;
    Status s = BeginWrite();
    if (!s.ok()) return s;
    const int other = 1 - current_;
    if (!treeOpen_[other]) {
        const int rc = mdb_dbi_open(txn_, kTreeNames[other], 0, &trees_[other]);
        if (rc == MDB_NOTFOUND) {
            Abort();
            return Status::Ok();
        }
        s = Check(rc, "open the key trees");
        if (!s.ok()) {
            Abort();
            return s;
        }
        treeOpen_[other] = treePending_[other] = true;
    }
    MDB_stat st{};
    s = Check(mdb_stat(txn_, trees_[other], &st), "examine the key trees");
    if (s.ok() && st.ms_entries != 0) {
        s = Check(mdb_drop(txn_, trees_[other], 0), "empty the unfinished key tree");
        *dropped = s.ok();
    }
    // Nothing to do: no write transaction stays open for it.
    if (!*dropped) Abort();
    return s;
}

Status KeyIndex::Rebuild(SortedSource& keys, size_t keySize, const IndexMeta& meta, size_t txnBytes,
                         uint64_t* entries) {
    *entries = 0;
    if (writing_) return Status::Failure(Error::kIoError, "internal: rebuild inside a transaction");
    if (readOnly_) return Status::Failure(Error::kReadOnly, path_ + " is open for reading only");
    EndTxn();
    // Entries that fill about txnBytes of leaf pages, appending (pages are filled up).
    const uint64_t pageSize = 4096;
    const uint64_t perPage = (pageSize - 16) / (keySize + 8 + 8 + 2);
    const uint64_t pages = std::clamp<uint64_t>(txnBytes / pageSize, 1, 100000);
    const uint64_t perTxn = std::max<uint64_t>(1, pages * perPage * 9 / 10);

    int from = -1;
    std::string lastWritten;  // the last key written to the new tree
    bool oldDone = false;
    for (bool first = true;; first = false) {
        Status s = BeginWrite();
        if (!s.ok()) return s;
        if (from < 0) from = current_;
        if (current_ != from) {
            Abort();
            return Status::Failure(Error::kLocked, path_ + " changed during a rebuild");
        }
        const int to = 1 - from;
        MDB_cursor* out = nullptr;
        MDB_cursor* old = nullptr;
        auto fail = [&](Status cause) {
            if (old != nullptr) mdb_cursor_close(old);
            if (out != nullptr) mdb_cursor_close(out);
            Abort();
            return cause;
        };
        s = OpenTree(to, true);
        if (s.ok() && first) s = Check(mdb_drop(txn_, trees_[to], 0), "empty the new tree");
        if (s.ok()) s = Check(mdb_cursor_open(txn_, trees_[to], &out), "cursor");
        MDB_val ok{}, ov{};
        int orc = MDB_NOTFOUND;
        if (s.ok() && !oldDone) {
            s = Check(mdb_cursor_open(txn_, trees_[from], &old), "cursor");
            if (s.ok() && first) {
                orc = mdb_cursor_get(old, &ok, &ov, MDB_FIRST);
            } else if (s.ok()) {
                ok = Val(lastWritten.data(), lastWritten.size());
                orc = mdb_cursor_get(old, &ok, &ov, MDB_SET_RANGE);
                if (orc == MDB_SUCCESS && ok.mv_size == lastWritten.size() &&
                    std::memcmp(ok.mv_data, lastWritten.data(), ok.mv_size) == 0) {
                    orc = mdb_cursor_get(old, &ok, &ov, MDB_NEXT);
                }
            }
            if (s.ok() && orc != MDB_SUCCESS && orc != MDB_NOTFOUND) s = Check(orc, "read keys");
            if (orc == MDB_NOTFOUND) oldDone = true;
        }
        if (!s.ok()) return fail(s);
        uint64_t inTxn = 0;
        while (inTxn < perTxn && (!oldDone || keys.valid())) {
            bool takeOld = !oldDone;
            if (!oldDone && keys.valid()) {
                if (ok.mv_size != keySize) {
                    return fail(
                        Status::Failure(Error::kDamaged, path_ + ": a key of another size"));
                }
                const int c = std::memcmp(ok.mv_data, keys.key(), keySize);
                if (c == 0) {
                    return fail(Status::Failure(Error::kDamaged,
                                                path_ + ": a new key is already in the index"));
                }
                takeOld = c < 0;
            }
            MDB_val k{};
            MDB_val v{};
            uint8_t number[8];
            if (takeOld) {
                if (ov.mv_size != 8) {
                    return fail(Status::Failure(Error::kDamaged,
                                                path_ + ": a key's value is not a record number"));
                }
                k = ok;
                v = ov;
            } else {
                PutLittleEndian<uint64_t>(number, keys.number());
                k = Val(keys.key(), keySize);
                v = Val(number, 8);
            }
            const int rc = mdb_cursor_put(out, &k, &v, MDB_APPEND);
            if (rc == MDB_KEYEXIST) {
                return fail(
                    Status::Failure(Error::kDamaged, path_ + ": the keys came out of order"));
            }
            s = Check(rc, "store key");
            if (!s.ok()) return fail(s);
            ++inTxn;
            if (takeOld) {
                orc = mdb_cursor_get(old, &ok, &ov, MDB_NEXT);
                if (orc == MDB_NOTFOUND) {
                    oldDone = true;
                } else if (orc != MDB_SUCCESS) {
                    return fail(Check(orc, "read keys"));
                }
            } else {
                s = keys.Next();
                if (!s.ok()) return fail(s);
            }
        }
        *entries += inTxn;
        const bool done = oldDone && !keys.valid();
        if (done || inTxn >= perTxn) {
            // Where the next transaction goes on (the key tree's last key).
            MDB_val lk{}, lv{};
            if (inTxn != 0 && mdb_cursor_get(out, &lk, &lv, MDB_LAST) == MDB_SUCCESS) {
                lastWritten.assign(static_cast<const char*>(lk.mv_data), lk.mv_size);
            }
        }
        if (old != nullptr) mdb_cursor_close(old);
        old = nullptr;
        mdb_cursor_close(out);
        out = nullptr;
        if (!done) {
            s = CommitTxn("commit a part of the new key tree");
            if (!s.ok()) return s;
            ReleaseMappedPages();
            continue;
        }
        // The switch: the new tree becomes the current one, with the counts; the old one empties.
        MDB_val tk = Val(kTreeKey, sizeof kTreeKey - 1);
        MDB_val tv = Val(kTreeNames[to], std::strlen(kTreeNames[to]));
        s = Check(mdb_put(txn_, meta_, &tk, &tv, 0), "name the key tree");
        if (s.ok()) s = Check(mdb_drop(txn_, trees_[from], 0), "empty the old tree");
        if (!s.ok()) return fail(s);
        current_ = to;
        s = Commit(meta);
        if (!s.ok()) {
            current_ = from;
            return s;
        }
        ReleaseMappedPages();
        return Status::Ok();
    }
}

Status KeyIndex::Erase(std::span<const uint8_t> key) {
    if (!writing_)
        return Status::Failure(Error::kIoError, "internal: erase outside a write transaction");
    // A cursor left on a deleted item would step onto its successor twice: start afresh.
    DropAhead();
    if (cursor_ != nullptr) mdb_cursor_close(cursor_);
    cursor_ = nullptr;
    MDB_val k = Val(key.data(), key.size());
    const int rc = mdb_del(txn_, keys(), &k, nullptr);
    if (rc == MDB_NOTFOUND) return Status::Failure(Error::kNotFound, "key " + HexBytes(key));
    return Check(rc, "remove key");
}

Status KeyIndex::Seek(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                      uint64_t* recordNumber) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    if (cursor_ == nullptr) {
        s = Check(mdb_cursor_open(txn_, keys(), &cursor_), "cursor");
        if (!s.ok()) return s;
    }
    MDB_val k{};
    MDB_val v{};
    bool stepped = false;
    const int rc = SeekCursor(cursor_, key, strictlyAfter, &k, &v, &stepped);
    if (rc == MDB_NOTFOUND) return Status::Failure(Error::kEndOfKeys, "");
    s = Check(rc, "seek key");
    if (!s.ok()) return s;
    if (prefetch_ != nullptr) {
        if (!stepped)
            StartAhead(k);
        else if (aheadValid_)
            StepAhead();
    }
    if (v.mv_size != 8)
        return Status::Failure(Error::kDamaged, path_ + ": a key's value is not a record number");
    NoteMapAddress(v.mv_data);
    if (k.mv_size != key.size()) {
        return Status::Failure(Error::kDamaged,
                               path_ + " holds a key of " + std::to_string(k.mv_size) +
                                   " bytes where the key size is " + std::to_string(key.size()));
    }
    found->assign(static_cast<const char*>(k.mv_data), k.mv_size);
    if (recordNumber != nullptr)
        *recordNumber = GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data));
    // Let the map go only between keys: the cursors stay valid (they hold page numbers).
    NoteRead(stepped ? kStepBytes : kSeekBytes);
    return Status::Ok();
}

bool KeyIndex::CursorOn(std::span<const uint8_t> key, uint64_t* recordNumber) {
    if (cursor_ == nullptr) return false;
    MDB_val k{};
    MDB_val v{};
    if (mdb_cursor_get(cursor_, &k, &v, MDB_GET_CURRENT) != MDB_SUCCESS) return false;
    if (k.mv_size != key.size() || v.mv_size != 8 ||
        std::memcmp(k.mv_data, key.data(), key.size()) != 0) {
        return false;
    }
    *recordNumber = GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data));
    return true;
}

Status KeyIndex::Walk(const std::function<bool(std::span<const uint8_t>, uint64_t)>& fn) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    MDB_cursor* walk = nullptr;
    s = Check(mdb_cursor_open(txn_, keys(), &walk), "cursor");
    if (!s.ok()) return s;
    MDB_val k{};
    MDB_val v{};
    int rc = mdb_cursor_get(walk, &k, &v, MDB_FIRST);
    uint64_t steps = 0;
    while (rc == MDB_SUCCESS) {
        if (v.mv_size != 8) {
            mdb_cursor_close(walk);
            return Status::Failure(Error::kDamaged,
                                   path_ + ": a key's value is not a record number");
        }
        if (!fn({static_cast<const uint8_t*>(k.mv_data), k.mv_size},
                GetLittleEndian<uint64_t>(static_cast<const uint8_t*>(v.mv_data)))) {
            break;
        }
        rc = mdb_cursor_get(walk, &k, &v, MDB_NEXT);
        if (++steps % 4096 == 0) NoteRead(4096 * kStepBytes);
    }
    mdb_cursor_close(walk);
    if (rc != MDB_SUCCESS && rc != MDB_NOTFOUND) return Check(rc, "walk keys");
    return Status::Ok();
}

Status KeyIndex::AddMark(uint64_t recordNumber) {
    if (!writing_)
        return Status::Failure(Error::kIoError, "internal: mark outside a write transaction");
    uint8_t key[9];
    MarkKey(recordNumber, key);
    MDB_val k = Val(key, sizeof key);
    MDB_val v = Val("", 0);
    return Check(mdb_put(txn_, meta_, &k, &v, 0), "store deleted mark");
}

Status KeyIndex::LoadMarks(std::vector<uint64_t>* recordNumbers) {
    Status s = EnsureTxn();
    if (!s.ok()) return s;
    MDB_cursor* walk = nullptr;
    s = Check(mdb_cursor_open(txn_, meta_, &walk), "cursor");
    if (!s.ok()) return s;
    uint8_t first[9];
    MarkKey(0, first);
    MDB_val k = Val(first, sizeof first);
    MDB_val v{};
    int rc = mdb_cursor_get(walk, &k, &v, MDB_SET_RANGE);
    while (rc == MDB_SUCCESS && k.mv_size == 9 &&
           static_cast<const uint8_t*>(k.mv_data)[0] == 'm') {
        const auto* p = static_cast<const uint8_t*>(k.mv_data) + 1;
        recordNumbers->push_back(GetBigEndian64(p));
        rc = mdb_cursor_get(walk, &k, &v, MDB_NEXT);
    }
    mdb_cursor_close(walk);
    if (rc != MDB_SUCCESS && rc != MDB_NOTFOUND) return Check(rc, "read deleted marks");
    return Status::Ok();
}

Status KeyIndex::ClearMarks() {
    std::vector<uint64_t> marks;
    Status s = LoadMarks(&marks);
    for (size_t i = 0; s.ok() && i < marks.size(); ++i) {
        uint8_t key[9];
        MarkKey(marks[i], key);
        MDB_val k = Val(key, sizeof key);
        const int rc = mdb_del(txn_, meta_, &k, nullptr);
        if (rc != MDB_NOTFOUND) s = Check(rc, "drop deleted mark");
    }
    return s;
}

uint64_t KeyIndex::FileBytes() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace talvo::engine
