// The log of a recorded run: every change that reached the files under the recorded folder, in
// the order the calls returned, with the moments the programs spoke and ended. The recorder
// (recorder.cpp, loaded into each program) appends to it; the runner (record_run.cpp) writes the
// folder's first state and each program's end; the replayer (crash_model.cpp) reads it.
//
// A log is a sequence of records, all numbers little-endian:
//
//   OFFSET  SIZE  DESCRIPTION
//   0       4     magic "PLR1"
//   4       4     size of the whole record, this header included
//   8       1     kind (Kind below)
//   9       1     flags (per kind)
//   10      2     zero
//   12      4     process id
//   16      8     ino      the inode the record is about
//   24      8     parent   the inode of the folder that holds `name`
//   32      8     parent2  the inode of the folder that holds `name2`
//   40      8     value    an offset, a length, an error number or an exit status (per kind)
//   48      4     size N1 of name
//   52      4     size N2 of name2
//   56      N1    name     a name inside a folder (no slash)
//   ...     N2    name2
//   ...     rest  data     bytes written, a link's target, a text
//
// Inodes are named by their numbers on the recorded folder's file system: a number freed by a
// removal may come back with a file created later (the replayer tells them apart by the order
// of the records). Everything under the recorded folder lies on that one file system.
//
// This header is self-contained (no library to link): the recorder is a shared library of its
// own that includes it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace powerloss {

enum class Kind : uint8_t {
    // The folder before the run. kRoot: ino = the folder. kBaseEntry: parent/name -> ino, flags
    // the entry type, data the file's bytes or the link's target (a second name of a file that
    // has one already carries no data).
    kRoot = 1,
    kBaseEntry = 2,
    // A program started (data: its arguments, each ended by a zero byte).
    kStart = 3,
    // Names. kCreate: a new, empty file at parent/name. kTmpFile: a new file without a name.
    // kMkdir: a new folder. kSymlink: a new symbolic link (data: its target). kLink: one more
    // name for an existing inode. kUnlink: parent/name removed (ino: what it named). kRename:
    // parent/name moved to parent2/name2 (ino: what it named), replacing what was there.
    kCreate = 10,
    kTmpFile = 11,
    kMkdir = 12,
    kSymlink = 13,
    kLink = 14,
    kUnlink = 15,
    kRename = 16,
    // Contents. kWrite: data at offset `value` of ino (flags kDurable: through a descriptor
    // opened O_SYNC/O_DSYNC, durable when the call returned, unlike the file's other pending
    // writes). kTruncate: ino cut or grown (zeros) to `value` bytes.
    kWrite = 20,
    kTruncate = 21,
    // Durability. kSync: fsync or fdatasync of ino (a file or a folder); flags kFailed when the
    // call failed. kSyncAll: sync or syncfs.
    kSync = 30,
    kSyncAll = 31,
    // ino was mapped shared and writable: its bytes change without calls (they are unknown).
    kMapShared = 32,
    // A program wrote to standard output or error (value: the descriptor; data: the text, cut).
    kOut = 40,
    // The recorder failed a call on purpose (value: the error number; ino: the call's number in
    // its count; data: what the call was).
    kFault = 41,
    // At a program's end: ino = the I/O calls it made on recorded files, value = those of them
    // that could have failed for want of space.
    kCalls = 42,
    // A program ended (written by the runner; value: the exit status, 128 + N for signal N).
    kExit = 43,
    // The recorder met a call it cannot record on a recorded file (data: what) and stopped the
    // program.
    kUnhandled = 44,
};

enum class EntryType : uint8_t { kFile = 1, kDir = 2, kSymlink = 3 };

constexpr uint8_t kFailed = 1;   // flags of kSync
constexpr uint8_t kDurable = 2;  // flags of kWrite

constexpr char kMagic[4] = {'P', 'L', 'R', '1'};
constexpr size_t kHeaderSize = 56;

struct Event {
    Kind kind = Kind::kStart;
    uint8_t flags = 0;
    uint32_t pid = 0;
    uint64_t ino = 0;
    uint64_t parent = 0;
    uint64_t parent2 = 0;
    uint64_t value = 0;
    std::string name;
    std::string name2;
    std::string data;
};

namespace detail {

inline void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put64(uint8_t* at, uint64_t v) {
    for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint32_t Get32(const uint8_t* at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(at[i]) << (8 * i);
    return v;
}
inline uint64_t Get64(const uint8_t* at) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(at[i]) << (8 * i);
    return v;
}

}  // namespace detail

// The fixed part of a record whose variable parts have the given sizes.
inline void EncodeHeader(const Event& e, size_t nameSize, size_t name2Size, size_t dataSize,
                         uint8_t out[kHeaderSize]) {
    std::memset(out, 0, kHeaderSize);
    std::memcpy(out, kMagic, 4);
    detail::Put32(out + 4, static_cast<uint32_t>(kHeaderSize + nameSize + name2Size + dataSize));
    out[8] = static_cast<uint8_t>(e.kind);
    out[9] = e.flags;
    detail::Put32(out + 12, e.pid);
    detail::Put64(out + 16, e.ino);
    detail::Put64(out + 24, e.parent);
    detail::Put64(out + 32, e.parent2);
    detail::Put64(out + 40, e.value);
    detail::Put32(out + 48, static_cast<uint32_t>(nameSize));
    detail::Put32(out + 52, static_cast<uint32_t>(name2Size));
}

inline std::string Encode(const Event& e) {
    std::string out(kHeaderSize, '\0');
    EncodeHeader(e, e.name.size(), e.name2.size(), e.data.size(),
                 reinterpret_cast<uint8_t*>(out.data()));
    out += e.name;
    out += e.name2;
    out += e.data;
    return out;
}

// Decodes the records of `bytes` into *events (appended). False with *problem when a record is
// cut short or malformed; the records before it are kept.
inline bool Decode(std::string_view bytes, std::vector<Event>* events, std::string* problem) {
    size_t at = 0;
    while (at < bytes.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
        const size_t left = bytes.size() - at;
        if (left < kHeaderSize || std::memcmp(p, kMagic, 4) != 0) {
            *problem = "the log is damaged at byte " + std::to_string(at);
            return false;
        }
        const uint32_t size = detail::Get32(p + 4);
        const uint32_t n1 = detail::Get32(p + 48);
        const uint32_t n2 = detail::Get32(p + 52);
        if (size > left || size < kHeaderSize || uint64_t{n1} + n2 > size - kHeaderSize) {
            *problem = "the log is cut short at byte " + std::to_string(at);
            return false;
        }
        Event e;
        e.kind = static_cast<Kind>(p[8]);
        e.flags = p[9];
        e.pid = detail::Get32(p + 12);
        e.ino = detail::Get64(p + 16);
        e.parent = detail::Get64(p + 24);
        e.parent2 = detail::Get64(p + 32);
        e.value = detail::Get64(p + 40);
        const char* text = bytes.data() + at + kHeaderSize;
        e.name.assign(text, n1);
        e.name2.assign(text + n1, n2);
        e.data.assign(text + n1 + n2, size - kHeaderSize - n1 - n2);
        events->push_back(std::move(e));
        at += size;
    }
    return true;
}

}  // namespace powerloss
