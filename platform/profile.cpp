#include "platform/profile.h"

#include <SimpleIni.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/path.h"
#include "platform/profile_text.h"
#include "platform/system_error.h"
#include "platform/text_case.h"

namespace platform {
namespace {

constexpr uint32_t kErrorInvalidData = 13;

// Serialises read-modify-write cycles of this process; other processes may still race, but
// every write replaces the file whole, so a reader never sees half a file.
std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

class FileDescriptorOwner {
  public:
    explicit FileDescriptorOwner(int descriptor) : fd(descriptor) {}
    ~FileDescriptorOwner() {
        if (fd >= 0) close(fd);
    }
    FileDescriptorOwner(const FileDescriptorOwner&) = delete;
    FileDescriptorOwner& operator=(const FileDescriptorOwner&) = delete;
    int get() const { return fd; }
    // Closes now and reports whether the close succeeded.
    bool Close() {
        const int result = close(fd);
        fd = -1;
        return result == 0;
    }

  private:
    int fd;
};

struct FileText {
    bool exists = false;
    mode_t mode = 0;
    std::string text;
};

// Reads a whole host file. A missing file gives an empty text with exists false; nothing is
// returned (and errno says why) when the file exists but cannot be read.
std::optional<FileText> ReadWholeFile(const std::string& host) {
    FileText result;
    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return result;
        return std::nullopt;
    }
    FileDescriptorOwner owner(fd);
    struct stat st;
    if (fstat(fd, &st) != 0) return std::nullopt;
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return std::nullopt;
    }
    result.exists = true;
    result.mode = st.st_mode & 07777;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        result.text.append(chunk, static_cast<size_t>(n));
    }
    return result;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& host) {
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return host.substr(0, slash);
}

// Replaces the host file with `data`: a temporary file beside it is written, flushed to disk
// and renamed over the file. On failure the old file is untouched, no temporary file is left,
// and the last error says why.
bool ReplaceFile(const std::string& host, std::string_view data, std::optional<mode_t> keepMode) {
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = host + ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        // A missing folder is a missing path, not a missing file.
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return false;
    }
    FileDescriptorOwner owner(fd);
    bool ok = (!keepMode || fchmod(fd, *keepMode) == 0) && WriteAll(fd, data) && fsync(fd) == 0;
    const int savedErrno = errno;
    ok = owner.Close() && ok;
    if (ok && rename(temporary.c_str(), host.c_str()) == 0) {
        int dirFd = open(FolderOf(host).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            fsync(dirFd);
            close(dirFd);
        }
        return true;
    }
    const int failure = ok ? errno : savedErrno;
    unlink(temporary.c_str());
    SetLastError(ErrorFromErrno(failure == 0 ? EIO : failure));
    return false;
}

// The host file a write goes to: a symbolic link is followed so that the link itself stays.
std::string WriteTarget(const std::string& host) {
    struct stat st;
    if (lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = realpath(host.c_str(), nullptr)) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return host;
}

void LoadText(CSimpleIniA& ini, const std::string& text) {
    ini.SetSpaces(false);
    // A key that stands twice reads as its first value; a write replaces all of them.
    ini.SetMultiKey(true);
    ini.SetMultiLine(false);
    // A zero byte ends the text the parser sees; such a file is read only up to it.
    ini.LoadData(text.c_str(), std::strlen(text.c_str()));
}

// Loads a profile file for reading; a missing or unreadable file reads as empty.
void LoadForReading(CSimpleIniA& ini, const char* file) {
    if (file == nullptr) return;
    std::optional<std::string> host = ToHostPath(file);
    if (!host) return;
    std::optional<FileText> content = ReadWholeFile(*host);
    if (content) LoadText(ini, content->text);
}

// Fills a list of names, each zero-terminated, the list ended by one more zero; a list that does
// not fit is cut and ends with two zeros.
uint32_t DeliverList(const CSimpleIniA::TNamesDepend& names, char* buffer, uint32_t size) {
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    uint32_t pos = 0;
    for (const auto& entry : names) {
        const char* name = entry.pItem;
        const size_t length = std::strlen(name);
        if (static_cast<uint64_t>(pos) + length + 2 > size) {
            // pos may already stand at size - 1 (the last name's zero took the room before
            // the final one): then nothing more of this name fits.
            const uint32_t room = pos < size - 2 ? size - 2 - pos : 0;
            std::memcpy(buffer + pos, name, room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + pos, name, length + 1);
        pos += static_cast<uint32_t>(length) + 1;
    }
    buffer[pos] = '\0';
    if (pos == 0) buffer[1] = '\0';
    return pos;
}

uint32_t DeliverText(std::string_view text, char* buffer, uint32_t size) {
    size_t length = text.size();
    if (length > size - 1) length = size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

// A stored value as the profile functions deliver it: one pair of surrounding quotes, double
// or single, is dropped ("Z:\data\tmp" in quotes reads as the path alone).
std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

// A text that would break the line layout of the file (or move a value into another key or
// section) is refused rather than written.
bool HasLineBreak(const char* text) {
    return text != nullptr && std::strpbrk(text, "\r\n") != nullptr;
}

std::string TrimmedName(const char* name) {
    std::string_view text(name);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

// A key that reads back as the same key once written as "key=value": not empty, without '=',
// and not beginning like a section header or a comment.
bool IsWritableKey(const char* key) {
    const char* first = key + std::strspn(key, " \t");
    return *first != '\0' && *first != '[' && *first != ';' && *first != '#' &&
           std::strchr(key, '=') == nullptr;
}

// A section or key as the map of values knows it: without regard to letter case.
std::string Folded(std::string_view text) {
    return UpperCase(text);
}

std::string_view TrimmedBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

using AllValues = std::map<std::pair<std::string, std::string>, std::string>;

// The first value of every key of every section as the reader sees them in `text`, by section
// and key in lower case.
AllValues ReadAll(const std::string& text) {
    CSimpleIniA ini;
    LoadText(ini, text);
    AllValues values;
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto& section : sections) {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.pItem, keys);
        for (const auto& key : keys) {
            values.emplace(std::make_pair(Folded(section.pItem), Folded(key.pItem)),
                           ini.GetValue(section.pItem, key.pItem, ""));
        }
    }
    return values;
}

// Whether the reader sees in `after` exactly what it saw in `before` but for the change asked
// for: the section gone (key null), the key gone (value null), or the key with the value. The
// reader takes some lines in ways the line editor does not foresee (a "[" alone on its line
// names the section on the next); a change that would land elsewhere is refused instead.
bool ReadsAsIntended(const std::string& before, const std::string& after, const char* section,
                     const char* key, const char* value) {
    const std::string changedSection = Folded(TrimmedBlanks(section));
    const std::string changedKey = key != nullptr ? Folded(TrimmedBlanks(key)) : std::string();
    AllValues expected = ReadAll(before);
    std::erase_if(expected, [&](const AllValues::value_type& entry) {
        return entry.first.first == changedSection &&
               (key == nullptr || entry.first.second == changedKey);
    });
    if (key != nullptr && value != nullptr) {
        expected[{changedSection, changedKey}] = std::string(TrimmedBlanks(value));
    }
    return ReadAll(after) == expected;
}

}  // namespace

uint32_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue,
                                 char* buffer, uint32_t size, const char* file) {
    if (buffer == nullptr || size == 0) return 0;
    CSimpleIniA ini;
    LoadForReading(ini, file);

    if (section == nullptr) {
        CSimpleIniA::TNamesDepend sections;
        ini.GetAllSections(sections);
        // Lines above the first section header belong to no section.
        sections.remove_if([](const CSimpleIniA::Entry& e) { return *e.pItem == '\0'; });
        sections.sort(CSimpleIniA::Entry::LoadOrder());
        return DeliverList(sections, buffer, size);
    }
    // Names are stored trimmed of blanks, so they are looked up that way.
    const std::string sectionName = TrimmedName(section);
    if (key == nullptr) {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(sectionName.c_str(), keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        return DeliverList(keys, buffer, size);
    }
    const char* value = ini.GetValue(sectionName.c_str(), TrimmedName(key).c_str(), nullptr);
    if (value != nullptr) return DeliverText(Unquoted(value), buffer, size);
    return DeliverText(defaultValue != nullptr ? defaultValue : "", buffer, size);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value,
                               const char* file) {
    if (section == nullptr) {
        // Nothing is cached, so a request to flush has nothing to do.
        return key == nullptr && value == nullptr && file != nullptr;
    }
    if (file == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        std::strchr(section, ']') != nullptr || (key != nullptr && !IsWritableKey(key))) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::optional<std::string> host = ToHostPath(file);
    if (!host) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::string target = WriteTarget(*host);

    std::lock_guard<std::mutex> lock(WriteMutex());
    std::optional<FileText> content = ReadWholeFile(target);
    if (!content) {
        // A file that cannot be read is not replaced: its contents would be lost.
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    if (content->text.find('\0') != std::string::npos) {
        // Not a text: the reader stops at the zero, so a value written after it could never
        // be read back.
        SetLastError(kErrorInvalidData);
        return false;
    }

    // Only the lines of the change are touched; every other line stays as it was, including
    // lines the reader does not understand.
    ProfileText text(content->text);
    bool changed = false;
    if (key == nullptr) {
        changed = text.RemoveSection(section);
    } else if (value == nullptr) {
        changed = text.RemoveKey(section, key);
    } else {
        changed = text.SetValue(section, key, value);
    }
    if (!ReadsAsIntended(content->text, text.Text(), section, key, value)) {
        SetLastError(kErrorInvalidData);
        return false;
    }
    if (!changed) return true;
    std::optional<mode_t> keepMode;
    if (content->exists) keepMode = content->mode;
    return ReplaceFile(target, text.Text(), keepMode);
}

}  // namespace platform
