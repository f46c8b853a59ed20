#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/com.h"

namespace platform {
namespace {

TEST(SystemErrorTest, TextsOfResultsAndErrorCodes) {
    struct Case {
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {
        {static_cast<uint32_t>(kClassNotRegistered), "Class not registered"},
        {static_cast<uint32_t>(kNoInterface), "No such interface supported"},
        {static_cast<uint32_t>(kFail), "Unspecified error"},
        {static_cast<uint32_t>(kUnknownName), "Unknown name."},
        {static_cast<uint32_t>(kOutOfMemory),
         "Not enough memory resources are available to complete this operation."},
        {static_cast<uint32_t>(kInvalidArgument), "The parameter is incorrect."},
        {0x80070005u, "Access is denied."},  // a platform error carried as a result
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SystemMessageText(c.code), c.text) << std::hex << c.code;
    }
    // Codes the system has no text for.
    EXPECT_EQ(SystemMessageText(0x8FFF1234u), "");
    EXPECT_EQ(SystemMessageText(99999), "");
    EXPECT_EQ(SystemMessageText(0x80079999u), "");
}

TEST(SystemErrorTest, LastErrorBelongsToTheThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    uint32_t seen = 12345;
    std::thread([&] {
        seen = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    }).join();
    EXPECT_EQ(seen, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    SetLastError(ERROR_SUCCESS);
}

TEST(SystemErrorTest, MapsHostErrors) {
    const std::pair<int, uint32_t> cases[] = {
        {0, ERROR_SUCCESS},
        {ENOENT, ERROR_FILE_NOT_FOUND},
        {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},
        {EEXIST, ERROR_ALREADY_EXISTS},
        {ENOSPC, ERROR_DISK_FULL},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
        {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    };
    for (const auto& [err, code] : cases) {
        EXPECT_EQ(ErrorFromErrno(err), code) << err;
    }
    // Every mapped code has a text, so a caller can always show one.
    for (int err = 0; err < 134; ++err) {
        EXPECT_NE(SystemMessageText(ErrorFromErrno(err)), "") << err;
    }
}

}  // namespace
}  // namespace platform
