// The recorder's opening calls: open and its kin, fopen, mkstemp, and the bookkeeping of
// descriptors (close, dup, fcntl). See recorder.c.
#include "powerloss/recorder/recorder_internal.h"

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

