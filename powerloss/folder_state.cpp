#include "powerloss/folder_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

namespace powerloss {
namespace {

std::string Reason() {
    return std::strerror(errno);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadLink(const std::string& path, std::string* target) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) return false;
    target->assign(buffer, static_cast<size_t>(n));
    return true;
}

// Walks everything under folder: fn(parent inode, name, path, status) for each entry, a folder
// before what it holds.
bool Walk(const std::string& folder,
          const std::function<bool(uint64_t, const std::string&, const std::string&,
                                   const struct stat&)>& fn,
          std::string* problem) {
    struct stat top {};
    if (::lstat(folder.c_str(), &top) != 0 || !S_ISDIR(top.st_mode)) {
        *problem = folder + " is not a folder";
        return false;
    }
    std::function<bool(const std::string&, uint64_t)> walk = [&](const std::string& path,
                                                                  uint64_t ino) {
        for (const std::string& name : Names(path)) {
            const std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) != 0) {
                *problem = "cannot examine " + child + ": " + Reason();
                return false;
            }
            if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
                *problem = child + " is neither a file, a folder nor a symbolic link";
                return false;
            }
            if (!fn(ino, name, child, st)) return false;
            if (S_ISDIR(st.st_mode) && !walk(child, st.st_ino)) return false;
        }
        return true;
    };
    return walk(folder, top.st_ino);
}

EntryType TypeOf(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? EntryType::kDir
           : S_ISLNK(st.st_mode) ? EntryType::kSymlink
                                 : EntryType::kFile;
}

const char* TypeName(EntryType type) {
    return type == EntryType::kDir ? "a folder" : type == EntryType::kSymlink ? "a link" : "a file";
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes->clear();
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes->append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return n == 0;
}

bool WriteBase(const std::string& folder, const std::string& logPath, std::string* problem) {
    struct stat top {};
    if (::stat(folder.c_str(), &top) != 0 || !S_ISDIR(top.st_mode)) {
        *problem = folder + " is not a folder";
        return false;
    }
    std::string out;
    Event root;
    root.kind = Kind::kRoot;
    root.ino = top.st_ino;
    out += Encode(root);
    std::set<uint64_t> files;
    const bool ok = Walk(
        folder,
        [&](uint64_t parent, const std::string& name, const std::string& path,
            const struct stat& st) {
            Event e;
            e.kind = Kind::kBaseEntry;
            e.flags = static_cast<uint8_t>(TypeOf(st));
            e.parent = parent;
            e.ino = st.st_ino;
            e.name = name;
            if (S_ISREG(st.st_mode) && files.insert(st.st_ino).second &&
                !ReadWholeFile(path, &e.data)) {
                *problem = "cannot read " + path + ": " + Reason();
                return false;
            }
            if (S_ISLNK(st.st_mode) && !ReadLink(path, &e.data)) {
                *problem = "cannot read the link " + path + ": " + Reason();
                return false;
            }
            out += Encode(e);
            return true;
        },
        problem);
    if (!ok) return false;
    const int fd = ::open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *problem = "cannot open the log " + logPath + ": " + Reason();
        return false;
    }
    const ssize_t n = ::write(fd, out.data(), out.size());
    ::close(fd);
    if (n != static_cast<ssize_t>(out.size())) {
        *problem = "cannot write the log " + logPath;
        return false;
    }
    return true;
}

bool ReadFolder(const std::string& folder, State* state, std::string* problem) {
    *state = State{};
    std::map<std::pair<dev_t, ino_t>, uint32_t> ids;
    return Walk(
        folder,
        [&](uint64_t, const std::string&, const std::string& path, const struct stat& st) {
            auto [it, fresh] =
                ids.emplace(std::make_pair(st.st_dev, st.st_ino), static_cast<uint32_t>(ids.size()));
            state->entries.push_back({path.substr(folder.size() + 1), TypeOf(st), it->second});
            if (!fresh || S_ISDIR(st.st_mode)) return true;
            std::string bytes;
            const bool read =
                S_ISLNK(st.st_mode) ? ReadLink(path, &bytes) : ReadWholeFile(path, &bytes);
            if (!read) {
                *problem = "cannot read " + path + ": " + Reason();
                return false;
            }
            state->contents[it->second] = std::move(bytes);
            return true;
        },
        problem);
}

bool WriteState(const State& state, const std::string& folder, std::string* problem) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (const std::string& name : Names(folder)) {
        std::filesystem::remove_all(folder + "/" + name, error);
        if (error) {
            *problem = "cannot empty " + folder + ": " + error.message();
            return false;
        }
    }
    std::map<uint32_t, std::string> written;  // inode -> the path that first holds it
    for (const StateEntry& e : state.entries) {
        const std::string path = folder + "/" + e.path;
        if (e.type == EntryType::kDir) {
            if (::mkdir(path.c_str(), 0755) != 0) {
                *problem = "cannot make " + path + ": " + Reason();
                return false;
            }
            continue;
        }
        auto content = state.contents.find(e.inode);
        const std::string empty;
        const std::string& bytes = content == state.contents.end() ? empty : content->second;
        if (e.type == EntryType::kSymlink) {
            if (::symlink(bytes.c_str(), path.c_str()) != 0) {
                *problem = "cannot make the link " + path + ": " + Reason();
                return false;
            }
            continue;
        }
        auto first = written.find(e.inode);
        if (first != written.end()) {
            if (::link(first->second.c_str(), path.c_str()) != 0) {
                *problem = "cannot link " + path + ": " + Reason();
                return false;
            }
            continue;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            *problem = "cannot make " + path + ": " + Reason();
            return false;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
        if (done != bytes.size()) {
            *problem = "cannot write " + path + ": " + Reason();
            return false;
        }
        written[e.inode] = path;
    }
    return true;
}

std::string CompareWithFolder(const State& state, const std::string& folder) {
    State disk;
    std::string problem;
    if (!ReadFolder(folder, &disk, &problem)) return problem;
    std::map<std::string, const StateEntry*> want;
    for (const StateEntry& e : state.entries) want[e.path] = &e;
    std::map<std::string, const StateEntry*> have;
    for (const StateEntry& e : disk.entries) have[e.path] = &e;
    for (const auto& [path, e] : have) {
        if (want.count(path) == 0) return path + " is on disk, and the log does not make it";
    }
    std::map<uint32_t, uint32_t> sameAs;  // the log's inode -> the disk's
    const std::set<uint32_t> unknown(state.unknownBytes.begin(), state.unknownBytes.end());
    for (const auto& [path, e] : want) {
        auto it = have.find(path);
        if (it == have.end()) return path + " is missing on disk, and the log keeps it";
        const StateEntry& d = *it->second;
        if (d.type != e->type) {
            return path + " is " + TypeName(d.type) + " on disk and " + TypeName(e->type) +
                   " in the log";
        }
        auto [link, fresh] = sameAs.emplace(e->inode, d.inode);
        if (link->second != d.inode) {
            return path + " is another file on disk than in the log (hard links differ)";
        }
        if (!fresh || e->type == EntryType::kDir || unknown.count(e->inode) != 0) continue;
        const std::string& logged = state.contents.at(e->inode);
        const std::string& real = disk.contents.at(d.inode);
        if (logged != real) {
            size_t at = 0;
            while (at < logged.size() && at < real.size() && logged[at] == real[at]) ++at;
            return path + " differs from the log at byte " + std::to_string(at) + " (" +
                   std::to_string(real.size()) + " bytes on disk, " +
                   std::to_string(logged.size()) + " in the log)";
        }
    }
    return "";
}

}  // namespace powerloss
