// Directory macros: "$(NAME)\rest" resolves to the directory configured for NAME in section
// [Directories] of the settings file; a missing one is made (every level) and recorded.
#include <strings.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/bounded_text.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/system_error.h"
#include "platform/text_case.h"

namespace {

constexpr size_t kPathLimit = 259;  // characters of a path, without the terminator

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsKnownDirectoryName(const char* name) {
    for (size_t i = 0; CDornApi::knownDirectoryNames[i][0] != '\0'; ++i) {
        if (platform::EqualsIgnoringCase(CDornApi::knownDirectoryNames[i], name)) return true;
    }
    return false;
}

// The maker's folder under the user's local application data (made when missing), ending with a
// backslash. Empty when there is none or it cannot be made.
std::string UserBaseFolder() {
    char makerFolder[kPathLimit + 1];
    if (!CDornApi::GetAppDataFolder(makerFolder, sizeof makerFolder)) return {};
    return std::string(makerFolder) + "\\";
}

// The folder default directories go under, ending with a backslash: the program's folder, or
// the Windows directory when the program is not on a fixed drive and that directory is more
// than a drive root; for an installed program (under /usr, or in a folder the user may not
// write to), the maker's folder under the user's local application data, where the settings
// file lives too. Empty when there is no such folder or its name is too long.
std::string DefaultBaseFolder() {
    std::string base;
    if (const std::optional<std::string> program = platform::ProgramFilePath()) {
        const size_t slash = program->find_last_of("\\/");
        if (slash != std::string::npos) base = program->substr(0, slash + 1);
    }
    if (!CDornApi::IsFixedDrive(base.c_str())) {
        const std::optional<std::string> windowsDirectory = platform::WindowsDirectory();
        if (windowsDirectory && windowsDirectory->size() > 3) {
            base = *windowsDirectory;
            if (!IsSeparator(base.back())) base.push_back('\\');
        }
    }
    if (platform::IsInstalledProgramFolder(base)) base = UserBaseFolder();
    if (base.size() > kPathLimit) base.clear();
    return base;
}

}  // namespace

const char* const CDornApi::knownDirectoryNames[] = {"QVTEMP", "QVTOOLS", "HELP", "INSTALL", ""};

bool CDornApi::PathExists(const char* path) {
    return path != nullptr && platform::FindEntry(path).has_value();
}

bool CDornApi::IsFixedDrive(const char* path) {
    if (path == nullptr || path[0] == '\0' || path[1] != ':') return false;
    char root[4];
    platform::CopyBounded(root, path, 3);
    return platform::GetDriveType(root) == platform::DRIVE_FIXED;
}

int CDornApi::CreateDirectoryPath(const char* path) {
    using platform::FileErrorCause;
    if (path == nullptr) return static_cast<int>(FileErrorCause::badPath);
    const size_t length = std::strlen(path);
    // A level longer than the level buffer would be cut into some other folder's name.
    if (length > kPathLimit) return static_cast<int>(FileErrorCause::badPath);

    size_t levelsBegin = 0;
    if (path[0] == '\\' && path[1] == '\\') {
        const char* serverEnd = std::strpbrk(path + 2, "\\/");
        if (serverEnd == nullptr) return static_cast<int>(FileErrorCause::badPath);
        levelsBegin = static_cast<size_t>(serverEnd - path) + 1;
    } else if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
               IsSeparator(path[2])) {
        levelsBegin = 3;
    }

    for (size_t i = levelsBegin; i < length; ++i) {
        // The root of the current drive ("\" at the start) always exists.
        if (!IsSeparator(path[i]) || i == 0) continue;
        char level[kPathLimit + 1];
        platform::CopyBounded(level, path, i);
        if (const std::optional<platform::FoundEntry> entry = platform::FindEntry(level)) {
            if (!entry->isDirectory) return static_cast<int>(FileErrorCause::accessDenied);
            continue;
        }
        if (!platform::CreateDirectory(level)) {
            const int cause =
                static_cast<int>(platform::FileErrorCauseFromError(platform::GetLastError()));
            return cause != 0 ? cause : static_cast<int>(FileErrorCause::generic);
        }
    }
    return static_cast<int>(FileErrorCause::none);
}

bool CDornApi::MakeDefaultDirectory(std::string& directory, const char* macroName, bool force) {
    if (macroName == nullptr || macroName[0] == '\0') return false;
    if (!IsKnownDirectoryName(macroName) && !force) return false;

    std::string toCreate;
    if (!directory.empty()) {
        toCreate = directory + "\\";
    } else {
        const std::string base = DefaultBaseFolder();
        if (base.empty()) return false;
        const std::string navoFiles = base + "Navo Files";
        toCreate = (PathExists(navoFiles.c_str()) ? navoFiles : base + "QVFiles") + "\\" +
                   macroName + "\\";
    }
    // Cut to the path limit, the text would lose its final backslash and name another folder.
    if (toCreate.size() > kPathLimit) return false;
    if (CreateDirectoryPath(toCreate.c_str()) != 0) return false;
    toCreate.pop_back();
    directory = toCreate;
    return true;
}

bool CDornApi::ExpandDirectoryMacro(std::string& path, bool force) {
    if (path.compare(0, 2, "$(") != 0) return true;
    const size_t close = path.find(')');
    if (close == std::string::npos || close <= 3) return true;

    const std::string name = platform::UpperCase(path.substr(2, close - 2));

    std::string directory = GetSetting("Directories", name.c_str(), nullptr);
    if (directory.empty() || !PathExists(directory.c_str())) {
        if (!MakeDefaultDirectory(directory, name.c_str(), force)) return false;
        SetSetting("Directories", name.c_str(), directory.c_str());
    }
    std::string resolved = directory + path.substr(close + 1);
    // A result beyond the path limit would be cut into some other file's name: refused.
    if (resolved.size() > kPathLimit) return false;
    path = std::move(resolved);
    return true;
}
