#include "platform/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/path.h"
#include "platform/system_error.h"

namespace platform {
namespace {

// The host folder that holds the last name of a host path.
std::string HostParent(std::string host) {
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return host.substr(0, slash);
}

bool IsHostDirectory(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The platform's error for a failed lookup of a host path: a missing last name is a missing
// file, a missing folder on the way a missing path.
uint32_t LookupError(const std::string& host, int err) {
    if (err == ENOENT) {
        return IsHostDirectory(HostParent(host)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    return ErrorFromErrno(err);
}

}  // namespace

std::optional<FoundEntry> FindEntry(std::string_view path) {
    if (path.empty()) return std::nullopt;
    const std::optional<std::string> host = ToHostPath(path);
    if (!host) return std::nullopt;
    struct stat st;
    if (lstat(host->c_str(), &st) != 0) return std::nullopt;
    FoundEntry entry;
    // A link counts as what it points to; a dangling one as a file.
    entry.isDirectory = S_ISDIR(st.st_mode) || (S_ISLNK(st.st_mode) && IsHostDirectory(*host));
    return entry;
}

FileStatus GetFileStatus(std::string_view path) {
    FileStatus status;
    const std::optional<std::string> host = path.empty() ? std::nullopt : ToHostPath(path);
    if (!host) {
        status.error = ERROR_PATH_NOT_FOUND;
    } else {
        struct stat st;
        if (stat(host->c_str(), &st) != 0) {
            status.error = LookupError(*host, errno);
        } else {
            status.isDirectory = S_ISDIR(st.st_mode);
            status.readOnly = access(host->c_str(), W_OK) != 0;
            status.size = static_cast<uint64_t>(st.st_size);
            status.modifiedTime = static_cast<int64_t>(st.st_mtime);
        }
    }
    if (status.error != ERROR_SUCCESS) SetLastError(status.error);
    return status;
}

bool CreateDirectory(std::string_view path) {
    const std::optional<std::string> host = path.empty() ? std::nullopt : ToHostPath(path);
    if (!host) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (mkdir(host->c_str(), 0777) == 0) return true;
    switch (errno) {
        case EEXIST:
            SetLastError(ERROR_ALREADY_EXISTS);
            break;
        case ENOENT:
        case ENOTDIR:
            SetLastError(ERROR_PATH_NOT_FOUND);
            break;
        default:
            SetLastError(ErrorFromErrno(errno));
            break;
    }
    return false;
}

uint32_t GetDriveType(std::string_view rootPath) {
    if (rootPath.empty()) return DRIVE_FIXED;  // the current drive is Z:
    if (rootPath.size() < 2 || rootPath.size() > 3 || rootPath[1] != ':') return DRIVE_UNKNOWN;
    if (rootPath.size() == 3 && rootPath[2] != '\\' && rootPath[2] != '/') return DRIVE_UNKNOWN;
    const char letter = rootPath[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) {
        return DRIVE_UNKNOWN;
    }
    const char upper = static_cast<char>(letter & ~0x20);
    if (upper == 'Z') return DRIVE_FIXED;
    const std::string variable = std::string("ORDELIN_DRIVE_") + upper;
    const char* folder = std::getenv(variable.c_str());
    if (folder != nullptr && *folder != '\0' && IsHostDirectory(folder)) return DRIVE_FIXED;
    return DRIVE_NO_ROOT_DIR;
}

FileErrorCause FileErrorCauseFromError(uint32_t errorCode) {
    using C = FileErrorCause;
    switch (errorCode) {
        case 0:
            return C::none;
        case 2:
            return C::fileNotFound;  // file not found
        case 3:
            return C::badPath;  // path not found
        case 4:
            return C::tooManyOpenFiles;  // too many open files
        case 5:
            return C::accessDenied;  // access denied
        case 6:
            return C::fileNotFound;  // invalid handle
        case 11:
            return C::invalidFile;  // bad format
        case 12:
            return C::accessDenied;  // invalid access
        case 15:
            return C::badPath;  // invalid drive
        case 16:
            return C::removeCurrentDir;  // the current directory
        case 17:
            return C::badPath;  // not the same device
        case 18:
            return C::fileNotFound;  // no more files
        case 19:
            return C::accessDenied;  // write protected
        case 20:
        case 21:
        case 22:
        case 23:
            return C::hardIO;  // unit, not ready, command, CRC
        case 24:
        case 25:
            return C::badSeek;  // bad length, seek
        case 26:
            return C::invalidFile;  // not a disk of this system
        case 27:
            return C::badSeek;  // sector not found
        case 29:
            return C::accessDenied;  // write fault
        case 30:
            return C::badSeek;  // read fault
        case 32:
            return C::sharingViolation;
        case 33:
            return C::lockViolation;
        case 34:
            return C::badSeek;  // wrong disk
        case 36:
            return C::tooManyOpenFiles;  // sharing buffer exceeded
        case 38:
            return C::endOfFile;  // handle at end of file
        case 39:
            return C::diskFull;  // handle disk full
        case 52:
        case 53:
        case 55:
        case 67:
        case 70:
        case 85:
            return C::badPath;  // network names and devices
        case 54:
        case 58:
        case 64:
        case 65:
        case 71:
        case 86:
            return C::accessDenied;  // network refusals
        case 57:
        case 59:
        case 88:
            return C::hardIO;  // network hardware and write faults
        case 60:
        case 66:
            return C::invalidFile;  // remote adapter, device type
        case 62:
            return C::directoryFull;  // no spool space
        case 68:
            return C::tooManyOpenFiles;  // too many names
        case 80:
        case 82:
            return C::accessDenied;  // file exists, cannot make
        case 108:
        case 167:
            return C::lockViolation;  // drive locked, lock failed
        case 110:
            return C::fileNotFound;  // open failed
        case 111:
            return C::badPath;  // buffer overflow
        case 112:
            return C::diskFull;
        case 123:
        case 124:
        case 125:
            return C::badPath;  // invalid name, level, volume label
        case 131:
        case 132:
            return C::badSeek;  // negative seek, seek on device
        case 144:
            return C::badPath;  // directory not a root
        case 145:
            return C::removeCurrentDir;  // directory not empty
        case 154:
        case 161:
            return C::badPath;  // label too long, bad path name
        case 170:
            return C::accessDenied;  // busy
        case 182:
            return C::invalidFile;  // invalid ordinal
        case 183:
            return C::accessDenied;  // already exists
        case 191:
        case 193:
            return C::invalidFile;  // invalid program file
        case 206:
        case 208:
            return C::badPath;  // name too long, expansion too long
        case 267:
            return C::badPath;  // not a directory
        case 995:
        case 996:
        case 997:
            return C::hardIO;  // aborted or incomplete I/O
        case 999:
            return C::accessDenied;  // swap error
        default:
            return C::generic;
    }
}

}  // namespace platform
