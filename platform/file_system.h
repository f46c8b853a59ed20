// File search, file status, single-level directory creation and drive types, with the platform's
// error codes (platform/system_error.h) and the framework's file-error causes. Every function
// takes a platform path (platform/path.h) and maps it to the host only for the system call.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// --- File search ---------------------------------------------------------------------------

struct FoundEntry {
    bool isDirectory = false;
};

// The entry of this name (file or directory; a name without wildcards), or nothing when there
// is none or its drive is unavailable.
std::optional<FoundEntry> FindEntry(std::string_view path);

// --- File status ---------------------------------------------------------------------------

struct FileStatus {
    uint32_t error = 0;  // the platform's error code; 0 when the rest is valid
    bool isDirectory = false;
    bool readOnly = false;  // the user may not write it
    uint64_t size = 0;
    int64_t modifiedTime = 0;  // seconds since 1970-01-01 UTC
};

// The status of a file or directory. On failure `error` says why (and so does the last error):
// ERROR_FILE_NOT_FOUND when the last name is missing in an existing folder,
// ERROR_PATH_NOT_FOUND when a folder along the path is missing or the drive is unavailable,
// ERROR_ACCESS_DENIED when a folder along the path may not be searched.
FileStatus GetFileStatus(std::string_view path);

// --- Directory creation --------------------------------------------------------------------

// Creates one directory (its parent must exist). Returns false and sets the last error when it
// cannot: ERROR_ALREADY_EXISTS (an entry of that name exists, whatever the letter case),
// ERROR_PATH_NOT_FOUND (the parent is missing or the drive unavailable), ERROR_ACCESS_DENIED,
// ERROR_DISK_FULL, ERROR_FILENAME_EXCED_RANGE.
bool CreateDirectory(std::string_view path);

// --- Drive types ---------------------------------------------------------------------------

constexpr uint32_t DRIVE_UNKNOWN = 0;
constexpr uint32_t DRIVE_NO_ROOT_DIR = 1;
constexpr uint32_t DRIVE_REMOVABLE = 2;
constexpr uint32_t DRIVE_FIXED = 3;
constexpr uint32_t DRIVE_REMOTE = 4;
constexpr uint32_t DRIVE_CDROM = 5;
constexpr uint32_t DRIVE_RAMDISK = 6;

// The type of the drive whose root is given ("C:\", "C:" or "c:/"; empty: the current drive).
// Z: and mapped drives whose folder exists are fixed; any other drive has no root directory;
// a text that names no drive is unknown.
uint32_t GetDriveType(std::string_view rootPath);

// --- The framework's file-error causes ------------------------------------------------------

enum class FileErrorCause : int {
    none = 0,
    generic = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
};

// The cause for a platform error code; codes without a cause of their own are `generic`.
FileErrorCause FileErrorCauseFromError(uint32_t errorCode);

}  // namespace platform
