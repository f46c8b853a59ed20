#include "powerloss/crash_model.h"

#include <algorithm>
#include <functional>
#include <random>
#include <set>

namespace powerloss {
namespace {

uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

uint64_t HashText(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

// The bytes of a file whose contents are unknown: a pattern of its size, the same in every state.
std::string UnknownBytes(uint32_t inode, uint64_t size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    std::mt19937_64 random(0xC0FFEEull + inode);
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

}  // namespace

const std::string* State::Content(const std::string& path) const {
    for (const StateEntry& e : entries) {
        if (e.path != path) continue;
        auto it = contents.find(e.inode);
        return it == contents.end() ? nullptr : &it->second;
    }
    return nullptr;
}

uint64_t State::Fingerprint() const {
    uint64_t h = 0;
    std::map<uint32_t, size_t> firstUse;  // hard links: the entry that first named an inode
    for (size_t i = 0; i < entries.size(); ++i) {
        const StateEntry& e = entries[i];
        h = Mix(h, HashText(e.path));
        h = Mix(h, static_cast<uint64_t>(e.type));
        auto [it, fresh] = firstUse.emplace(e.inode, i);
        h = Mix(h, fresh ? 0 : it->second + 1);
        if (!fresh) continue;
        auto content = contents.find(e.inode);
        if (content != contents.end()) h = Mix(h, HashText(content->second));
    }
    return h;
}

void ApplyWrite(std::string* content, uint64_t offset, std::string_view bytes) {
    const uint64_t end = offset + bytes.size();
    if (content->size() < end) content->resize(static_cast<size_t>(end), '\0');
    std::copy(bytes.begin(), bytes.end(), content->begin() + static_cast<ptrdiff_t>(offset));
}

void ApplyTornWrite(std::string* content, uint64_t offset, std::string_view bytes,
                    const FileChoice& choice) {
    if (bytes.empty()) return;
    const uint64_t first = offset / kSectorSize;
    const uint64_t last = (offset + bytes.size() - 1) / kSectorSize;
    const size_t sectors = static_cast<size_t>(last - first + 1);
    std::vector<bool> lands(sectors);
    std::mt19937_64 random(choice.tearSeed);
    size_t landing = 0;
    for (size_t i = 0; i < sectors; ++i) {
        lands[i] = (random() & 1) != 0;
        landing += lands[i] ? 1 : 0;
    }
    if (landing == 0) lands[static_cast<size_t>(random() % sectors)] = true;
    if (landing == sectors && sectors > 1) lands[static_cast<size_t>(random() % sectors)] = false;
    if (choice.fullLength) {
        const uint64_t end = offset + bytes.size();
        if (content->size() < end) content->resize(static_cast<size_t>(end), '\0');
    }
    for (size_t i = 0; i < sectors; ++i) {
        if (!lands[i]) continue;
        const uint64_t from = std::max(offset, (first + i) * kSectorSize);
        const uint64_t to = std::min(offset + bytes.size(), (first + i + 1) * kSectorSize);
        ApplyWrite(content, from, bytes.substr(static_cast<size_t>(from - offset),
                                               static_cast<size_t>(to - from)));
    }
}

uint32_t CrashModel::NewInode(uint64_t ino, EntryType type) {
    const auto id = static_cast<uint32_t>(inodes_.size());
    inodes_.emplace_back();
    inodes_.back().type = type;
    byIno_[ino] = id;  // a number freed by a removal names the new inode from now on
    return id;
}

bool CrashModel::Lookup(uint64_t ino, uint32_t* id, std::string* problem) const {
    auto it = byIno_.find(ino);
    if (it == byIno_.end()) {
        *problem = "event " + std::to_string(position_) + " names inode " + std::to_string(ino) +
                   ", which the log never made";
        return false;
    }
    *id = it->second;
    return true;
}

bool CrashModel::Folder(uint64_t ino, uint32_t* id, std::string* problem) {
    if (!Lookup(ino, id, problem)) return false;
    if (inodes_[*id].type != EntryType::kDir) {
        *problem = "event " + std::to_string(position_) + " puts a name in inode " +
                   std::to_string(ino) + ", which is not a folder";
        return false;
    }
    return true;
}

void CrashModel::AddName(uint32_t folder, NameChange change) {
    Inode& f = inodes_[folder];
    switch (change.kind) {
        case NameChange::kSet:
            f.names[change.name] = change.inode;
            break;
        case NameChange::kErase:
            f.names.erase(change.name);
            break;
        case NameChange::kRename:
            f.names.erase(change.name);
            f.names[change.name2] = change.inode;
            break;
    }
    change.event = position_;
    f.pendingNames.push_back(std::move(change));
}

void CrashModel::ApplyChange(std::string* bytes, size_t event, const FileChoice& choice) const {
    const Event& e = log_[event];
    if (e.kind == Kind::kTruncate) {
        bytes->resize(static_cast<size_t>(e.value), '\0');
    } else if (choice.take == Take::kTorn) {
        ApplyTornWrite(bytes, e.value, e.data, choice);
    } else {
        ApplyWrite(bytes, e.value, e.data);
    }
}

void CrashModel::SyncFile(uint32_t id) {
    Inode& f = inodes_[id];
    const FileChoice all;
    for (size_t event : f.pending) ApplyChange(&f.durable, event, all);
    f.pending.clear();
}

void CrashModel::SyncFolder(uint32_t id) {
    Inode& f = inodes_[id];
    f.durableNames = f.names;
    f.pendingNames.clear();
}

bool CrashModel::Step(std::string* problem) {
    const Event& e = log_[position_];
    uint32_t id = 0;
    uint32_t folder = 0;
    switch (e.kind) {
        case Kind::kRoot:
            root_ = NewInode(e.ino, EntryType::kDir);
            haveRoot_ = true;
            break;
        case Kind::kBaseEntry: {
            if (!Folder(e.parent, &folder, problem)) return false;
            const auto type = static_cast<EntryType>(e.flags);
            auto known = byIno_.find(e.ino);
            if (known != byIno_.end() && type == EntryType::kFile &&
                inodes_[known->second].type == EntryType::kFile) {
                id = known->second;  // a second name of a file
            } else {
                id = NewInode(e.ino, type);
                inodes_[id].durable = e.data;
                inodes_[id].size = e.data.size();
            }
            inodes_[folder].names[e.name] = id;
            inodes_[folder].durableNames[e.name] = id;
            break;
        }
        case Kind::kCreate:
        case Kind::kMkdir:
        case Kind::kSymlink: {
            if (!Folder(e.parent, &folder, problem)) return false;
            const EntryType type = e.kind == Kind::kCreate  ? EntryType::kFile
                                   : e.kind == Kind::kMkdir ? EntryType::kDir
                                                            : EntryType::kSymlink;
            id = NewInode(e.ino, type);
            if (type == EntryType::kSymlink) {
                // A link's target is written with its name.
                inodes_[id].durable = e.data;
                inodes_[id].size = e.data.size();
            }
            AddName(folder, {NameChange::kSet, e.name, "", id, 0});
            break;
        }
        case Kind::kTmpFile:
            NewInode(e.ino, EntryType::kFile);
            break;
        case Kind::kLink:
            if (!Folder(e.parent, &folder, problem) || !Lookup(e.ino, &id, problem)) return false;
            AddName(folder, {NameChange::kSet, e.name, "", id, 0});
            break;
        case Kind::kUnlink:
            if (!Folder(e.parent, &folder, problem)) return false;
            AddName(folder, {NameChange::kErase, e.name, "", 0, 0});
            break;
        case Kind::kRename: {
            uint32_t to = 0;
            if (!Folder(e.parent, &folder, problem) || !Folder(e.parent2, &to, problem) ||
                !Lookup(e.ino, &id, problem)) {
                return false;
            }
            if (folder == to) {
                AddName(folder, {NameChange::kRename, e.name, e.name2, id, 0});
            } else {
                // Two folders: each keeps its own half, in its own order.
                AddName(folder, {NameChange::kErase, e.name, "", 0, 0});
                AddName(to, {NameChange::kSet, e.name2, "", id, 0});
            }
            break;
        }
        case Kind::kWrite:
        case Kind::kTruncate: {
            if (!Lookup(e.ino, &id, problem)) return false;
            Inode& f = inodes_[id];
            if (f.type != EntryType::kFile) {
                *problem = "event " + std::to_string(position_) + " writes a folder or a link";
                return false;
            }
            f.pending.push_back(position_);
            f.size = e.kind == Kind::kTruncate ? e.value
                                               : std::max<uint64_t>(f.size, e.value + e.data.size());
            break;
        }
        case Kind::kSync:
            if (!Lookup(e.ino, &id, problem)) return false;
            if ((e.flags & kFailed) == 0) {
                if (inodes_[id].type == EntryType::kDir)
                    SyncFolder(id);
                else
                    SyncFile(id);
            }
            break;
        case Kind::kSyncAll:
            for (uint32_t i = 0; i < inodes_.size(); ++i) {
                if (inodes_[i].type == EntryType::kDir)
                    SyncFolder(i);
                else
                    SyncFile(i);
            }
            break;
        case Kind::kMapShared:
            if (!Lookup(e.ino, &id, problem)) return false;
            inodes_[id].mapped = true;
            break;
        case Kind::kStart:
        case Kind::kOut:
        case Kind::kFault:
        case Kind::kCalls:
        case Kind::kExit:
        case Kind::kUnhandled:
            break;
        default:
            *problem = "event " + std::to_string(position_) + " is of an unknown kind " +
                       std::to_string(static_cast<int>(e.kind));
            return false;
    }
    if (!haveRoot_) {
        *problem = "the log does not begin with the recorded folder";
        return false;
    }
    ++position_;
    return true;
}

std::vector<CrashModel::PendingChange> CrashModel::PendingFileChanges() const {
    std::vector<PendingChange> changes;
    for (uint32_t id = 0; id < inodes_.size(); ++id) {
        for (size_t event : inodes_[id].pending) {
            const Event& e = log_[event];
            changes.push_back({id, event, e.kind == Kind::kWrite && (e.flags & kDurable) != 0});
        }
    }
    std::sort(changes.begin(), changes.end(),
              [](const PendingChange& a, const PendingChange& b) { return a.event < b.event; });
    return changes;
}

std::vector<CrashModel::PendingNames> CrashModel::PendingNameFolders() const {
    std::vector<PendingNames> folders;
    for (uint32_t id = 0; id < inodes_.size(); ++id) {
        const Inode& f = inodes_[id];
        if (f.pendingNames.empty()) continue;
        PendingNames p{id, f.pendingNames.size(), {}};
        for (const NameChange& c : f.pendingNames) p.events.push_back(c.event);
        folders.push_back(std::move(p));
    }
    return folders;
}

Choice CrashModel::DurableOnly() const {
    Choice c;
    c.files.assign(PendingFileChanges().size(), FileChoice{Take::kSkip});
    c.namePrefix.assign(PendingNameFolders().size(), 0);
    return c;
}

Choice CrashModel::Everything() const {
    Choice c;
    c.files.assign(PendingFileChanges().size(), FileChoice{Take::kApply});
    for (const PendingNames& p : PendingNameFolders()) c.namePrefix.push_back(p.count);
    return c;
}

size_t CrashModel::SectorsOf(size_t event) const {
    const Event& e = log_[event];
    if (e.kind != Kind::kWrite || e.data.empty()) return 1;
    return static_cast<size_t>((e.value + e.data.size() - 1) / kSectorSize - e.value / kSectorSize +
                               1);
}

State CrashModel::Build(const Choice& choice) const {
    // The chosen changes of each inode, in order.
    std::map<uint32_t, std::vector<std::pair<size_t, FileChoice>>> fileChanges;
    const std::vector<PendingChange> pending = PendingFileChanges();
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i].durable) {
            fileChanges[pending[i].inode].emplace_back(pending[i].event, FileChoice{Take::kApply});
        } else if (i < choice.files.size() && choice.files[i].take != Take::kSkip) {
            fileChanges[pending[i].inode].emplace_back(pending[i].event, choice.files[i]);
        }
    }
    std::map<uint32_t, size_t> prefix;
    const std::vector<PendingNames> folders = PendingNameFolders();
    for (size_t i = 0; i < folders.size() && i < choice.namePrefix.size(); ++i) {
        prefix[folders[i].folder] = std::min(choice.namePrefix[i], folders[i].count);
    }

    State state;
    std::set<uint32_t> walked;  // folders (a folder reached twice is not walked twice)
    std::function<void(uint32_t, const std::string&)> walk = [&](uint32_t folder,
                                                                 const std::string& path) {
        if (!walked.insert(folder).second) return;
        const Inode& f = inodes_[folder];
        std::map<std::string, uint32_t> names = f.durableNames;
        auto cut = prefix.find(folder);
        const size_t take = cut == prefix.end() ? 0 : cut->second;
        for (size_t i = 0; i < take; ++i) {
            const NameChange& c = f.pendingNames[i];
            switch (c.kind) {
                case NameChange::kSet:
                    names[c.name] = c.inode;
                    break;
                case NameChange::kErase:
                    names.erase(c.name);
                    break;
                case NameChange::kRename:
                    names.erase(c.name);
                    names[c.name2] = c.inode;
                    break;
            }
        }
        for (const auto& [name, id] : names) {
            const Inode& child = inodes_[id];
            const std::string childPath = path.empty() ? name : path + "/" + name;
            state.entries.push_back({childPath, child.type, id});
            if (child.type == EntryType::kDir) {
                walk(id, childPath);
                continue;
            }
            if (state.contents.count(id) != 0) continue;  // a hard link
            if (child.mapped) {
                state.contents[id] = UnknownBytes(id, child.size);
                state.unknownBytes.push_back(id);
                continue;
            }
            std::string bytes = child.durable;
            auto changes = fileChanges.find(id);
            if (changes != fileChanges.end()) {
                for (const auto& [event, fileChoice] : changes->second)
                    ApplyChange(&bytes, event, fileChoice);
            }
            state.contents[id] = std::move(bytes);
        }
    };
    if (haveRoot_) walk(root_, "");
    return state;
}

}  // namespace powerloss
