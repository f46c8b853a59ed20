#include "talvo/engine/host_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "talvo/engine/engine_error.h"

namespace talvo::engine {

HostFile::~HostFile() {
    Close();
}

HostFile::HostFile(HostFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void HostFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Status HostFile::OpenExisting(const std::string& path, HostFile* file, bool* writable) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    *writable = fd >= 0;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        if (errno == ENOENT) return Status::Failure(Error::kNoSuchFile, path);
        return ErrnoError(errno, "cannot open " + path);
    }
    *file = HostFile(fd, path);
    return Status::Ok();
}

Status HostFile::ReadSomeAt(uint64_t offset, std::span<uint8_t> bytes, size_t* got) const {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd_, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError(errno, "cannot read " + path_);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    *got = done;
    return Status::Ok();
}

Status HostFile::ReadAt(uint64_t offset, std::span<uint8_t> bytes) const {
    size_t got = 0;
    Status status = ReadSomeAt(offset, bytes, &got);
    if (!status.ok()) return status;
    if (got != bytes.size()) {
        return Status::Failure(Error::kDamaged, path_ + " ends at byte " +
                                                    std::to_string(offset + got) +
                                                    ", inside a committed record");
    }
    return Status::Ok();
}

Status HostFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError(errno, "cannot write " + path_);
        }
        done += static_cast<size_t>(n);
    }
    return Status::Ok();
}

Status HostFile::Sync() {
    if (::fdatasync(fd_) != 0) return ErrnoError(errno, "cannot flush " + path_);
    return Status::Ok();
}

Status HostFile::Length(uint64_t* length) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return ErrnoError(errno, "cannot examine " + path_);
    *length = static_cast<uint64_t>(st.st_size);
    return Status::Ok();
}

Status HostFile::Truncate(uint64_t length) {
    while (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
        if (errno != EINTR) return ErrnoError(errno, "cannot truncate " + path_);
    }
    return Status::Ok();
}

Status HostFile::TryLockExclusive() {
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return Status::Failure(Error::kLocked, path_);
        return ErrnoError(errno, "cannot lock " + path_);
    }
    return Status::Ok();
}

namespace {

// Sets an open-file-description lock of the kind on one byte of the file (by default its first),
// not waiting.
int SetOpenMark(int fd, short kind, off_t byte = 0) {
    struct flock mark {};
    mark.l_type = kind;
    mark.l_whence = SEEK_SET;
    mark.l_start = byte;
    mark.l_len = 1;
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &mark);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

Status HostFile::HoldOpenMark() {
    if (SetOpenMark(fd_, F_RDLCK) != 0) {
        if (errno == EAGAIN || errno == EACCES) return Status::Failure(Error::kFileInUse, path_);
        return ErrnoError(errno, "cannot lock " + path_);
    }
    return Status::Ok();
}

Status HostFile::TryTakeOpenMarkExclusive() {
    if (SetOpenMark(fd_, F_WRLCK) != 0) {
        if (errno == EAGAIN || errno == EACCES) {
            return Status::Failure(Error::kFileInUse, path_ + " is open in another process");
        }
        return ErrnoError(errno, "cannot lock " + path_);
    }
    return Status::Ok();
}

Status HostFile::HoldLocklessReaderMark() {
    if (SetOpenMark(fd_, F_RDLCK, 1) != 0) {
        if (errno == EAGAIN || errno == EACCES) {
            return Status::Failure(Error::kLocked,
                                   path_ +
                                       " is being written by another process; it cannot be read "
                                       "here until that ends, as its index is read without a "
                                       "lock file");
        }
        return ErrnoError(errno, "cannot lock " + path_);
    }
    return Status::Ok();
}

Status HostFile::TakeWriterMark() {
    if (SetOpenMark(fd_, F_WRLCK, 1) != 0) {
        if (errno == EAGAIN || errno == EACCES) {
            return Status::Failure(Error::kFileInUse,
                                   path_ +
                                       " is being read by another process that cannot register "
                                       "its reads (its index has no usable lock file there); it "
                                       "cannot be written until that process closes it");
        }
        return ErrnoError(errno, "cannot lock " + path_);
    }
    return Status::Ok();
}

void HostFile::DropWriterMark() {
    (void)SetOpenMark(fd_, F_UNLCK, 1);
}

void HostFile::StartWriteBack(uint64_t offset, uint64_t length) {
    (void)::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                            SYNC_FILE_RANGE_WRITE);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Status SyncParentDirectory(const std::string& path) {
    const std::string dir = FolderOf(path);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoError(errno, "cannot open folder " + dir);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (rc != 0 && err != EINVAL) return ErrnoError(err, "cannot flush folder " + dir);
    return Status::Ok();
}

}  // namespace talvo::engine
