#include "platform/name_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/sysmacros.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {
namespace {

// Tries before giving up on a lock file that keeps changing under us.
constexpr int kAttempts = 100;
// A lock file another user has just made is readable to us only once its mode is set.
constexpr useconds_t kModePause = 2000;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool NameLock::HeldNow(const std::string& folder, const std::string& lockName) {
    const std::string file =
        folder.empty() || folder.back() == '/' ? folder + lockName : folder + "/" + lockName;
    struct stat named {};
    if (::lstat(file.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) return false;
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:123456 0 EOF": the device as major and
    // minor number in hex, then the inode.
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") continue;  // a process waiting for the lock above: no holder
        if (kind != "FLOCK" || !(fields >> mode >> access >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        uintmax_t inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%" SCNuMAX, &major, &minor, &inode) != 3) continue;
        if (makedev(major, minor) == named.st_dev && inode == named.st_ino) return true;
    }
    return false;
}

NameLock::Outcome NameLock::Acquire(const std::string& folder, const std::string& lockName) {
    Release();
    error.clear();
    const std::string file =
        folder.empty() || folder.back() == '/' ? folder + lockName : folder + "/" + lockName;
    // No link is followed and no pipe holds the open up.
    constexpr int kOpen = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int opened = ::open(file.c_str(), kOpen);
        if (opened < 0 && errno == ENOENT) {
            // The name is free: make the lock file, unless another process does so first.
            opened = ::open(file.c_str(), kOpen | O_CREAT | O_EXCL, 0644);
            if (opened < 0 && errno == EEXIST) continue;
            if (opened < 0 && (errno == EACCES || errno == EPERM || errno == EROFS ||
                               errno == ENOENT || errno == ENOTDIR)) {
                return Outcome::kFolderUnwritable;
            }
            if (opened >= 0) ::fchmod(opened, 0644);  // whatever the mask: any user opens it
        } else if (opened < 0 && errno == EACCES && attempt + 1 < kAttempts) {
            ::usleep(kModePause);
            continue;
        }
        if (opened < 0) {
            error = file + ": " + std::strerror(errno);
            return Outcome::kFailed;
        }
        struct stat held {};
        if (::fstat(opened, &held) != 0 || !S_ISREG(held.st_mode)) {
            error = file + " is not a plain file";
            ::close(opened);
            return Outcome::kFailed;
        }
        if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(opened);
            if (err == EWOULDBLOCK) return Outcome::kBusy;
            error = file + ": " + std::strerror(err);
            return Outcome::kFailed;
        }
        // The process that held it before may have removed the file since we opened it: the
        // lock counts only on the file that bears the name now.
        struct stat named {};
        if (::lstat(file.c_str(), &named) == 0 && SameFile(held, named)) {
            fd = opened;
            path = file;
            return Outcome::kHeld;
        }
        ::close(opened);
    }
    error = file + " keeps changing: another process makes and removes it";
    return Outcome::kFailed;
}

void NameLock::Release() {
    if (fd < 0) return;
    // Removed while still held: whoever opens the name afterwards makes a new file.
    ::unlink(path.c_str());
    ::close(fd);
    fd = -1;
    path.clear();
}

}  // namespace platform
