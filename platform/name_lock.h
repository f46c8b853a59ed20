// An exclusive hold on a name in a folder, shared by every process of this host that asks for
// the same name in the same folder, whatever user it runs as: an advisory lock (flock) on a lock
// file of that name in the folder.
//
// The lock file is made readable by everyone (whatever the file mode creation mask), so that any
// user's process can open it and meet the lock. It is removed when the hold ends; one left behind
// by a process that was killed holds nothing (a lock dies with its process), and the next process
// to ask takes it over. A process that opened the file just before its holder removed it notices
// that the name now stands for another file (or none) and tries again, so two processes never
// hold the same name at once.
#pragma once

#include <string>

namespace platform {

class NameLock {
  public:
    enum class Outcome {
        kHeld,              // this object holds the name until Release
        kBusy,              // another process holds it
        kFolderUnwritable,  // no lock file can be made there: the folder is missing, or may not
                            // be written (its permissions, a read-only file system)
        kFailed,            // anything else; Error() says what
    };

    NameLock() = default;
    ~NameLock() { Release(); }
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;

    // Asks for `lockName` (a file name without separators) in the host folder `folder`, without
    // waiting. Releases a hold this object had first.
    Outcome Acquire(const std::string& folder, const std::string& lockName);
    // Ends the hold: removes the lock file (while still holding it) and closes it. Does nothing
    // when nothing is held.
    void Release();

    bool Held() const { return fd >= 0; }

    // Whether some process holds `lockName` in `folder` now, found without opening, locking or
    // making anything (so that a look never stands in the way of a process asking for the name):
    // the system's table of file locks (/proc/locks) is searched for the lock file. False where
    // the name is free or the table cannot be read.
    static bool HeldNow(const std::string& folder, const std::string& lockName);
    // The reason of the last kFailed.
    const std::string& Error() const { return error; }

  private:
    int fd = -1;
    std::string path;
    std::string error;
};

}  // namespace platform
