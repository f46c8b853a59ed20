// The recorder's calls on names (rename, link, unlink, mkdir, symlink), the copies between
// descriptors it refuses into recorded files, and the standard I/O it watches. See recorder.c.
#include "powerloss/recorder/recorder_internal.h"

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

