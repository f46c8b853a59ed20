// What the recorder's files (recorder.c, open_calls.c, io_calls.c, name_calls.c) share: the log's
// records, the state of the descriptors, the helpers that record, and the way each file reaches
// the C library's own function behind the one it defines. Nothing declared here is visible
// outside the library (INTERNAL), so that no name of the recorder meets one of the program's.
// Every file includes this first: it turns the fortified wrappers off before any system header.
#pragma once

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

#define INTERNAL __attribute__((visibility("hidden")))

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif
#ifndef RENAME_WHITEOUT
#define RENAME_WHITEOUT (1 << 2)
#endif

// --- The log (see powerloss/log_format.h) ------------------------------------------------------

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

static inline void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = (uint8_t)(v >> (8 * i));
}
static inline void Put64(uint8_t* at, uint64_t v) {
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

extern INTERNAL int active;   // recording (the variables were found at start)
extern INTERNAL int logFd;
extern INTERNAL dev_t rootDev;  // the recorded folder's file system
extern INTERNAL __thread int busy;  // inside the recorder: calls pass straight through
extern INTERNAL struct FdInfo* fds;  // by descriptor number
extern INTERNAL int fdCap;

// --- Real functions ------------------------------------------------------------------------------

static inline void* Next(const char* name) {
    return dlsym(RTLD_NEXT, name);
}

// Declares `static inline name_fn Real_name(void)`: the next definition of name (the C library's),
// resolved on first use.
#define REAL(ret, name, ...)                          \
    typedef ret (*name##_fn)(__VA_ARGS__);            \
    static inline name##_fn Real_##name(void) {       \
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


// --- Recording (recorder.c) ----------------------------------------------------------------------

INTERNAL void Lock(void);
INTERNAL void Unlock(void);
// Writes text to standard error (the recorder's own complaints).
INTERNAL void Say(const char* text);
// Appends one record; the data comes from `data` (count iovecs, `size` bytes in all, cut to it).
INTERNAL void EmitV(const struct Record* r, const struct iovec* data, int count, size_t size);
INTERNAL void Emit(const struct Record* r, const void* data, size_t size);
// Stops the program: a call on a recorded file that the log cannot express.
INTERNAL _Noreturn void Unhandled(const char* what);

INTERNAL void AddKnown(uint64_t ino);
INTERNAL int IsKnown(const struct stat* st);

INTERNAL void Untrack(int fd);
INTERNAL void Track(int fd, const struct stat* st, int flags);
INTERNAL void CopyTrack(int from, int to);
// Whether fd is a recorded file's descriptor (checked against what it refers to now: a number
// the C library reused inside itself is let go). *st receives its status.
INTERNAL int Tracked(int fd, struct stat* st);

// Whether the folder of (dirfd, path) is recorded: *parent receives its status, name the last
// name of the path.
INTERNAL int ParentKnown(int dirfd, const char* path, struct stat* parent, char name[NAME_MAX + 1]);
// Refuses a name change that names "." or "..".
INTERNAL void CheckName(const char* name);

INTERNAL int IsSpaceError(int err);
// Counts one I/O call on a recorded file; the error number to fail it with, or 0 to make it.
INTERNAL int Inject(int canRunOutOfSpace, const char* what);

// --- io_calls.c ----------------------------------------------------------------------------------

// Notes what a program writes to standard output or error (the moment it tells its user).
INTERNAL void NoteOut(int fd, const struct iovec* v, int count);
