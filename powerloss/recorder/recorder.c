// The recorder: a library loaded into a program with LD_PRELOAD that records, in the log named
// by $POWERLOSS_LOG, every change that reaches the files under the folder $POWERLOSS_ROOT, in the
// form of powerloss/log_format.h: creations, writes with offset and bytes, truncations, syncs of
// files and folders, links, renames, removals, shared writable maps. It stands in front of the C
// library's functions, so it sees the calls of the program and of every library it uses (LMDB
// calls pwrite, writev and fdatasync through the C library like anyone else).
//
// With $POWERLOSS_FAIL_AT=N and $POWERLOSS_FAIL_ERRNO=EIO (or ENOSPC, EDQUOT, EFBIG, EROFS,
// EACCES...) it fails the N-th I/O call on a recorded file with that error instead of making it:
// space errors count only the calls that can run out of space (writes, syncs, allocations,
// creations, links, renames), other errors count every call (reads and opens as well).
//
// Nothing may escape it: a call that would change a recorded file in a way it cannot record
// (stdio writes, copy_file_range into one, a rename that exchanges two names, a file from
// outside linked in) stops the program with a message on standard error and a kUnhandled record.
// Calls the C library makes inside itself (an fclose flushing its buffer) cannot be seen; the
// runner therefore compares the folder with what the log says it holds after every program.
//
// Written in C: it defines the C library's own functions, whose declarations in C++ carry
// exception specifications that would have to match one by one. It includes no <stdio.h>, so
// that the stdio functions it defines meet no inline versions of them.
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE 1

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/falloc.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

typedef struct _IO_FILE FILE;
extern FILE* stdout;
extern FILE* stderr;
extern int fileno(FILE* stream);

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif
#ifndef RENAME_WHITEOUT
#define RENAME_WHITEOUT (1 << 2)
#endif

// --- The log (see log_format.h) ----------------------------------------------------------------

enum {
    kRoot = 1,
    kBaseEntry = 2,
    kStart = 3,
    kCreate = 10,
    kTmpFile = 11,
    kMkdir = 12,
    kSymlink = 13,
    kLink = 14,
    kUnlink = 15,
    kRename = 16,
    kWrite = 20,
    kTruncate = 21,
    kSync = 30,
    kSyncAll = 31,
    kMapShared = 32,
    kOut = 40,
    kFault = 41,
    kCalls = 42,
    kUnhandled = 44,
};
enum { kFailed = 1, kDurable = 2 };
enum { kHeaderSize = 56, kOutText = 240 };

struct Record {
    uint8_t kind;
    uint8_t flags;
    uint64_t ino;
    uint64_t parent;
    uint64_t parent2;
    uint64_t value;
    const char* name;
    const char* name2;
};

static void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = (uint8_t)(v >> (8 * i));
}
static void Put64(uint8_t* at, uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = (uint8_t)(v >> (8 * i));
}

// --- State ---------------------------------------------------------------------------------------

struct FdInfo {
    uint64_t ino;
    uint8_t tracked;
    uint8_t dir;
    uint8_t append;
    uint8_t sync;
    uint8_t writable;
};

struct SharedMap {
    uintptr_t start;
    size_t length;
    uint64_t ino;
    int writable;  // its descriptor could write: a later mprotect can make it a writing map
};

static int active;
static int logFd = -1;
static dev_t rootDev;
static pthread_mutex_t lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
static __thread int busy;  // inside the recorder: calls pass straight through

static uint64_t* known;  // inode numbers of recorded files, open addressing (0 = empty)
static size_t knownCap;
static size_t knownCount;

static struct FdInfo* fds;
static int fdCap;

static struct SharedMap* maps;
static size_t mapCount;
static size_t mapCap;

static uint64_t failAt;
static int failErrno;
static int failIsSpace;
static const char* failCall;  // only calls of this name count towards failAt
static uint64_t failCount;
static uint64_t ioCalls;
static uint64_t spaceCalls;

// --- Real functions ------------------------------------------------------------------------------

static void* Next(const char* name) {
    return dlsym(RTLD_NEXT, name);
}

// Declares `static T real_NAME` resolved on first use.
#define REAL(ret, name, ...)                          \
    typedef ret (*name##_fn)(__VA_ARGS__);            \
    static name##_fn Real_##name(void) {              \
        static name##_fn fn;                          \
        if (fn == NULL) {                             \
            union {                                   \
                void* p;                              \
                name##_fn f;                          \
            } u;                                      \
            u.p = Next(#name);                        \
            fn = u.f;                                 \
        }                                             \
        return fn;                                    \
    }

REAL(int, open, const char*, int, ...)
REAL(int, open64, const char*, int, ...)
REAL(int, openat, int, const char*, int, ...)
REAL(int, openat64, int, const char*, int, ...)
REAL(int, __open_2, const char*, int)
REAL(int, __open64_2, const char*, int)
REAL(int, __openat_2, int, const char*, int)
REAL(int, __openat64_2, int, const char*, int)
REAL(FILE*, fopen, const char*, const char*)
REAL(FILE*, fopen64, const char*, const char*)
REAL(FILE*, freopen, const char*, const char*, FILE*)
REAL(FILE*, freopen64, const char*, const char*, FILE*)
REAL(int, fclose, FILE*)
REAL(int, mkstemp, char*)
REAL(int, mkstemp64, char*)
REAL(int, mkostemp, char*, int)
REAL(int, mkostemp64, char*, int)
REAL(int, mkstemps, char*, int)
REAL(int, mkstemps64, char*, int)
REAL(int, mkostemps, char*, int, int)
REAL(int, mkostemps64, char*, int, int)
REAL(int, close, int)
REAL(int, close_range, unsigned, unsigned, int)
REAL(int, dup, int)
REAL(int, dup2, int, int)
REAL(int, dup3, int, int, int)
REAL(int, fcntl, int, int, ...)
REAL(int, fcntl64, int, int, ...)
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
REAL(int, rename, const char*, const char*)
REAL(int, renameat, int, const char*, int, const char*)
REAL(int, renameat2, int, const char*, int, const char*, unsigned int)
REAL(int, link, const char*, const char*)
REAL(int, linkat, int, const char*, int, const char*, int)
REAL(int, unlink, const char*)
REAL(int, unlinkat, int, const char*, int)
REAL(int, rmdir, const char*)
REAL(int, remove, const char*)
REAL(int, mkdir, const char*, mode_t)
REAL(int, mkdirat, int, const char*, mode_t)
REAL(int, symlink, const char*, const char*)
REAL(int, symlinkat, const char*, int, const char*)
REAL(ssize_t, copy_file_range, int, off_t*, int, off_t*, size_t, unsigned int)
REAL(ssize_t, sendfile, int, int, off_t*, size_t)
REAL(ssize_t, sendfile64, int, int, off_t*, size_t)
REAL(ssize_t, splice, int, off_t*, int, off_t*, size_t, unsigned int)
REAL(size_t, fwrite, const void*, size_t, size_t, FILE*)
REAL(size_t, fwrite_unlocked, const void*, size_t, size_t, FILE*)
REAL(int, fputs, const char*, FILE*)
REAL(int, fputs_unlocked, const char*, FILE*)
REAL(int, puts, const char*)
REAL(int, fputc, int, FILE*)
REAL(int, fputc_unlocked, int, FILE*)
REAL(int, putc, int, FILE*)
REAL(int, putc_unlocked, int, FILE*)
REAL(int, _IO_putc, int, FILE*)
REAL(int, putchar, int)
REAL(int, vfprintf, FILE*, const char*, va_list)
REAL(int, __vfprintf_chk, FILE*, int, const char*, va_list)

// --- Small helpers -------------------------------------------------------------------------------

static void Lock(void) {
    pthread_mutex_lock(&lock);
    ++busy;
}
static void Unlock(void) {
    --busy;
    pthread_mutex_unlock(&lock);
}

static size_t Length(const char* s) {
    return s == NULL ? 0 : strlen(s);
}

static void Say(const char* text) {
    size_t n = strlen(text);
    while (n > 0) {
        const long w = syscall(SYS_write, 2, text, n);
        if (w <= 0) return;
        text += w;
        n -= (size_t)w;
    }
}

// Appends one record; the data comes from `data` (count iovecs, `size` bytes in all, cut to it).
static void EmitV(const struct Record* r, const struct iovec* data, int count, size_t size) {
    if (logFd < 0) return;
    const size_t n1 = Length(r->name);
    const size_t n2 = Length(r->name2);
    uint8_t header[kHeaderSize];
    memset(header, 0, sizeof header);
    memcpy(header, "PLR1", 4);
    Put32(header + 4, (uint32_t)(kHeaderSize + n1 + n2 + size));
    header[8] = r->kind;
    header[9] = r->flags;
    Put32(header + 12, (uint32_t)syscall(SYS_getpid));
    Put64(header + 16, r->ino);
    Put64(header + 24, r->parent);
    Put64(header + 32, r->parent2);
    Put64(header + 40, r->value);
    Put32(header + 48, (uint32_t)n1);
    Put32(header + 52, (uint32_t)n2);

    // One write per record (the log is opened O_APPEND): gather everything into one buffer.
    const size_t total = kHeaderSize + n1 + n2 + size;
    uint8_t* buffer = malloc(total);
    if (buffer == NULL) {
        Say("powerloss recorder: no memory for the log\n");
        abort();
    }
    uint8_t* at = buffer;
    memcpy(at, header, kHeaderSize);
    at += kHeaderSize;
    if (n1 != 0) memcpy(at, r->name, n1);
    at += n1;
    if (n2 != 0) memcpy(at, r->name2, n2);
    at += n2;
    size_t left = size;
    for (int i = 0; i < count && left > 0; ++i) {
        const size_t take = data[i].iov_len < left ? data[i].iov_len : left;
        memcpy(at, data[i].iov_base, take);
        at += take;
        left -= take;
    }
    const long w = syscall(SYS_write, logFd, buffer, total);
    free(buffer);
    if (w != (long)total) {
        Say("powerloss recorder: cannot write the log\n");
        abort();
    }
}

static void Emit(const struct Record* r, const void* data, size_t size) {
    struct iovec v = {(void*)data, size};
    EmitV(r, &v, 1, size);
}

// Stops the program: a call on a recorded file that the log cannot express.
static void Unhandled(const char* what) {
    struct Record r = {.kind = kUnhandled};
    Emit(&r, what, strlen(what));
    Say("powerloss recorder: unhandled call on a recorded file: ");
    Say(what);
    Say("\n");
    abort();
}

// --- Known inodes --------------------------------------------------------------------------------

static size_t Slot(uint64_t ino, size_t cap) {
    uint64_t h = ino * 0x9E3779B97F4A7C15ull;
    return (size_t)(h >> 16) & (cap - 1);
}

static void AddKnown(uint64_t ino) {
    if (ino == 0) return;
    if ((knownCount + 1) * 2 > knownCap) {
        const size_t cap = knownCap == 0 ? 1024 : knownCap * 2;
        uint64_t* table = calloc(cap, sizeof *table);
        if (table == NULL) {
            Say("powerloss recorder: no memory\n");
            abort();
        }
        for (size_t i = 0; i < knownCap; ++i) {
            if (known[i] == 0) continue;
            size_t s = Slot(known[i], cap);
            while (table[s] != 0) s = (s + 1) & (cap - 1);
            table[s] = known[i];
        }
        free(known);
        known = table;
        knownCap = cap;
    }
    size_t s = Slot(ino, knownCap);
    while (known[s] != 0) {
        if (known[s] == ino) return;
        s = (s + 1) & (knownCap - 1);
    }
    known[s] = ino;
    ++knownCount;
}

static int IsKnownIno(uint64_t ino) {
    if (knownCap == 0 || ino == 0) return 0;
    size_t s = Slot(ino, knownCap);
    while (known[s] != 0) {
        if (known[s] == ino) return 1;
        s = (s + 1) & (knownCap - 1);
    }
    return 0;
}

static int IsKnown(const struct stat* st) {
    return st->st_dev == rootDev && IsKnownIno((uint64_t)st->st_ino);
}

// --- Descriptors ---------------------------------------------------------------------------------

static void Untrack(int fd) {
    if (fd >= 0 && fd < fdCap) memset(&fds[fd], 0, sizeof fds[fd]);
}

static void Track(int fd, const struct stat* st, int flags) {
    if (fd < 0) return;
    if (fd >= fdCap) Unhandled("a descriptor number beyond the recorder's table");
    fds[fd].ino = (uint64_t)st->st_ino;
    fds[fd].tracked = 1;
    fds[fd].dir = S_ISDIR(st->st_mode) ? 1 : 0;
    fds[fd].append = (flags & O_APPEND) != 0;
    fds[fd].sync = (flags & O_DSYNC) != 0;  // O_SYNC includes it
    fds[fd].writable = (flags & O_ACCMODE) != O_RDONLY;
}

static void CopyTrack(int from, int to) {
    if (to < 0) return;
    if (from >= 0 && from < fdCap && fds[from].tracked) {
        if (to >= fdCap) Unhandled("a descriptor number beyond the recorder's table");
        fds[to] = fds[from];
    } else {
        Untrack(to);
    }
}

// Whether fd is a recorded file's descriptor (checked against what it refers to now: a number
// the C library reused inside itself is let go). *st receives its status.
static int Tracked(int fd, struct stat* st) {
    if (!active || busy || fd < 0 || fd >= fdCap || !fds[fd].tracked) return 0;
    if (fstat(fd, st) != 0 || st->st_dev != rootDev || (uint64_t)st->st_ino != fds[fd].ino) {
        Untrack(fd);
        return 0;
    }
    return 1;
}

// --- Paths ---------------------------------------------------------------------------------------

// Splits (dirfd, path) into its folder and last name; *parent receives the folder's status.
// False when the folder cannot be examined (the call then fails by itself, or is not ours).
static int ParentOf(int dirfd, const char* path, struct stat* parent, char name[NAME_MAX + 1]) {
    if (path == NULL) return 0;
    char copy[PATH_MAX];
    size_t n = strlen(path);
    if (n == 0 || n >= sizeof copy) return 0;
    memcpy(copy, path, n + 1);
    while (n > 1 && copy[n - 1] == '/') copy[--n] = '\0';
    char* slash = strrchr(copy, '/');
    const char* last = slash == NULL ? copy : slash + 1;
    if (strlen(last) > NAME_MAX) return 0;
    strcpy(name, last);
    int rc;
    if (slash == NULL) {
        rc = fstatat(dirfd, ".", parent, 0);
    } else if (slash == copy) {
        rc = fstatat(dirfd, "/", parent, 0);
    } else {
        *slash = '\0';
        rc = fstatat(dirfd, copy, parent, 0);
    }
    return rc == 0;
}

static int ParentKnown(int dirfd, const char* path, struct stat* parent, char name[NAME_MAX + 1]) {
    return ParentOf(dirfd, path, parent, name) && IsKnown(parent);
}

static void CheckName(const char* name) {
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || name[0] == '\0') {
        Unhandled("a change of a folder named by \".\" or \"..\"");
    }
}

// --- Failure injection ---------------------------------------------------------------------------

static int IsSpaceError(int err) {
    return err == ENOSPC || err == EDQUOT || err == EFBIG;
}

// Counts one I/O call on a recorded file; the error number to fail it with, or 0 to make it.
static int Inject(int canRunOutOfSpace, const char* what) {
    ++ioCalls;
    if (canRunOutOfSpace) ++spaceCalls;
    if (failAt == 0) return 0;
    if (failIsSpace && !canRunOutOfSpace) return 0;
    if (failCall != NULL && strcmp(failCall, what) != 0) return 0;
    const uint64_t number = ++failCount;
    if (number != failAt) return 0;
    struct Record r = {.kind = kFault, .ino = number, .value = (uint64_t)failErrno};
    Emit(&r, what, strlen(what));
    failAt = 0;  // once
    return failErrno;
}

// --- Start and end -------------------------------------------------------------------------------

static void WalkKnown(int dirfd) {
    DIR* d = fdopendir(dirfd);
    if (d == NULL) {
        close(dirfd);
        return;
    }
    struct dirent* e;
    while ((e = readdir(d)) != NULL) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (fstatat(dirfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (st.st_dev != rootDev) Unhandled("another file system mounted inside the recorded folder");
        AddKnown((uint64_t)st.st_ino);
        if (S_ISDIR(st.st_mode)) {
            const int sub = (int)syscall(SYS_openat, dirfd, e->d_name,
                                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) WalkKnown(sub);
        }
    }
    closedir(d);
}

static int ErrnoByName(const char* name) {
    static const struct {
        const char* name;
        int value;
        int space;
    } table[] = {{"EIO", EIO, 0},       {"ENOSPC", ENOSPC, 1}, {"EDQUOT", EDQUOT, 1},
                 {"EFBIG", EFBIG, 1},   {"EROFS", EROFS, 0},   {"EACCES", EACCES, 0},
                 {"EPERM", EPERM, 0},   {"ENOMEM", ENOMEM, 0}, {"EINTR", EINTR, 0}};
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i) {
        if (strcmp(name, table[i].name) == 0) {
            failIsSpace = table[i].space;
            return table[i].value;
        }
    }
    return 0;
}

__attribute__((constructor)) static void Start(void) {
    const char* root = getenv("POWERLOSS_ROOT");
    const char* log = getenv("POWERLOSS_LOG");
    if (root == NULL || log == NULL || *root == '\0' || *log == '\0') return;
    char resolved[PATH_MAX];
    if (realpath(root, resolved) == NULL) {
        Say("powerloss recorder: the recorded folder cannot be found\n");
        abort();
    }
    struct stat st;
    if (stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode)) {
        Say("powerloss recorder: the recorded folder is not a folder\n");
        abort();
    }
    rootDev = st.st_dev;
    AddKnown((uint64_t)st.st_ino);
    const int dirfd = (int)syscall(SYS_openat, AT_FDCWD, resolved, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) WalkKnown(dirfd);

    const int fd =
        (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        Say("powerloss recorder: cannot open the log\n");
        abort();
    }
    struct stat logSt;
    if (fstat(fd, &logSt) == 0 && IsKnown(&logSt)) {
        Say("powerloss recorder: the log lies inside the recorded folder\n");
        abort();
    }
    // Out of the way of the program's own descriptor numbers.
    logFd = (int)syscall(SYS_fcntl, fd, F_DUPFD_CLOEXEC, 1000);
    syscall(SYS_close, fd);
    if (logFd < 0) {
        Say("powerloss recorder: cannot keep the log open\n");
        abort();
    }

    struct rlimit limit;
    fdCap = 65536;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_max != RLIM_INFINITY &&
        limit.rlim_max > (rlim_t)fdCap) {
        fdCap = limit.rlim_max > (1u << 20) ? (1 << 20) : (int)limit.rlim_max;
    }
    if (logFd >= fdCap) fdCap = logFd + 1;
    fds = calloc((size_t)fdCap, sizeof *fds);
    if (fds == NULL) {
        Say("powerloss recorder: no memory\n");
        abort();
    }

    const char* at = getenv("POWERLOSS_FAIL_AT");
    const char* error = getenv("POWERLOSS_FAIL_ERRNO");
    if (at != NULL && *at != '\0') {
        failAt = strtoull(at, NULL, 10);
        failErrno = error != NULL && *error != '\0' ? ErrnoByName(error) : EIO;
        const char* call = getenv("POWERLOSS_FAIL_CALL");
        if (call != NULL && *call != '\0') failCall = call;
        if (failErrno == 0) {
            Say("powerloss recorder: POWERLOSS_FAIL_ERRNO names no error it can inject\n");
            abort();
        }
    }

    // The program's arguments.
    char args[4096];
    size_t got = 0;
    const int cmd = (int)syscall(SYS_openat, AT_FDCWD, "/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (cmd >= 0) {
        long n;
        while (got < sizeof args && (n = syscall(SYS_read, cmd, args + got, sizeof args - got)) > 0)
            got += (size_t)n;
        syscall(SYS_close, cmd);
    }
    struct Record r = {.kind = kStart};
    Emit(&r, args, got);
    active = 1;
}

__attribute__((destructor)) static void End(void) {
    if (!active) return;
    Lock();
    struct Record r = {.kind = kCalls, .ino = ioCalls, .value = spaceCalls};
    Emit(&r, NULL, 0);
    active = 0;
    Unlock();
}

// --- Opening -------------------------------------------------------------------------------------

struct OpenCall {
    int kind;  // which real function
    int dirfd;
    const char* path;
    int flags;
    mode_t mode;
    const char* fmode;  // fopen
    FILE* reuse;        // freopen
    char* templ;        // mkstemp family
    int suffix;
    FILE* file;  // out: fopen's result
};

enum {
    kOpen,
    kOpen64,
    kOpenat,
    kOpenat64,
    kOpen2,
    kOpen642,
    kOpenat2,
    kOpenat642,
    kFopen,
    kFopen64,
    kFreopen,
    kFreopen64,
};

static int DoOpen(struct OpenCall* c) {
    switch (c->kind) {
        case kOpen:
            return Real_open()(c->path, c->flags, c->mode);
        case kOpen64:
            return Real_open64()(c->path, c->flags, c->mode);
        case kOpenat:
            return Real_openat()(c->dirfd, c->path, c->flags, c->mode);
        case kOpenat64:
            return Real_openat64()(c->dirfd, c->path, c->flags, c->mode);
        case kOpen2:
            return Real___open_2()(c->path, c->flags);
        case kOpen642:
            return Real___open64_2()(c->path, c->flags);
        case kOpenat2:
            return Real___openat_2()(c->dirfd, c->path, c->flags);
        case kOpenat642:
            return Real___openat64_2()(c->dirfd, c->path, c->flags);
        case kFopen:
        case kFopen64:
        case kFreopen:
        case kFreopen64:
            c->file = c->kind == kFopen     ? Real_fopen()(c->path, c->fmode)
                      : c->kind == kFopen64 ? Real_fopen64()(c->path, c->fmode)
                      : c->kind == kFreopen ? Real_freopen()(c->path, c->fmode, c->reuse)
                                            : Real_freopen64()(c->path, c->fmode, c->reuse);
            return c->file == NULL ? -1 : fileno(c->file);
    }
    errno = ENOSYS;
    return -1;
}

static int FlagsOfMode(const char* mode) {
    int flags = 0;
    switch (mode[0]) {
        case 'r':
            flags = O_RDONLY;
            break;
        case 'w':
            flags = O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags = O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    for (const char* p = mode + 1; *p != '\0' && *p != ','; ++p) {
        if (*p == '+') flags = (flags & ~O_ACCMODE) | O_RDWR;
        if (*p == 'x') flags |= O_EXCL;
    }
    return flags;
}

static int OpenCommon(struct OpenCall* c) {
    if (!active || busy) return DoOpen(c);
    Lock();
    const int flags = c->flags;
    const int tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
    struct stat target;
    const int exists =
        fstatat(c->dirfd, c->path, &target, (flags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0;
    struct stat parent;
    char name[NAME_MAX + 1];
    const int creating = !tmpfile && (flags & O_CREAT) && !exists &&
                         ParentKnown(c->dirfd, c->path, &parent, name);
    const int relevant = (exists && IsKnown(&target)) || creating;
    if (!relevant) {
        Unlock();
        return DoOpen(c);
    }
    if (creating) {
        struct stat link;
        if (fstatat(c->dirfd, c->path, &link, AT_SYMLINK_NOFOLLOW) == 0) {
            Unhandled("a file created through a symbolic link");
        }
        CheckName(name);
    }
    const int err = Inject(creating || tmpfile, "open");
    if (err != 0) {
        Unlock();
        errno = err;
        return -1;
    }
    const int fd = DoOpen(c);
    const int saved = errno;
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) {
        if (tmpfile) {
            struct Record r = {.kind = kTmpFile, .ino = (uint64_t)st.st_ino};
            Emit(&r, NULL, 0);
            AddKnown((uint64_t)st.st_ino);
        } else if (creating) {
            // A new inode, even when its number is one a removed file had.
            struct Record r = {.kind = kCreate,
                               .ino = (uint64_t)st.st_ino,
                               .parent = (uint64_t)parent.st_ino,
                               .name = name};
            Emit(&r, NULL, 0);
            AddKnown((uint64_t)st.st_ino);
        } else if (IsKnown(&st) && (flags & O_TRUNC) && (flags & O_ACCMODE) != O_RDONLY &&
                   S_ISREG(st.st_mode)) {
            struct Record r = {.kind = kTruncate, .ino = (uint64_t)st.st_ino, .value = 0};
            Emit(&r, NULL, 0);
        }
        if (IsKnown(&st)) Track(fd, &st, flags);
    }
    Unlock();
    errno = saved;
    return fd;
}

static mode_t ModeArg(int flags, va_list ap) {
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) return (mode_t)va_arg(ap, int);
    return 0;
}

#define OPEN_VARIADIC(fname, kindValue)                                      \
    int fname(const char* path, int flags, ...) {                            \
        va_list ap;                                                          \
        va_start(ap, flags);                                                 \
        struct OpenCall c = {.kind = kindValue, .dirfd = AT_FDCWD,           \
                             .path = path, .flags = flags};                  \
        c.mode = ModeArg(flags, ap);                                         \
        va_end(ap);                                                          \
        return OpenCommon(&c);                                               \
    }
OPEN_VARIADIC(open, kOpen)
OPEN_VARIADIC(open64, kOpen64)

#define OPENAT_VARIADIC(fname, kindValue)                                    \
    int fname(int dirfd, const char* path, int flags, ...) {                 \
        va_list ap;                                                          \
        va_start(ap, flags);                                                 \
        struct OpenCall c = {.kind = kindValue, .dirfd = dirfd,              \
                             .path = path, .flags = flags};                  \
        c.mode = ModeArg(flags, ap);                                         \
        va_end(ap);                                                          \
        return OpenCommon(&c);                                               \
    }
OPENAT_VARIADIC(openat, kOpenat)
OPENAT_VARIADIC(openat64, kOpenat64)

int creat(const char* path, mode_t mode) {
    struct OpenCall c = {.kind = kOpen, .dirfd = AT_FDCWD, .path = path,
                         .flags = O_WRONLY | O_CREAT | O_TRUNC, .mode = mode};
    return OpenCommon(&c);
}
int creat64(const char* path, mode_t mode) {
    return creat(path, mode);
}
int __open_2(const char* path, int flags) {
    struct OpenCall c = {.kind = kOpen2, .dirfd = AT_FDCWD, .path = path, .flags = flags};
    return OpenCommon(&c);
}
int __open64_2(const char* path, int flags) {
    struct OpenCall c = {.kind = kOpen642, .dirfd = AT_FDCWD, .path = path, .flags = flags};
    return OpenCommon(&c);
}
int __openat_2(int dirfd, const char* path, int flags) {
    struct OpenCall c = {.kind = kOpenat2, .dirfd = dirfd, .path = path, .flags = flags};
    return OpenCommon(&c);
}
int __openat64_2(int dirfd, const char* path, int flags) {
    struct OpenCall c = {.kind = kOpenat642, .dirfd = dirfd, .path = path, .flags = flags};
    return OpenCommon(&c);
}

static FILE* FopenCommon(int kind, const char* path, const char* mode, FILE* reuse) {
    struct OpenCall c = {.kind = kind, .dirfd = AT_FDCWD, .path = path,
                         .flags = FlagsOfMode(mode), .fmode = mode, .reuse = reuse};
    if (reuse != NULL && active) {
        Lock();
        Untrack(fileno(reuse));
        Unlock();
    }
    if (path == NULL) {  // freopen with no path changes the mode only
        return kind == kFreopen ? Real_freopen()(path, mode, reuse)
                                : Real_freopen64()(path, mode, reuse);
    }
    const int fd = OpenCommon(&c);
    return fd < 0 ? NULL : c.file;
}

FILE* fopen(const char* path, const char* mode) {
    return FopenCommon(kFopen, path, mode, NULL);
}
FILE* fopen64(const char* path, const char* mode) {
    return FopenCommon(kFopen64, path, mode, NULL);
}
FILE* freopen(const char* path, const char* mode, FILE* stream) {
    return FopenCommon(kFreopen, path, mode, stream);
}
FILE* freopen64(const char* path, const char* mode, FILE* stream) {
    return FopenCommon(kFreopen64, path, mode, stream);
}

int fclose(FILE* stream) {
    if (active && stream != NULL) {
        Lock();
        Untrack(fileno(stream));
        Unlock();
    }
    return Real_fclose()(stream);
}

// mkstemp and its kin: the name is known only afterwards.
static int AfterTemp(int fd, const char* path, int flags) {
    if (fd < 0 || !active || busy) return fd;
    const int saved = errno;
    Lock();
    struct stat parent;
    char name[NAME_MAX + 1];
    struct stat st;
    if (ParentKnown(AT_FDCWD, path, &parent, name) && fstat(fd, &st) == 0) {
        struct Record r = {.kind = kCreate,
                           .ino = (uint64_t)st.st_ino,
                           .parent = (uint64_t)parent.st_ino,
                           .name = name};
        Emit(&r, NULL, 0);
        AddKnown((uint64_t)st.st_ino);
        Track(fd, &st, O_RDWR | flags);
    }
    Unlock();
    errno = saved;
    return fd;
}

int mkstemp(char* t) {
    return AfterTemp(Real_mkstemp()(t), t, 0);
}
int mkstemp64(char* t) {
    return AfterTemp(Real_mkstemp64()(t), t, 0);
}
int mkostemp(char* t, int flags) {
    return AfterTemp(Real_mkostemp()(t, flags), t, flags);
}
int mkostemp64(char* t, int flags) {
    return AfterTemp(Real_mkostemp64()(t, flags), t, flags);
}
int mkstemps(char* t, int suffix) {
    return AfterTemp(Real_mkstemps()(t, suffix), t, 0);
}
int mkstemps64(char* t, int suffix) {
    return AfterTemp(Real_mkstemps64()(t, suffix), t, 0);
}
int mkostemps(char* t, int suffix, int flags) {
    return AfterTemp(Real_mkostemps()(t, suffix, flags), t, flags);
}
int mkostemps64(char* t, int suffix, int flags) {
    return AfterTemp(Real_mkostemps64()(t, suffix, flags), t, flags);
}

// --- Descriptor bookkeeping ----------------------------------------------------------------------

int close(int fd) {
    if (active && fd == logFd) return 0;  // the log stays open
    if (active) {
        Lock();
        Untrack(fd);
        Unlock();
    }
    return Real_close()(fd);
}

int close_range(unsigned first, unsigned last, int flags) {
    if (!active || (flags & CLOSE_RANGE_CLOEXEC)) return Real_close_range()(first, last, flags);
    Lock();
    for (unsigned fd = first; fd <= last && fd < (unsigned)fdCap; ++fd) Untrack((int)fd);
    Unlock();
    // Around the log's descriptor.
    if ((unsigned)logFd >= first && (unsigned)logFd <= last) {
        int rc = 0;
        if ((unsigned)logFd > first) rc = Real_close_range()(first, (unsigned)logFd - 1, flags);
        if (rc == 0 && (unsigned)logFd < last)
            rc = Real_close_range()((unsigned)logFd + 1, last, flags);
        return rc;
    }
    return Real_close_range()(first, last, flags);
}

int dup(int fd) {
    const int n = Real_dup()(fd);
    if (n >= 0 && active) {
        Lock();
        CopyTrack(fd, n);
        Unlock();
    }
    return n;
}

int dup2(int fd, int to) {
    if (active && to == logFd) Unhandled("dup2 onto the recorder's log");
    const int n = Real_dup2()(fd, to);
    if (n >= 0 && active) {
        Lock();
        CopyTrack(fd, n);
        Unlock();
    }
    return n;
}

int dup3(int fd, int to, int flags) {
    if (active && to == logFd) Unhandled("dup3 onto the recorder's log");
    const int n = Real_dup3()(fd, to, flags);
    if (n >= 0 && active) {
        Lock();
        CopyTrack(fd, n);
        Unlock();
    }
    return n;
}

static int FcntlCommon(fcntl_fn real, int fd, int cmd, void* arg) {
    const int rc = real(fd, cmd, arg);
    if (rc < 0 || !active) return rc;
    if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC) {
        Lock();
        CopyTrack(fd, rc);
        Unlock();
    } else if (cmd == F_SETFL && fd >= 0 && fd < fdCap && fds[fd].tracked) {
        Lock();
        fds[fd].append = ((intptr_t)arg & O_APPEND) != 0;
        Unlock();
    }
    return rc;
}

int fcntl(int fd, int cmd, ...) {
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return FcntlCommon(Real_fcntl(), fd, cmd, arg);
}

int fcntl64(int fd, int cmd, ...) {
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    return FcntlCommon((fcntl_fn)Real_fcntl64(), fd, cmd, arg);
}

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

static void NoteOut(int fd, const struct iovec* v, int count) {
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

// --- Names ---------------------------------------------------------------------------------------

static int RenameCommon(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                        unsigned flags, int kind) {
    struct stat from, to, moved, replaced;
    char oldName[NAME_MAX + 1], newName[NAME_MAX + 1];
    int fromKnown = 0, toKnown = 0, hadTarget = 0;
    if (active && !busy) {
        Lock();
        fromKnown = ParentKnown(olddirfd, oldpath, &from, oldName);
        toKnown = ParentKnown(newdirfd, newpath, &to, newName);
        if (!fromKnown && !toKnown) Unlock();
    }
    const int recorded = fromKnown || toKnown;
    if (recorded) {
        if (fstatat(olddirfd, oldpath, &moved, AT_SYMLINK_NOFOLLOW) != 0) {
            fromKnown = toKnown = 0;  // fails by itself (ENOENT): counted, nothing to record
        }
        hadTarget = fstatat(newdirfd, newpath, &replaced, AT_SYMLINK_NOFOLLOW) == 0;
        if (flags & (RENAME_EXCHANGE | RENAME_WHITEOUT))
            Unhandled("a rename that exchanges names or leaves a whiteout");
        const int err = Inject(1, "rename");
        if (err != 0) {
            Unlock();
            errno = err;
            return -1;
        }
    }
    int rc;
    if (kind == 0)
        rc = Real_rename()(oldpath, newpath);
    else if (kind == 1)
        rc = Real_renameat()(olddirfd, oldpath, newdirfd, newpath);
    else
        rc = Real_renameat2()(olddirfd, oldpath, newdirfd, newpath, flags);
    if (!recorded) return rc;
    const int saved = errno;
    if (rc == 0 && !(hadTarget && replaced.st_ino == moved.st_ino && replaced.st_dev == moved.st_dev)) {
        if (fromKnown && toKnown) {
            CheckName(oldName);
            CheckName(newName);
            struct Record r = {.kind = kRename,
                               .ino = (uint64_t)moved.st_ino,
                               .parent = (uint64_t)from.st_ino,
                               .parent2 = (uint64_t)to.st_ino,
                               .name = oldName,
                               .name2 = newName};
            Emit(&r, NULL, 0);
        } else if (fromKnown) {
            CheckName(oldName);
            struct Record r = {.kind = kUnlink,
                               .ino = (uint64_t)moved.st_ino,
                               .parent = (uint64_t)from.st_ino,
                               .name = oldName};
            Emit(&r, NULL, 0);
        } else if (toKnown) {
            if (!IsKnown(&moved)) Unhandled("a file from outside moved into the recorded folder");
            CheckName(newName);
            struct Record r = {.kind = kLink,
                               .ino = (uint64_t)moved.st_ino,
                               .parent = (uint64_t)to.st_ino,
                               .name = newName};
            Emit(&r, NULL, 0);
        }
    }
    Unlock();
    errno = saved;
    return rc;
}

int rename(const char* oldpath, const char* newpath) {
    return RenameCommon(AT_FDCWD, oldpath, AT_FDCWD, newpath, 0, 0);
}
int renameat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath) {
    return RenameCommon(olddirfd, oldpath, newdirfd, newpath, 0, 1);
}
int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned int flags) {
    return RenameCommon(olddirfd, oldpath, newdirfd, newpath, flags, 2);
}

static int LinkCommon(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
                      int flags, int plain) {
    struct stat to, source;
    char name[NAME_MAX + 1];
    int recorded = 0;
    if (active && !busy) {
        Lock();
        recorded = ParentKnown(newdirfd, newpath, &to, name);
        if (!recorded) Unlock();
    }
    int haveSource = 0;
    if (recorded) {
        if ((flags & AT_EMPTY_PATH) && oldpath != NULL && oldpath[0] == '\0')
            haveSource = fstat(olddirfd, &source) == 0;
        else
            haveSource = fstatat(olddirfd, oldpath, &source,
                                 (flags & AT_SYMLINK_FOLLOW) ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
        const int err = Inject(1, "link");
        if (err != 0) {
            Unlock();
            errno = err;
            return -1;
        }
    }
    const int rc = plain ? Real_link()(oldpath, newpath)
                         : Real_linkat()(olddirfd, oldpath, newdirfd, newpath, flags);
    if (!recorded) return rc;
    const int saved = errno;
    if (rc == 0) {
        if (!haveSource || !IsKnown(&source))
            Unhandled("a file from outside linked into the recorded folder");
        CheckName(name);
        struct Record r = {.kind = kLink,
                           .ino = (uint64_t)source.st_ino,
                           .parent = (uint64_t)to.st_ino,
                           .name = name};
        Emit(&r, NULL, 0);
    }
    Unlock();
    errno = saved;
    return rc;
}

int link(const char* oldpath, const char* newpath) {
    return LinkCommon(AT_FDCWD, oldpath, AT_FDCWD, newpath, 0, 1);
}
int linkat(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, int flags) {
    return LinkCommon(olddirfd, oldpath, newdirfd, newpath, flags, 0);
}

// kind: 0 unlink, 1 unlinkat, 2 rmdir, 3 remove
static int UnlinkCommon(int dirfd, const char* path, int flags, int kind) {
    struct stat parent, gone;
    char name[NAME_MAX + 1];
    int recorded = 0;
    if (active && !busy) {
        Lock();
        recorded = ParentKnown(dirfd, path, &parent, name);
        if (!recorded) Unlock();
    }
    int present = 0;
    if (recorded) {
        present = fstatat(dirfd, path, &gone, AT_SYMLINK_NOFOLLOW) == 0;
        const int err = Inject(0, "unlink");
        if (err != 0) {
            Unlock();
            errno = err;
            return -1;
        }
    }
    int rc;
    switch (kind) {
        case 0:
            rc = Real_unlink()(path);
            break;
        case 1:
            rc = Real_unlinkat()(dirfd, path, flags);
            break;
        case 2:
            rc = Real_rmdir()(path);
            break;
        default:
            rc = Real_remove()(path);
            break;
    }
    if (!recorded) return rc;
    const int saved = errno;
    if (rc == 0 && present) {
        CheckName(name);
        struct Record r = {.kind = kUnlink,
                           .ino = (uint64_t)gone.st_ino,
                           .parent = (uint64_t)parent.st_ino,
                           .name = name};
        Emit(&r, NULL, 0);
    }
    Unlock();
    errno = saved;
    return rc;
}

int unlink(const char* path) {
    return UnlinkCommon(AT_FDCWD, path, 0, 0);
}
int unlinkat(int dirfd, const char* path, int flags) {
    return UnlinkCommon(dirfd, path, flags, 1);
}
int rmdir(const char* path) {
    return UnlinkCommon(AT_FDCWD, path, 0, 2);
}
int remove(const char* path) {
    return UnlinkCommon(AT_FDCWD, path, 0, 3);
}

// kind: 0 mkdir, 1 mkdirat, 2 symlink, 3 symlinkat
static int MakeCommon(int dirfd, const char* path, mode_t mode, const char* target, int kind) {
    struct stat parent;
    char name[NAME_MAX + 1];
    int recorded = 0;
    if (active && !busy) {
        Lock();
        recorded = ParentKnown(dirfd, path, &parent, name);
        if (!recorded) Unlock();
    }
    if (recorded) {
        const int err = Inject(1, kind < 2 ? "mkdir" : "symlink");
        if (err != 0) {
            Unlock();
            errno = err;
            return -1;
        }
    }
    int rc;
    switch (kind) {
        case 0:
            rc = Real_mkdir()(path, mode);
            break;
        case 1:
            rc = Real_mkdirat()(dirfd, path, mode);
            break;
        case 2:
            rc = Real_symlink()(target, path);
            break;
        default:
            rc = Real_symlinkat()(target, dirfd, path);
            break;
    }
    if (!recorded) return rc;
    const int saved = errno;
    struct stat made;
    if (rc == 0 && fstatat(dirfd, path, &made, AT_SYMLINK_NOFOLLOW) == 0) {
        CheckName(name);
        struct Record r = {.kind = kind < 2 ? kMkdir : kSymlink,
                           .ino = (uint64_t)made.st_ino,
                           .parent = (uint64_t)parent.st_ino,
                           .name = name};
        if (kind < 2)
            Emit(&r, NULL, 0);
        else
            Emit(&r, target, strlen(target));
        AddKnown((uint64_t)made.st_ino);
    }
    Unlock();
    errno = saved;
    return rc;
}

int mkdir(const char* path, mode_t mode) {
    return MakeCommon(AT_FDCWD, path, mode, NULL, 0);
}
int mkdirat(int dirfd, const char* path, mode_t mode) {
    return MakeCommon(dirfd, path, mode, NULL, 1);
}
int symlink(const char* target, const char* path) {
    return MakeCommon(AT_FDCWD, path, 0, target, 2);
}
int symlinkat(const char* target, int dirfd, const char* path) {
    return MakeCommon(dirfd, path, 0, target, 3);
}

// --- Copies between descriptors: not recorded, so refused into a recorded file -------------------

static void RefuseInto(int fd, const char* what) {
    struct stat st;
    if (Tracked(fd, &st)) Unhandled(what);
}

ssize_t copy_file_range(int in, off_t* inOff, int out, off_t* outOff, size_t n, unsigned int flags) {
    RefuseInto(out, "copy_file_range into a recorded file");
    return Real_copy_file_range()(in, inOff, out, outOff, n, flags);
}
ssize_t sendfile(int out, int in, off_t* offset, size_t n) {
    RefuseInto(out, "sendfile into a recorded file");
    return Real_sendfile()(out, in, offset, n);
}
ssize_t sendfile64(int out, int in, off_t* offset, size_t n) {
    RefuseInto(out, "sendfile into a recorded file");
    return Real_sendfile64()(out, in, offset, n);
}
ssize_t splice(int in, off_t* inOff, int out, off_t* outOff, size_t n, unsigned int flags) {
    RefuseInto(out, "splice into a recorded file");
    return Real_splice()(in, inOff, out, outOff, n, flags);
}

// --- Standard I/O: what a program says, and no writes to recorded files ---------------------------

// For a stream: refuses it when it writes a recorded file (its buffer reaches the file inside the
// C library, out of sight); notes what goes to standard output or error.
static void StreamWrite(FILE* stream, const void* text, size_t size) {
    if (!active || busy || stream == NULL) return;
    const int fd = fileno(stream);
    RefuseInto(fd, "stdio writes to a recorded file");
    if (fd == 1 || fd == 2) {
        struct iovec v = {(void*)text, size};
        NoteOut(fd, &v, 1);
    }
}

size_t fwrite(const void* ptr, size_t size, size_t n, FILE* stream) {
    StreamWrite(stream, ptr, size * n);
    return Real_fwrite()(ptr, size, n, stream);
}
size_t fwrite_unlocked(const void* ptr, size_t size, size_t n, FILE* stream) {
    StreamWrite(stream, ptr, size * n);
    return Real_fwrite_unlocked()(ptr, size, n, stream);
}
int fputs(const char* s, FILE* stream) {
    StreamWrite(stream, s, strlen(s));
    return Real_fputs()(s, stream);
}
int fputs_unlocked(const char* s, FILE* stream) {
    StreamWrite(stream, s, strlen(s));
    return Real_fputs_unlocked()(s, stream);
}
int puts(const char* s) {
    StreamWrite(stdout, s, strlen(s));
    return Real_puts()(s);
}
int fputc(int c, FILE* stream) {
    const char ch = (char)c;
    StreamWrite(stream, &ch, 1);
    return Real_fputc()(c, stream);
}
int fputc_unlocked(int c, FILE* stream) {
    const char ch = (char)c;
    StreamWrite(stream, &ch, 1);
    return Real_fputc_unlocked()(c, stream);
}
int putc(int c, FILE* stream) {
    const char ch = (char)c;
    StreamWrite(stream, &ch, 1);
    return Real_putc()(c, stream);
}
int putc_unlocked(int c, FILE* stream) {
    const char ch = (char)c;
    StreamWrite(stream, &ch, 1);
    return Real_putc_unlocked()(c, stream);
}
int _IO_putc(int c, FILE* stream) {
    const char ch = (char)c;
    StreamWrite(stream, &ch, 1);
    return Real__IO_putc()(c, stream);
}
int putchar(int c) {
    const char ch = (char)c;
    StreamWrite(stdout, &ch, 1);
    return Real_putchar()(c);
}
int vfprintf(FILE* stream, const char* format, va_list ap) {
    StreamWrite(stream, format, strlen(format));
    return Real_vfprintf()(stream, format, ap);
}
int vprintf(const char* format, va_list ap) {
    StreamWrite(stdout, format, strlen(format));
    return Real_vfprintf()(stdout, format, ap);
}
int fprintf(FILE* stream, const char* format, ...) {
    StreamWrite(stream, format, strlen(format));
    va_list ap;
    va_start(ap, format);
    const int n = Real_vfprintf()(stream, format, ap);
    va_end(ap);
    return n;
}
int printf(const char* format, ...) {
    StreamWrite(stdout, format, strlen(format));
    va_list ap;
    va_start(ap, format);
    const int n = Real_vfprintf()(stdout, format, ap);
    va_end(ap);
    return n;
}
int __vfprintf_chk(FILE* stream, int flag, const char* format, va_list ap) {
    StreamWrite(stream, format, strlen(format));
    return Real___vfprintf_chk()(stream, flag, format, ap);
}
int __vprintf_chk(int flag, const char* format, va_list ap) {
    StreamWrite(stdout, format, strlen(format));
    return Real___vfprintf_chk()(stdout, flag, format, ap);
}
int __fprintf_chk(FILE* stream, int flag, const char* format, ...) {
    StreamWrite(stream, format, strlen(format));
    va_list ap;
    va_start(ap, format);
    const int n = Real___vfprintf_chk()(stream, flag, format, ap);
    va_end(ap);
    return n;
}
int __printf_chk(int flag, const char* format, ...) {
    StreamWrite(stdout, format, strlen(format));
    va_list ap;
    va_start(ap, format);
    const int n = Real___vfprintf_chk()(stdout, flag, format, ap);
    va_end(ap);
    return n;
}
