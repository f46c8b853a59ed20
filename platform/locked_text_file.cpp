#include "platform/locked_text_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "platform/path.h"
#include "platform/system_error.h"

namespace platform {
namespace {

constexpr size_t kFlushAt = 64 * 1024;

}  // namespace

LockedTextFile::~LockedTextFile() {
    Close();
}

bool LockedTextFile::Create(std::string_view path) {
    return Open(path, false);
}

bool LockedTextFile::CreateNew(std::string_view path) {
    return Open(path, true);
}

bool LockedTextFile::Open(std::string_view path, bool mustBeNew) {
    if (fd >= 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const std::optional<std::string> host = ToHostPath(path);
    if (!host) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // No O_TRUNC: the file is emptied only once the lock is ours, so a refused second writer
    // leaves the first one's file alone. A symbolic link planted under the name is not
    // followed, and a pipe without a reader does not hold the open up.
    const int opened = ::open(
        host->c_str(),
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (mustBeNew ? O_EXCL : 0), 0666);
    if (opened < 0) {
        // With O_CREAT a missing entry can only be a folder along the path.
        SetLastError(errno == EEXIST                    ? ERROR_FILE_EXISTS
                     : errno == ENOENT                  ? ERROR_PATH_NOT_FOUND
                     : errno == ELOOP || errno == ENXIO ? ERROR_ACCESS_DENIED
                                                        : ErrorFromErrno(errno));
        return false;
    }
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(opened);
        SetLastError(err == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(err));
        return false;
    }
    struct stat st {};
    if (::fstat(opened, &st) != 0 || (S_ISREG(st.st_mode) && ::ftruncate(opened, 0) != 0) ||
        ::fcntl(opened, F_SETFL, 0) != 0) {
        const int err = errno;
        ::close(opened);
        SetLastError(ErrorFromErrno(err));
        return false;
    }
    fd = opened;
    buffer.clear();
    writeError = 0;
    return true;
}

bool LockedTextFile::WriteLine(std::string_view text) {
    if (fd < 0 || writeError != 0) return false;
    buffer.append(text);
    buffer.append("\r\n");
    if (buffer.size() >= kFlushAt) Flush();
    return writeError == 0;
}

void LockedTextFile::Flush() {
    size_t done = 0;
    while (writeError == 0 && done < buffer.size()) {
        const ssize_t n = ::write(fd, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeError = n == 0 ? ERROR_DISK_FULL : ErrorFromErrno(errno);
            break;
        }
        done += static_cast<size_t>(n);
    }
    buffer.clear();
}

bool LockedTextFile::Close() {
    if (fd < 0) return true;
    Flush();
    if (::close(fd) != 0 && writeError == 0) writeError = ErrorFromErrno(errno);
    fd = -1;
    return writeError == 0;
}

}  // namespace platform
