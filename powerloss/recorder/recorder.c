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
// This file holds the recorder's state, its log, its start and end; open_calls.c, io_calls.c and
// name_calls.c the functions it defines in front of the C library's (recorder_internal.h is
// what they share).
//
// Written in C: it defines the C library's own functions, whose declarations in C++ carry
// exception specifications that would have to match one by one. It includes no <stdio.h>, so
// that the stdio functions it defines meet no inline versions of them.
#include "powerloss/recorder/recorder_internal.h"

// --- State ---------------------------------------------------------------------------------------

int active;
int logFd = -1;
dev_t rootDev;
static pthread_mutex_t lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;
__thread int busy;

static uint64_t* known;  // inode numbers of recorded files, open addressing (0 = empty)
static size_t knownCap;
static size_t knownCount;

struct FdInfo* fds;
int fdCap;

static uint64_t failAt;
static int failErrno;
static int failIsSpace;
static const char* failCall;  // only calls of this name count towards failAt
static uint64_t failCount;
static uint64_t ioCalls;
static uint64_t spaceCalls;

// --- Small helpers -------------------------------------------------------------------------------

void Lock(void) {
    pthread_mutex_lock(&lock);
    ++busy;
}
void Unlock(void) {
    --busy;
    pthread_mutex_unlock(&lock);
}

static size_t Length(const char* s) {
    return s == NULL ? 0 : strlen(s);
}

void Say(const char* text) {
    size_t n = strlen(text);
    while (n > 0) {
        const long w = syscall(SYS_write, 2, text, n);
        if (w <= 0) return;
        text += w;
        n -= (size_t)w;
    }
}

// Appends one record; the data comes from `data` (count iovecs, `size` bytes in all, cut to it).
void EmitV(const struct Record* r, const struct iovec* data, int count, size_t size) {
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

void Emit(const struct Record* r, const void* data, size_t size) {
    struct iovec v = {(void*)data, size};
    EmitV(r, &v, 1, size);
}

// Stops the program: a call on a recorded file that the log cannot express.
_Noreturn void Unhandled(const char* what) {
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

void AddKnown(uint64_t ino) {
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

int IsKnown(const struct stat* st) {
    return st->st_dev == rootDev && IsKnownIno((uint64_t)st->st_ino);
}

// --- Descriptors ---------------------------------------------------------------------------------

void Untrack(int fd) {
    if (fd >= 0 && fd < fdCap) memset(&fds[fd], 0, sizeof fds[fd]);
}

void Track(int fd, const struct stat* st, int flags) {
    if (fd < 0) return;
    if (fd >= fdCap) Unhandled("a descriptor number beyond the recorder's table");
    fds[fd].ino = (uint64_t)st->st_ino;
    fds[fd].tracked = 1;
    fds[fd].dir = S_ISDIR(st->st_mode) ? 1 : 0;
    fds[fd].append = (flags & O_APPEND) != 0;
    fds[fd].sync = (flags & O_DSYNC) != 0;  // O_SYNC includes it
    fds[fd].writable = (flags & O_ACCMODE) != O_RDONLY;
}

void CopyTrack(int from, int to) {
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
int Tracked(int fd, struct stat* st) {
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

int ParentKnown(int dirfd, const char* path, struct stat* parent, char name[NAME_MAX + 1]) {
    return ParentOf(dirfd, path, parent, name) && IsKnown(parent);
}

void CheckName(const char* name) {
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0 || name[0] == '\0') {
        Unhandled("a change of a folder named by \".\" or \"..\"");
    }
}

// --- Failure injection ---------------------------------------------------------------------------

int IsSpaceError(int err) {
    return err == ENOSPC || err == EDQUOT || err == EFBIG;
}

// Counts one I/O call on a recorded file; the error number to fail it with, or 0 to make it.
int Inject(int canRunOutOfSpace, const char* what) {
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

