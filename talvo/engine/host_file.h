// A move-only owner of one host file descriptor, with the few positioned operations the engine
// uses. Every operation returns a Status naming the file and the system's reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "talvo/engine.h"

namespace talvo::engine {

class HostFile {
  public:
    HostFile() = default;
    HostFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~HostFile();
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Opens an existing file for reading and writing, or for reading alone when writing is not
    // permitted (*writable tells which). kNoSuchFile when it does not exist.
    static Status OpenExisting(const std::string& path, HostFile* file, bool* writable);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    // Reads exactly bytes.size() bytes at offset; kDamaged if the file ends first.
    Status ReadAt(uint64_t offset, std::span<uint8_t> bytes) const;
    // Reads up to bytes.size() bytes at offset; *got receives the count (short only at the end).
    Status ReadSomeAt(uint64_t offset, std::span<uint8_t> bytes, size_t* got) const;
    Status WriteAt(uint64_t offset, std::span<const uint8_t> bytes);
    Status Sync();
    Status Length(uint64_t* length) const;
    Status Truncate(uint64_t length);
    // Takes the exclusive writer lock (flock, not waiting). kLocked when another open file
    // description holds it.
    Status TryLockExclusive();
    // The open-file mark: every opener of a data file holds a shared lock on its first byte
    // (an open-file-description lock, apart from the writer's flock), so that another process
    // can tell the file is open. HoldOpenMark takes it; TryTakeOpenMarkExclusive succeeds only
    // when no other open file description, in this process or another, holds it (kFileInUse).
    Status HoldOpenMark();
    Status TryTakeOpenMarkExclusive();
    // The lockless-reader mark, on the file's second byte: a process that reads a keyed file
    // without a lock file for its index (one it cannot make or write, or one on a network file
    // system) registers no readers, so a writer would reuse pages it still reads. Such a reader
    // holds the mark shared for as long as the file is open (HoldLocklessReaderMark; kLocked
    // while a writer holds it) and every writer holds it exclusively while it writes
    // (TakeWriterMark; kFileInUse while such a reader holds it).
    Status HoldLocklessReaderMark();
    Status TakeWriterMark();
    void DropWriterMark();
    // Starts write-back of a written range without waiting for it (a hint; errors are ignored).
    void StartWriteBack(uint64_t offset, uint64_t length);
    void Close();

  private:
    int fd_ = -1;
    std::string path_;
};

// The folder that holds path: "." for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path);

// fsync of the directory that holds path (makes a create, link or unlink in it durable).
Status SyncParentDirectory(const std::string& path);

}  // namespace talvo::engine
