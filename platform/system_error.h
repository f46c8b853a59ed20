// The system's message texts for failure codes and the last error of the calling thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Error codes of the platform (as GetLastError gives them).
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t ERROR_DISK_FULL = 112;
constexpr uint32_t ERROR_INVALID_NAME = 123;
constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;

// The system's text for a failure code (an HResult or a platform error code), in the user's
// default language, without trailing line breaks; empty when the system has none.
std::string SystemMessageText(uint32_t code);

// The calling thread's last error code, and setting it.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// Maps a host errno value to the platform's error code.
uint32_t ErrorFromErrno(int err);

}  // namespace platform
