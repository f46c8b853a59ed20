#include "talvo/facade/talvo_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/path.h"
#include "platform/profile.h"
#include "platform/system_error.h"
#include "platform/text_case.h"

namespace talvo {
namespace {

constexpr const char* kSection = "Directories";

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Reads a profile value or list whole: grows the buffer until the result fits.
std::string ReadWhole(const char* key, const std::string& platformPath) {
    std::vector<char> buffer(4096);
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        uint32_t count = platform::GetPrivateProfileString(kSection, key, "", buffer.data(), size,
                                                           platformPath.c_str());
        // A value that fills the buffer to size - 1, or a list cut to size - 2, may be cut.
        bool maybeCut = key == nullptr ? count + 2 >= size : count + 1 >= size;
        if (!maybeCut || size >= (1u << 26)) return std::string(buffer.data(), count);
        buffer.resize(buffer.size() * 4);
    }
}

Status WriteEntry(const std::string& hostPath, const char* name, const char* value) {
    std::string platformPath = platform::ToPlatformPath(hostPath);
    if (!platform::WritePrivateProfileString(kSection, name, value, platformPath.c_str())) {
        uint32_t code = platform::GetLastError();
        std::string reason = platform::SystemMessageText(code);
        return Status(Error::kIoError, std::string(ErrorText(Error::kIoError)) + ": cannot write " +
                                           hostPath + (reason.empty() ? "" : ": " + reason));
    }
    return Status::Ok();
}

Status Invalid(const std::string& detail) {
    return Status(Error::kInvalidArgument,
                  std::string(ErrorText(Error::kInvalidArgument)) + ": " + detail);
}

}  // namespace

Status TalvoConfigPath(std::string* hostPath) {
    std::string explicitPath = EnvValue("TALVO_CONFIG");
    if (!explicitPath.empty()) {
        *hostPath = explicitPath;
        return Status::Ok();
    }
    std::string dataHome = EnvValue("XDG_DATA_HOME");
    if (dataHome.empty() || dataHome.front() != '/') {
        std::string home = EnvValue("HOME");
        if (home.empty()) {
            return Invalid(
                "no configuration file: neither TALVO_CONFIG, XDG_DATA_HOME nor HOME is set");
        }
        dataHome = home + "/.local/share";
    }
    *hostPath = dataHome + "/Talvo/talvo.ini";
    return Status::Ok();
}

Status CheckDirectoryConfigReadable(const std::string& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    int err = fd < 0 ? errno : 0;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) err = EISDIR;
    if (fd >= 0) ::close(fd);
    if (err == 0 || err == ENOENT) return Status::Ok();
    return Status(Error::kIoError, std::string(ErrorText(Error::kIoError)) + ": cannot read " +
                                       hostPath + ": " + std::strerror(err));
}

Status CheckDirectoryName(std::string_view name) {
    if (name.empty()) return Invalid("a directory name cannot be empty");
    if (name.size() > kMaxDirectoryName) {
        return Invalid("directory name \"" + std::string(name) + "\" is longer than 3 characters");
    }
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == '=' || c == '[' || c == ']' || c == ';') {
            return Invalid("directory name \"" + std::string(name) +
                           "\" holds a space, a control character or one of = [ ] ;");
        }
    }
    return Status::Ok();
}

Status LoadDirectoryConfig(const std::string& hostPath,
                           std::vector<DirectoryConfigEntry>* entries) {
    entries->clear();
    std::string platformPath = platform::ToPlatformPath(hostPath);
    std::string keys = ReadWhole(nullptr, platformPath);
    size_t start = 0;
    while (start < keys.size()) {
        size_t end = keys.find('\0', start);
        if (end == std::string::npos) end = keys.size();
        std::string name = keys.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        entries->push_back({name, ReadWhole(name.c_str(), platformPath)});
    }
    return Status::Ok();
}

Status SetDirectoryConfig(const std::string& hostPath, std::string_view name,
                          std::string_view path) {
    if (Status s = CheckDirectoryName(name); !s.ok()) return s;
    if (path.empty()) return Invalid("the path of directory " + std::string(name) + " is empty");
    if (path.front() == ' ' || path.back() == ' ') {
        return Invalid("the path of directory " + std::string(name) +
                       " starts or ends with a space, which the file cannot keep");
    }
    for (char c : path) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return Invalid("the path of directory " + std::string(name) +
                           " holds a control character");
        }
    }
    // Write under the spelling already in the file, so the entry keeps its place and name.
    std::vector<DirectoryConfigEntry> entries;
    if (Status s = LoadDirectoryConfig(hostPath, &entries); !s.ok()) return s;
    std::string key(name);
    for (const DirectoryConfigEntry& e : entries) {
        if (platform::EqualsIgnoringCase(e.name, name)) {
            key = e.name;
            break;
        }
    }
    std::filesystem::path folder = std::filesystem::path(hostPath).parent_path();
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            return Status(Error::kIoError, std::string(ErrorText(Error::kIoError)) +
                                               ": cannot make folder " + folder.string() + ": " +
                                               ec.message());
        }
    }
    return WriteEntry(hostPath, key.c_str(), std::string(path).c_str());
}

Status RemoveDirectoryConfig(const std::string& hostPath, std::string_view name) {
    std::vector<DirectoryConfigEntry> entries;
    if (Status s = LoadDirectoryConfig(hostPath, &entries); !s.ok()) return s;
    for (const DirectoryConfigEntry& e : entries) {
        if (platform::EqualsIgnoringCase(e.name, name))
            return WriteEntry(hostPath, e.name.c_str(), nullptr);
    }
    return Status(Error::kNotFound, std::string(ErrorText(Error::kNotFound)) + ": directory " +
                                        std::string(name) + " is not in " + hostPath);
}

}  // namespace talvo
