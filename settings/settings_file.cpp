// The settings file NAVO.INI: found once per process, in the maker's folder under the local
// application data or in the Windows directory, and read and written one value at a time.
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/bounded_text.h"
#include "platform/file_system.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "platform/system_error.h"

namespace {

constexpr size_t kPathLimit = 259;  // characters of a path, without the terminator
constexpr uint32_t kValueBufferSize = 4096;
constexpr char kMakerFolder[] = "\\Corvane Group";
constexpr char kSettingsFileName[] = "NAVO.INI";

// The settings file's path, shared by every client object; empty until first found.
char settingsPathCache[kPathLimit + 1] = "";

std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

bool CDornApi::GetAppDataFolder(char* buffer, size_t bufferSize) {
    if (buffer == nullptr || bufferSize == 0) return false;
    const std::optional<std::string> appData = platform::LocalAppDataFolder();
    // A folder name that would be cut to fit would make a folder of the wrong name.
    if (!appData || appData->size() + std::strlen(kMakerFolder) > bufferSize - 1) {
        buffer[0] = '\0';
        return false;
    }
    platform::CopyBounded(buffer, appData->c_str(), bufferSize - 1);
    platform::AppendBounded(buffer, kMakerFolder, bufferSize - 1);

    const platform::FileStatus status = platform::GetFileStatus(buffer);
    if (status.error == platform::ERROR_SUCCESS) {
        // A file of that name is not a folder the settings can live in.
        if (status.isDirectory) return true;
    } else if (status.error == platform::ERROR_FILE_NOT_FOUND &&
               platform::CreateDirectory(buffer)) {
        return true;
    }
    buffer[0] = '\0';
    return false;
}

bool CDornApi::HasAnySection(const char* filePath) {
    if (filePath == nullptr) return false;
    std::vector<char> names(kValueBufferSize);
    return platform::GetPrivateProfileString(nullptr, nullptr, "", names.data(), kValueBufferSize,
                                             filePath) != 0;
}

const char* CDornApi::GetSettingsFilePath() {
    std::lock_guard<std::mutex> lock(CacheMutex());
    if (settingsPathCache[0] != '\0') return settingsPathCache;

    char candidate[kPathLimit + 1] = "";
    if (GetAppDataFolder(candidate, sizeof candidate)) {
        if (std::strlen(candidate) + 1 + std::strlen(kSettingsFileName) > kPathLimit) {
            candidate[0] = '\0';  // the file's name would be cut: the maker's folder is unusable
        } else {
            platform::AppendBounded(candidate, "\\", kPathLimit);
            platform::AppendBounded(candidate, kSettingsFileName, kPathLimit);
            if (HasAnySection(candidate)) {
                platform::CopyBounded(settingsPathCache, candidate, kPathLimit);
                return settingsPathCache;
            }
        }
    }

    const std::optional<std::string> windowsDirectory = platform::WindowsDirectory();
    if (!windowsDirectory || windowsDirectory->empty()) return nullptr;
    const bool endsWithSeparator =
        windowsDirectory->back() == '\\' || windowsDirectory->back() == '/';
    // A Windows-directory file whose name would be cut is some other file: it counts as one
    // without sections, so a usable maker's folder is chosen, and without one there is no path.
    const bool windowsFileNameFits =
        windowsDirectory->size() + (endsWithSeparator ? 0 : 1) + std::strlen(kSettingsFileName) <=
        kPathLimit;
    if (!windowsFileNameFits && candidate[0] == '\0') return nullptr;
    if (windowsFileNameFits) {
        platform::CopyBounded(settingsPathCache, windowsDirectory->c_str(), kPathLimit);
        if (!endsWithSeparator) platform::AppendBounded(settingsPathCache, "\\", kPathLimit);
        platform::AppendBounded(settingsPathCache, kSettingsFileName, kPathLimit);
    }

    if (candidate[0] != '\0' && (!windowsFileNameFits || !HasAnySection(settingsPathCache))) {
        platform::CopyBounded(settingsPathCache, candidate, kPathLimit);
        platform::WritePrivateProfileString("Debug", "CreatedBy", "DORNAPI", settingsPathCache);
    }
    return settingsPathCache;
}

std::string CDornApi::GetSetting(const char* section, const char* key, const char* defaultValue) {
    const char* path = GetSettingsFilePath();
    std::vector<char> value(kValueBufferSize);
    platform::GetPrivateProfileString(section, key, defaultValue, value.data(), kValueBufferSize,
                                      path);
    return std::string(value.data());
}

void CDornApi::SetSetting(const char* section, const char* key, const char* value) {
    const char* path = GetSettingsFilePath();
    if (path == nullptr) return;
    platform::WritePrivateProfileString(section, key, value, path);
}

void CDornApi::ResetSettingsPathCacheForTesting() {
    std::lock_guard<std::mutex> lock(CacheMutex());
    settingsPathCache[0] = '\0';
}
