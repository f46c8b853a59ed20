// The replayer's model of a recorded folder as a power loss sees it, built by stepping through a
// log (log_format.h).
//
// Every inode holds the bytes that a power loss keeps whatever happens (its durable bytes) and
// the writes and truncations made since its last sync (its pending changes); every folder holds
// the names a power loss keeps and the name changes made since the folder's last sync. Only
// these make anything durable:
//   - fsync or fdatasync of a file (or a write through a descriptor opened O_SYNC/O_DSYNC):
//     its bytes and size; not its name;
//   - fsync of a folder: its names (creations, links, removals, renames in it); not the bytes
//     of the files they name;
//   - sync or syncfs: everything.
// A failed sync makes nothing durable. sync_file_range starts write-back only and is not a
// sync.
//
// A crash state is the durable model with a choice (Choice) of the pending changes applied:
//   - for a file, any subset of its pending writes and truncations, in their order; a write
//     may be torn: only some of the 512-byte sectors it covers reach the disk (optionally with
//     the file grown to the write's end, the missing sectors reading as zeros);
//   - for a folder, a prefix of its pending name changes (a file system keeps a folder's name
//     changes in their order);
// independently for every file and folder. A write made through a synchronous descriptor
// (kDurable) is in every state from then on, in its place among the file's pending changes (a
// synchronous write makes its own bytes durable, not those of the file's other pending writes).
// A file written through a shared writable map
// (kMapShared) has unknown bytes: in every state it holds a fixed pattern of its size.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "powerloss/log_format.h"

namespace powerloss {

constexpr uint64_t kSectorSize = 512;

// One entry of a crash state (or of a folder on disk): a path relative to the recorded folder,
// its type and the inode it names (entries that share an inode are hard links).
struct StateEntry {
    std::string path;
    EntryType type = EntryType::kFile;
    uint32_t inode = 0;
};

// A crash state: every entry (a folder before what it holds) and the bytes of every file (for a
// symbolic link: its target) by inode.
struct State {
    std::vector<StateEntry> entries;
    std::map<uint32_t, std::string> contents;
    std::vector<uint32_t> unknownBytes;  // inodes whose bytes are unknown (shared maps)

    const std::string* Content(const std::string& path) const;
    // A digest of names, types, bytes and links: equal states have equal fingerprints.
    uint64_t Fingerprint() const;
};

// How one pending file change enters a crash state.
enum class Take : uint8_t { kSkip, kApply, kTorn };

struct FileChoice {
    Take take = Take::kApply;
    uint64_t tearSeed = 0;   // kTorn: which sectors land
    bool fullLength = false;  // kTorn: the file grows to the write's end even so
};

// A choice of pending changes: one FileChoice per entry of CrashModel::PendingFileChanges() and
// one prefix length per entry of CrashModel::PendingNameFolders().
struct Choice {
    std::vector<FileChoice> files;
    std::vector<size_t> namePrefix;
};

class CrashModel {
  public:
    // The log must outlive the model.
    explicit CrashModel(const std::vector<Event>& log) : log_(log) {}

    size_t position() const { return position_; }
    bool done() const { return position_ == log_.size(); }
    // Applies the next event. False with *problem when the log contradicts itself (a change of
    // an inode it never made, a name in something that is not a folder).
    bool Step(std::string* problem);

    // Pending file changes, in the order they were made.
    struct PendingChange {
        uint32_t inode;
        size_t event;  // index into the log: a kWrite or a kTruncate
        bool durable;  // a synchronous write: in every state, whatever the choice
    };
    std::vector<PendingChange> PendingFileChanges() const;
    // Folders with pending name changes, and how many each has.
    struct PendingNames {
        uint32_t folder;
        size_t count;
        std::vector<size_t> events;  // the log index of each change, in order
    };
    std::vector<PendingNames> PendingNameFolders() const;

    // The choices that keep nothing pending, and everything pending.
    Choice DurableOnly() const;
    Choice Everything() const;
    // The crash state under a choice. REQUIRES: choice sized for the current pending changes.
    State Build(const Choice& choice) const;

    // The number of sectors a write event covers (1 for a truncation).
    size_t SectorsOf(size_t event) const;

  private:
    struct NameChange {
        enum Kind : uint8_t { kSet, kErase, kRename } kind;
        std::string name;
        std::string name2;
        uint32_t inode = 0;
        size_t event = 0;
    };
    struct Inode {
        EntryType type = EntryType::kFile;
        std::string durable;
        std::vector<size_t> pending;
        bool mapped = false;
        uint64_t size = 0;  // with every change applied
        std::map<std::string, uint32_t> durableNames;  // folders
        std::map<std::string, uint32_t> names;         // folders, with every change applied
        std::vector<NameChange> pendingNames;
    };

    uint32_t NewInode(uint64_t ino, EntryType type);
    bool Lookup(uint64_t ino, uint32_t* id, std::string* problem) const;
    bool Folder(uint64_t ino, uint32_t* id, std::string* problem);
    void AddName(uint32_t folder, NameChange change);
    void ApplyChange(std::string* bytes, size_t event, const FileChoice& choice) const;
    void SyncFile(uint32_t id);
    void SyncFolder(uint32_t id);

    const std::vector<Event>& log_;
    size_t position_ = 0;
    std::vector<Inode> inodes_;
    std::map<uint64_t, uint32_t> byIno_;  // the inode an inode number names now
    uint32_t root_ = 0;
    bool haveRoot_ = false;
};

// Applies bytes at offset to content, growing it with zeros as needed.
void ApplyWrite(std::string* content, uint64_t offset, std::string_view bytes);
// Applies the sectors of a torn write that land (chosen by seed: at least one lands and, when
// the write covers two sectors or more, at least one does not).
void ApplyTornWrite(std::string* content, uint64_t offset, std::string_view bytes,
                    const FileChoice& choice);

}  // namespace powerloss
