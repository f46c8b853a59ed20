#include "builder/output_place.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/path.h"
#include "platform/text_case.h"

namespace builder {
namespace {

// The directory table never holds more entries than this (as the dialog's own list assumes).
constexpr int32_t kMaxDirectoryEntries = 65536;
// The longest file name the host's file systems take.
constexpr size_t kMaxHostName = 255;

}  // namespace

std::optional<std::string> HostPathIn(CDornApi& client, const std::string& directory,
                                      const std::string& file) {
    if (directory.empty()) return std::nullopt;
    std::optional<std::string> exact;
    std::optional<std::string> other;
    DirectoryEntry entry{};
    for (int32_t i = 0; i < kMaxDirectoryEntries && client.GetDirectoryEntry(i, entry); ++i) {
        const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
        const std::string path(entry.path, strnlen(entry.path, sizeof entry.path));
        if (name == directory) {
            exact = path;
            break;
        }
        if (!other && platform::EqualsIgnoringCase(name, directory)) other = path;
    }
    const std::optional<std::string>& found = exact ? exact : other;
    if (!found) return std::nullopt;
    return platform::ToHostPath(platform::JoinPath(*found, file));
}

bool SameHostFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

std::string OutputLockName(const std::string& file) {
    const std::string upper = platform::UpperCase(file);
    std::string name = "." + upper + ".build-lock";
    if (name.size() <= kMaxHostName) return name;
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : upper) hash = (hash ^ c) * 1099511628211ull;
    char digest[17];
    std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(".build-lock-") + digest;
}

}  // namespace builder
