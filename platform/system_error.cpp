#include "platform/system_error.h"

#include <cerrno>

namespace platform {
namespace {

struct MessageEntry {
    uint32_t code;
    const char* text;
};

// Platform error codes (also reached through HResults of the form 0x8007xxxx).
constexpr MessageEntry kErrorTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {16, "The directory cannot be removed."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {23, "Data error (cyclic redundancy check)."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33,
     "The process cannot access the file because another process has locked a portion of the "
     "file."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {267, "The directory name is invalid."},
    {1392, "The file or directory is corrupted and unreadable."},
};

// HResults of the component object model and automation.
constexpr MessageEntry kResultTexts[] = {
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004005u, "Unspecified error"},
    {0x80020006u, "Unknown name."},
    {0x80040110u, "Class does not support aggregation (or class object is remote)"},
    {0x80040154u, "Class not registered"},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation."},
};

template <size_t N>
const char* Find(const MessageEntry (&table)[N], uint32_t code) {
    for (const MessageEntry& e : table) {
        if (e.code == code) return e.text;
    }
    return nullptr;
}

thread_local uint32_t lastError = ERROR_SUCCESS;

}  // namespace

std::string SystemMessageText(uint32_t code) {
    if (const char* text = Find(kResultTexts, code)) return text;
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;  // a platform error as an HResult
    if (const char* text = Find(kErrorTexts, code)) return text;
    return {};
}

uint32_t GetLastError() {
    return lastError;
}

void SetLastError(uint32_t code) {
    lastError = code;
}

uint32_t ErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case EROFS:
            return 19;  // write protected
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EINVAL:
            return 87;  // the parameter is incorrect
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOTEMPTY:
            return 145;
        case ENOMEM:
            return 8;
        case EBADF:
            return 6;
        case EIO:
            return 30;
        case ENXIO:
        case ENODEV:
            return 15;
        case ENOTSUP:
            return 50;
        default:
            return 1;  // incorrect function: no closer code
    }
}

}  // namespace platform
