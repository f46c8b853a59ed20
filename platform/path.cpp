#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/text_case.h"

namespace platform {
namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The host directory a drive letter stands for, or nothing when the drive is unavailable.
std::optional<std::string> DriveRoot(char letter) {
    letter = UpperCase(letter);
    if (letter == 'Z') return std::string("/");
    const std::string variable = std::string("ORDELIN_DRIVE_") + letter;
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

// The names between separators; empty names (doubled separators) are dropped.
std::vector<std::string_view> SplitNames(std::string_view path) {
    std::vector<std::string_view> names;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && IsSeparator(path[i])) ++i;
        const size_t start = i;
        while (i < path.size() && !IsSeparator(path[i])) ++i;
        if (i > start) names.push_back(path.substr(start, i - start));
    }
    return names;
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

// The name of the entry in host directory `dir` ("" is the current directory) that matches
// `name`: the exact name when it exists, else the first (in byte order) that matches without
// regard to case; nothing when none does or the directory cannot be read.
std::optional<std::string> LookUpName(const std::string& dir, std::string_view name) {
    std::string exact = dir;
    exact.append(name);
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) return std::string(name);
    if (errno != ENOENT) return std::nullopt;

    std::unique_ptr<DIR, DirCloser> handle(opendir(dir.empty() ? "." : dir.c_str()));
    if (!handle) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = readdir(handle.get())) {
        const std::string_view candidate(entry->d_name);
        if (candidate == "." || candidate == "..") continue;
        if (EqualsIgnoringCase(candidate, name) && (!best || candidate < *best)) {
            best = std::string(candidate);
        }
    }
    return best;
}

std::string CurrentDirectory() {
    std::vector<char> buffer(512);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return "/";
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

}  // namespace

std::optional<std::string> ToHostPath(std::string_view path) {
    std::string host;
    std::string_view rest = path;

    if (rest.size() >= 2 && rest[0] == '\\' && rest[1] == '\\') {
        // A network path: there is no network on this host.
        return std::nullopt;
    }
    if (rest.size() >= 2 && IsAsciiLetter(rest[0]) && rest[1] == ':') {
        std::optional<std::string> root = DriveRoot(rest[0]);
        if (!root) return std::nullopt;
        host = *root;
        rest.remove_prefix(2);
    } else if (!rest.empty() && IsSeparator(rest[0])) {
        host.push_back('/');  // the current drive is Z:
    }
    if (!host.empty() && host.back() != '/') host.push_back('/');

    const std::vector<std::string_view> names = SplitNames(rest);
    bool lookUp = true;  // false once a name is missing: nothing below it can exist
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        if (name == "." || name == "..") {
            host.append(name);
        } else if (lookUp) {
            std::optional<std::string> found = LookUpName(host, name);
            if (found) {
                host.append(*found);
            } else {
                host.append(name);
                lookUp = false;
            }
        } else {
            host.append(name);
        }
        if (i + 1 < names.size()) host.push_back('/');
    }
    if (!names.empty() && IsSeparator(rest.back())) host.push_back('/');
    return host;
}

std::string ToPlatformPath(std::string_view hostPath) {
    std::string absolute;
    if (hostPath.empty() || hostPath[0] != '/') {
        absolute = CurrentDirectory();
        absolute.push_back('/');
    }
    absolute.append(hostPath);

    std::vector<std::string_view> kept;
    size_t i = 0;
    const std::string_view all(absolute);
    while (i < all.size()) {
        while (i < all.size() && all[i] == '/') ++i;
        const size_t start = i;
        while (i < all.size() && all[i] != '/') ++i;
        const std::string_view name = all.substr(start, i - start);
        if (name.empty() || name == ".") continue;
        if (name == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(name);
    }

    std::string result = "Z:\\";
    for (size_t k = 0; k < kept.size(); ++k) {
        if (k > 0) result.push_back('\\');
        result.append(kept[k]);
    }
    return result;
}

std::string WithBackslashes(std::string_view path) {
    std::string result(path);
    for (char& c : result) {
        if (c == '/') c = '\\';
    }
    return result;
}

std::string JoinPath(std::string_view directory, std::string_view name) {
    while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
    std::string result(directory);
    if (result.empty()) return std::string(name);
    if (!IsSeparator(result.back())) result.push_back('\\');
    result.append(name);
    return result;
}

}  // namespace platform
