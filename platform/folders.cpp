#include "platform/folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/path.h"

namespace platform {
namespace {

bool IsPlatformForm(std::string_view value) {
    const bool driveLetter =
        value.size() >= 2 && value[1] == ':' &&
        ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z'));
    return driveLetter || (value.size() >= 2 && value[0] == '\\' && value[1] == '\\');
}

// The platform form of a folder named by the environment: platform paths stay as given, host
// paths are made absolute.
std::string FromEnvironment(std::string_view value) {
    return IsPlatformForm(value) ? std::string(value) : ToPlatformPath(value);
}

const char* NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}

std::optional<std::string> HomeDirectory() {
    if (const char* home = NonEmptyVariable("HOME")) return std::string(home);
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir != nullptr && *result->pw_dir != '\0') {
        return std::string(result->pw_dir);
    }
    return std::nullopt;
}

// Makes every missing level of a folder, each private to the user (mode 0700, as the XDG base
// directory rules ask of the data folder). Levels that exist are left as they are; a level that
// cannot be made ends the attempt, which reports nothing: the caller sees the folder missing.
void MakePrivateFolderTree(const std::string& folder) {
    const std::optional<std::string> host = ToHostPath(folder);
    if (!host || host->empty()) return;
    struct stat st;
    if (stat(host->c_str(), &st) == 0) return;
    for (size_t slash = host->find('/', 1);; slash = host->find('/', slash + 1)) {
        const std::string level = host->substr(0, slash);
        if (!level.empty() && level.back() != '/' && mkdir(level.c_str(), 0700) != 0 &&
            errno != EEXIST) {
            return;
        }
        if (slash == std::string::npos) return;
    }
}

}  // namespace

std::optional<std::string> LocalAppDataFolder() {
    std::string folder;
    // A relative XDG_DATA_HOME is invalid and ignored.
    if (const char* data = NonEmptyVariable("XDG_DATA_HOME");
        data != nullptr && (*data == '/' || IsPlatformForm(data))) {
        folder = FromEnvironment(data);
    } else {
        std::optional<std::string> home = HomeDirectory();
        if (!home || home->front() != '/') return std::nullopt;
        folder = ToPlatformPath(*home + "/.local/share");
    }
    MakePrivateFolderTree(folder);
    return folder;
}

std::optional<std::string> WindowsDirectory() {
    if (const char* windir = std::getenv("ORDELIN_WINDIR")) {
        if (*windir == '\0') return std::nullopt;
        return FromEnvironment(windir);
    }
    return ToPlatformPath("/etc/ordelin");
}

std::optional<std::string> ProgramFilePath() {
    if (const char* program = NonEmptyVariable("ORDELIN_PROGRAM_PATH")) {
        return FromEnvironment(program);
    }
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<size_t>(n) < buffer.size()) {
            return ToPlatformPath(std::string_view(buffer.data(), static_cast<size_t>(n)));
        }
        if (buffer.size() >= (1u << 20)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

bool IsInstalledProgramFolder(std::string_view folder) {
    const std::optional<std::string> host = ToHostPath(folder);
    if (!host || host->empty() || host->front() != '/') return false;
    const std::filesystem::path normal = std::filesystem::path(*host).lexically_normal();
    auto level = normal.begin();
    if (level != normal.end() && *level == "/" && ++level != normal.end() && *level == "usr") {
        return true;
    }
    if (faccessat(AT_FDCWD, host->c_str(), W_OK | X_OK, AT_EACCESS) == 0) return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

}  // namespace platform
