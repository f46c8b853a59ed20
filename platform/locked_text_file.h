// A text file created for writing while other writers are refused: the file is created (an
// existing one is emptied), locked with an exclusive advisory lock that a second writer of the
// same file meets, written line by line through a buffer, each line ending in carriage return
// and line feed as a text file does on the platform, and closed.
//
// Write failures (a full disk, say) do not stop the writer: the first one is kept, later lines
// are dropped, and Close reports it, so a caller can finish its work and say once at its end
// that the file is incomplete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class LockedTextFile {
  public:
    LockedTextFile() = default;
    // Closes an open file (its outcome is lost; call Close to see it).
    ~LockedTextFile();
    LockedTextFile(const LockedTextFile&) = delete;
    LockedTextFile& operator=(const LockedTextFile&) = delete;

    // Creates the file at `path` (a platform path) for writing, or empties an existing one, and
    // takes the lock. Requires that this object has no file open. Returns false and sets the
    // last error (platform/system_error.h) when it cannot: ERROR_PATH_NOT_FOUND (a folder is
    // missing or the drive unavailable), ERROR_ACCESS_DENIED (also for a symbolic link, which
    // is never followed, and a pipe without a reader: both left as they were),
    // ERROR_SHARING_VIOLATION (another writer holds the lock: the file is left as it was), and
    // the like. Nothing is open then.
    bool Create(std::string_view path);
    // As Create, but only a file that does not exist yet is made: when an entry of that name
    // exists (whatever it is) nothing is touched and the last error is ERROR_FILE_EXISTS.
    bool CreateNew(std::string_view path);
    bool IsOpen() const { return fd >= 0; }

    // Appends `text` and CR LF. Returns false, writing nothing, when the file is not open or an
    // earlier write failed; a failure of this write is kept for Close.
    bool WriteLine(std::string_view text);

    // Writes what is buffered, releases the lock and closes. Returns true when every line
    // reached the file; otherwise false, and WriteError() says why. Does nothing (true) when no
    // file is open.
    bool Close();

    // The platform's error code of the first failed write of the file last created (0: none).
    uint32_t WriteError() const { return writeError; }

  private:
    bool Open(std::string_view path, bool mustBeNew);
    // Writes the buffer out; keeps the first failure.
    void Flush();

    int fd = -1;
    std::string buffer;
    uint32_t writeError = 0;
};

}  // namespace platform
