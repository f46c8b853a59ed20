// The recorder's calls on contents: reads (counted, failed on demand), writes, sizes, syncs and
// shared maps. See recorder.c.
#include "powerloss/recorder/recorder_internal.h"

REAL(ssize_t, read, int, void*, size_t)
REAL(ssize_t, __read_chk, int, void*, size_t, size_t)
REAL(ssize_t, pread, int, void*, size_t, off_t)
REAL(ssize_t, pread64, int, void*, size_t, off_t)
REAL(ssize_t, __pread_chk, int, void*, size_t, off_t, size_t)
REAL(ssize_t, __pread64_chk, int, void*, size_t, off_t, size_t)
REAL(ssize_t, readv, int, const struct iovec*, int)
REAL(ssize_t, preadv, int, const struct iovec*, int, off_t)
REAL(ssize_t, preadv64, int, const struct iovec*, int, off_t)
REAL(ssize_t, preadv2, int, const struct iovec*, int, off_t, int)
REAL(ssize_t, preadv64v2, int, const struct iovec*, int, off_t, int)
REAL(ssize_t, write, int, const void*, size_t)
REAL(ssize_t, pwrite, int, const void*, size_t, off_t)
REAL(ssize_t, pwrite64, int, const void*, size_t, off_t)
REAL(ssize_t, writev, int, const struct iovec*, int)
REAL(ssize_t, pwritev, int, const struct iovec*, int, off_t)
REAL(ssize_t, pwritev64, int, const struct iovec*, int, off_t)
REAL(ssize_t, pwritev2, int, const struct iovec*, int, off_t, int)
REAL(ssize_t, pwritev64v2, int, const struct iovec*, int, off_t, int)
REAL(int, ftruncate, int, off_t)
REAL(int, ftruncate64, int, off_t)
REAL(int, truncate, const char*, off_t)
REAL(int, truncate64, const char*, off_t)
REAL(int, fallocate, int, int, off_t, off_t)
REAL(int, posix_fallocate, int, off_t, off_t)
REAL(int, fsync, int)
REAL(int, fdatasync, int)
REAL(int, sync_file_range, int, off_t, off_t, unsigned int)
REAL(void, sync, void)
REAL(int, syncfs, int)
REAL(void*, mmap, void*, size_t, int, int, int, off_t)
REAL(void*, mmap64, void*, size_t, int, int, int, off_t)
REAL(int, munmap, void*, size_t)
REAL(int, mprotect, void*, size_t, int)

// --- Reading: counted (and failed on demand), never recorded --------------------------------------

static int ReadFault(int fd) {
    struct stat st;
    if (!Tracked(fd, &st)) return 0;
    Lock();
    const int err = Inject(0, "read");
    Unlock();
    return err;
}

#define READ_CALL(call, ...)      \
    do {                         \
        const int err = ReadFault(fd); \
        if (err != 0) {          \
            errno = err;         \
            return -1;           \
        }                        \
        return call(__VA_ARGS__); \
    } while (0)

ssize_t read(int fd, void* buf, size_t n) {
    READ_CALL(Real_read(), fd, buf, n);
}
ssize_t __read_chk(int fd, void* buf, size_t n, size_t size) {
    READ_CALL(Real___read_chk(), fd, buf, n, size);
}
ssize_t pread(int fd, void* buf, size_t n, off_t off) {
    READ_CALL(Real_pread(), fd, buf, n, off);
}
ssize_t pread64(int fd, void* buf, size_t n, off_t off) {
    READ_CALL(Real_pread64(), fd, buf, n, off);
}
ssize_t __pread_chk(int fd, void* buf, size_t n, off_t off, size_t size) {
    READ_CALL(Real___pread_chk(), fd, buf, n, off, size);
}
ssize_t __pread64_chk(int fd, void* buf, size_t n, off_t off, size_t size) {
    READ_CALL(Real___pread64_chk(), fd, buf, n, off, size);
}
ssize_t readv(int fd, const struct iovec* v, int n) {
    READ_CALL(Real_readv(), fd, v, n);
}
ssize_t preadv(int fd, const struct iovec* v, int n, off_t off) {
    READ_CALL(Real_preadv(), fd, v, n, off);
}
ssize_t preadv64(int fd, const struct iovec* v, int n, off_t off) {
    READ_CALL(Real_preadv64(), fd, v, n, off);
}
ssize_t preadv2(int fd, const struct iovec* v, int n, off_t off, int flags) {
    READ_CALL(Real_preadv2(), fd, v, n, off, flags);
}
ssize_t preadv64v2(int fd, const struct iovec* v, int n, off_t off, int flags) {
    READ_CALL(Real_preadv64v2(), fd, v, n, off, flags);
}

// --- Writing -------------------------------------------------------------------------------------

void NoteOut(int fd, const struct iovec* v, int count) {
    if (!active || busy || (fd != 1 && fd != 2)) return;
    Lock();
    size_t size = 0;
    for (int i = 0; i < count; ++i) size += v[i].iov_len;
    struct Record r = {.kind = kOut, .value = (uint64_t)fd};
    EmitV(&r, v, count, size < kOutText ? size : kOutText);
    Unlock();
}

// Where a write at `offset` (-1: the descriptor's position) lands.
static off_t WhereWritten(int fd, const struct stat* st, off_t offset, int append) {
    if (append || fds[fd].append) return st->st_size;
    if (offset >= 0) return offset;
    return lseek(fd, 0, SEEK_CUR);
}

// Records what a write that returned n put at `at`; `durable` when it was synchronous and
// succeeded.
static void AfterWrite(const struct stat* st, off_t at, const struct iovec* v, int count,
                       ssize_t n, int durable) {
    if (n > 0) {
        struct Record r = {.kind = kWrite,
                           .flags = durable ? kDurable : 0,
                           .ino = (uint64_t)st->st_ino,
                           .value = (uint64_t)at};
        EmitV(&r, v, count, (size_t)n);
    }
}

typedef ssize_t (*WriteThunk)(void* context);

// The common path of every write call: not recorded unless fd is a recorded file's.
static ssize_t WriteCommon(int fd, const struct iovec* v, int count, off_t offset, int append,
                           int sync, WriteThunk call, void* context) {
    struct stat st;
    if (!Tracked(fd, &st)) {
        NoteOut(fd, v, count);
        return call(context);
    }
    Lock();
    const int synchronous = sync || fds[fd].sync;
    const int err = Inject(1, synchronous ? "dsync-write" : "write");
    if (err != 0 && !(synchronous && !IsSpaceError(err))) {
        Unlock();
        errno = err;
        return -1;
    }
    const off_t at = WhereWritten(fd, &st, offset, append);
    const ssize_t n = call(context);
    const int saved = errno;
    // A synchronous write that fails for want of anything but space has reached the system's
    // cache, and not the disk.
    AfterWrite(&st, at, v, count, n, synchronous && err == 0);
    Unlock();
    if (err != 0) {
        errno = err;
        return -1;
    }
    errno = saved;
    return n;
}

struct WriteArgs {
    int fd;
    const void* buf;
    size_t n;
    const struct iovec* v;
    int count;
    off_t off;
    int flags;
};

static ssize_t ThunkWrite(void* c) {
    struct WriteArgs* a = c;
    return Real_write()(a->fd, a->buf, a->n);
}
static ssize_t ThunkPwrite(void* c) {
    struct WriteArgs* a = c;
    return Real_pwrite()(a->fd, a->buf, a->n, a->off);
}
static ssize_t ThunkPwrite64(void* c) {
    struct WriteArgs* a = c;
    return Real_pwrite64()(a->fd, a->buf, a->n, a->off);
}
static ssize_t ThunkWritev(void* c) {
    struct WriteArgs* a = c;
    return Real_writev()(a->fd, a->v, a->count);
}
static ssize_t ThunkPwritev(void* c) {
    struct WriteArgs* a = c;
    return Real_pwritev()(a->fd, a->v, a->count, a->off);
}
static ssize_t ThunkPwritev64(void* c) {
    struct WriteArgs* a = c;
    return Real_pwritev64()(a->fd, a->v, a->count, a->off);
}
static ssize_t ThunkPwritev2(void* c) {
    struct WriteArgs* a = c;
    return Real_pwritev2()(a->fd, a->v, a->count, a->off, a->flags);
}
static ssize_t ThunkPwritev64v2(void* c) {
    struct WriteArgs* a = c;
    return Real_pwritev64v2()(a->fd, a->v, a->count, a->off, a->flags);
}

ssize_t write(int fd, const void* buf, size_t n) {
    struct WriteArgs a = {.fd = fd, .buf = buf, .n = n};
    struct iovec v = {(void*)buf, n};
    return WriteCommon(fd, &v, 1, -1, 0, 0, ThunkWrite, &a);
}
ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
    struct WriteArgs a = {.fd = fd, .buf = buf, .n = n, .off = off};
    struct iovec v = {(void*)buf, n};
    return WriteCommon(fd, &v, 1, off, 0, 0, ThunkPwrite, &a);
}
ssize_t pwrite64(int fd, const void* buf, size_t n, off_t off) {
    struct WriteArgs a = {.fd = fd, .buf = buf, .n = n, .off = off};
    struct iovec v = {(void*)buf, n};
    return WriteCommon(fd, &v, 1, off, 0, 0, ThunkPwrite64, &a);
}
ssize_t writev(int fd, const struct iovec* v, int count) {
    struct WriteArgs a = {.fd = fd, .v = v, .count = count};
    return WriteCommon(fd, v, count, -1, 0, 0, ThunkWritev, &a);
}
ssize_t pwritev(int fd, const struct iovec* v, int count, off_t off) {
    struct WriteArgs a = {.fd = fd, .v = v, .count = count, .off = off};
    return WriteCommon(fd, v, count, off, 0, 0, ThunkPwritev, &a);
}
ssize_t pwritev64(int fd, const struct iovec* v, int count, off_t off) {
    struct WriteArgs a = {.fd = fd, .v = v, .count = count, .off = off};
    return WriteCommon(fd, v, count, off, 0, 0, ThunkPwritev64, &a);
}
ssize_t pwritev2(int fd, const struct iovec* v, int count, off_t off, int flags) {
    struct WriteArgs a = {.fd = fd, .v = v, .count = count, .off = off, .flags = flags};
    return WriteCommon(fd, v, count, off, (flags & RWF_APPEND) != 0,
                       (flags & (RWF_DSYNC | RWF_SYNC)) != 0, ThunkPwritev2, &a);
}
ssize_t pwritev64v2(int fd, const struct iovec* v, int count, off_t off, int flags) {
    struct WriteArgs a = {.fd = fd, .v = v, .count = count, .off = off, .flags = flags};
    return WriteCommon(fd, v, count, off, (flags & RWF_APPEND) != 0,
                       (flags & (RWF_DSYNC | RWF_SYNC)) != 0, ThunkPwritev64v2, &a);
}

// --- Sizes ---------------------------------------------------------------------------------------

static void NoteSize(uint64_t ino, uint64_t length) {
    struct Record r = {.kind = kTruncate, .ino = ino, .value = length};
    Emit(&r, NULL, 0);
}

static int TruncateFd(ftruncate_fn real, int fd, off_t length) {
    struct stat st;
    if (!Tracked(fd, &st)) return real(fd, length);
    Lock();
    const int err = Inject(0, "ftruncate");
    if (err != 0) {
        Unlock();
        errno = err;
        return -1;
    }
    const int rc = real(fd, length);
    const int saved = errno;
    if (rc == 0) NoteSize((uint64_t)st.st_ino, (uint64_t)length);
    Unlock();
    errno = saved;
    return rc;
}

int ftruncate(int fd, off_t length) {
    return TruncateFd(Real_ftruncate(), fd, length);
}
int ftruncate64(int fd, off_t length) {
    return TruncateFd((ftruncate_fn)Real_ftruncate64(), fd, length);
}

static int TruncatePath(truncate_fn real, const char* path, off_t length) {
    struct stat st;
    if (!active || busy || stat(path, &st) != 0 || !IsKnown(&st)) return real(path, length);
    Lock();
    const int err = Inject(0, "truncate");
    if (err != 0) {
        Unlock();
        errno = err;
        return -1;
    }
    const int rc = real(path, length);
    const int saved = errno;
    if (rc == 0) NoteSize((uint64_t)st.st_ino, (uint64_t)length);
    Unlock();
    errno = saved;
    return rc;
}

int truncate(const char* path, off_t length) {
    return TruncatePath(Real_truncate(), path, length);
}
int truncate64(const char* path, off_t length) {
    return TruncatePath((truncate_fn)Real_truncate64(), path, length);
}

// The change an allocation made, recorded as a size or as zeros written.
static void AfterAllocate(int fd, const struct stat* before, int mode, off_t offset, off_t length) {
    struct stat after;
    if (fstat(fd, &after) != 0) return;
    if (mode & (FALLOC_FL_PUNCH_HOLE | FALLOC_FL_ZERO_RANGE)) {
        const uint64_t end = (uint64_t)offset + (uint64_t)length;
        const uint64_t stop = end < (uint64_t)after.st_size ? end : (uint64_t)after.st_size;
        if (stop > (uint64_t)offset) {
            const size_t n = (size_t)(stop - (uint64_t)offset);
            void* zeros = calloc(1, n);
            if (zeros == NULL) Unhandled("no memory to record an allocation");
            struct Record r = {.kind = kWrite, .ino = (uint64_t)after.st_ino, .value = (uint64_t)offset};
            Emit(&r, zeros, n);
            free(zeros);
        }
    }
    if (after.st_size != before->st_size) NoteSize((uint64_t)after.st_ino, (uint64_t)after.st_size);
}

static int AllocateCommon(int fd, int mode, off_t offset, off_t length, int posix) {
    struct stat st;
    const int tracked = Tracked(fd, &st);
    if (tracked && (mode & ~(FALLOC_FL_KEEP_SIZE | FALLOC_FL_PUNCH_HOLE | FALLOC_FL_ZERO_RANGE))) {
        Unhandled("fallocate that moves a file's bytes");
    }
    if (tracked) {
        Lock();
        const int err = Inject(1, "fallocate");
        if (err != 0) {
            Unlock();
            if (posix) return err;
            errno = err;
            return -1;
        }
    }
    int rc;
    if (posix)
        rc = Real_posix_fallocate()(fd, offset, length);
    else
        rc = Real_fallocate()(fd, mode, offset, length);
    if (tracked) {
        const int saved = errno;
        if (rc == 0) AfterAllocate(fd, &st, mode, offset, length);
        Unlock();
        errno = saved;
    }
    return rc;
}

int fallocate(int fd, int mode, off_t offset, off_t length) {
    return AllocateCommon(fd, mode, offset, length, 0);
}
int fallocate64(int fd, int mode, off_t offset, off_t length) {
    return AllocateCommon(fd, mode, offset, length, 0);
}
int posix_fallocate(int fd, off_t offset, off_t length) {
    return AllocateCommon(fd, 0, offset, length, 1);
}
int posix_fallocate64(int fd, off_t offset, off_t length) {
    return AllocateCommon(fd, 0, offset, length, 1);
}

// --- Durability ----------------------------------------------------------------------------------

static int SyncCommon(int (*real)(int), int fd, const char* what) {
    struct stat st;
    if (!Tracked(fd, &st)) return real(fd);
    Lock();
    const int err = Inject(1, what);
    int rc;
    int saved;
    if (err != 0) {
        rc = -1;
        saved = err;
    } else {
        rc = real(fd);
        saved = errno;
    }
    struct Record r = {.kind = kSync, .flags = rc == 0 ? 0 : kFailed, .ino = (uint64_t)st.st_ino};
    Emit(&r, NULL, 0);
    Unlock();
    errno = saved;
    return rc;
}

int fsync(int fd) {
    return SyncCommon(Real_fsync(), fd, "fsync");
}
int fdatasync(int fd) {
    return SyncCommon(Real_fdatasync(), fd, "fdatasync");
}

// Starts write-back only: nothing becomes durable by it.
int sync_file_range(int fd, off_t offset, off_t count, unsigned int flags) {
    struct stat st;
    if (Tracked(fd, &st)) {
        Lock();
        const int err = Inject(0, "sync_file_range");
        Unlock();
        if (err != 0) {
            errno = err;
            return -1;
        }
    }
    return Real_sync_file_range()(fd, offset, count, flags);
}

void sync(void) {
    Real_sync()();
    if (active && !busy) {
        Lock();
        struct Record r = {.kind = kSyncAll};
        Emit(&r, NULL, 0);
        Unlock();
    }
}

int syncfs(int fd) {
    if (!active || busy) return Real_syncfs()(fd);
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_dev != rootDev) return Real_syncfs()(fd);
    Lock();
    const int err = Inject(1, "syncfs");
    if (err != 0) {
        Unlock();
        errno = err;
        return -1;
    }
    const int rc = Real_syncfs()(fd);
    const int saved = errno;
    if (rc == 0) {
        struct Record r = {.kind = kSyncAll};
        Emit(&r, NULL, 0);
    }
    Unlock();
    errno = saved;
    return rc;
}

// --- Maps ----------------------------------------------------------------------------------------

struct SharedMap {
    uintptr_t start;
    size_t length;
    uint64_t ino;
    int writable;  // its descriptor could write: a later mprotect can make it a writing map
};

static struct SharedMap* maps;
static size_t mapCount;
static size_t mapCap;

static void NoteMap(void* at, size_t length, uint64_t ino, int writable) {
    if (mapCount == mapCap) {
        const size_t cap = mapCap == 0 ? 16 : mapCap * 2;
        struct SharedMap* grown = realloc(maps, cap * sizeof *grown);
        if (grown == NULL) Unhandled("no memory to record a map");
        maps = grown;
        mapCap = cap;
    }
    maps[mapCount].start = (uintptr_t)at;
    maps[mapCount].length = length;
    maps[mapCount].ino = ino;
    maps[mapCount].writable = writable;
    ++mapCount;
}

static void MarkShared(uint64_t ino) {
    struct Record r = {.kind = kMapShared, .ino = ino};
    Emit(&r, NULL, 0);
}

static void* MapCommon(mmap_fn real, void* addr, size_t length, int prot, int flags, int fd,
                       off_t offset) {
    struct stat st;
    const int shared = (flags & MAP_SHARED) || (flags & MAP_SHARED_VALIDATE) == MAP_SHARED_VALIDATE;
    if (!shared || !Tracked(fd, &st)) return real(addr, length, prot, flags, fd, offset);
    Lock();
    void* at = real(addr, length, prot, flags, fd, offset);
    const int saved = errno;
    if (at != MAP_FAILED) {
        if (prot & PROT_WRITE) MarkShared((uint64_t)st.st_ino);
        NoteMap(at, length, (uint64_t)st.st_ino, fds[fd].writable);
    }
    Unlock();
    errno = saved;
    return at;
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return MapCommon(Real_mmap(), addr, length, prot, flags, fd, offset);
}
void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return MapCommon((mmap_fn)Real_mmap64(), addr, length, prot, flags, fd, offset);
}

int munmap(void* addr, size_t length) {
    if (active && mapCount != 0) {
        Lock();
        const uintptr_t start = (uintptr_t)addr;
        for (size_t i = 0; i < mapCount;) {
            if (maps[i].start >= start && maps[i].start + maps[i].length <= start + length) {
                maps[i] = maps[--mapCount];
            } else {
                ++i;
            }
        }
        Unlock();
    }
    return Real_munmap()(addr, length);
}

int mprotect(void* addr, size_t length, int prot) {
    if (active && (prot & PROT_WRITE) && mapCount != 0) {
        Lock();
        const uintptr_t start = (uintptr_t)addr;
        for (size_t i = 0; i < mapCount; ++i) {
            if (maps[i].writable && maps[i].start < start + length &&
                start < maps[i].start + maps[i].length) {
                MarkShared(maps[i].ino);
            }
        }
        Unlock();
    }
    return Real_mprotect()(addr, length, prot);
}

