// The on-disk form of a data file.
//
// A file NAME of the engine is made of up to five host files:
//
//   NAME           the data file: the header below, then the record slots
//   NAME.idx       types 4 and 36 only: the key index, an LMDB environment in one file
//                  (layout in key_index.cpp)
//   NAME.idx-lock  types 4 and 36 only: LMDB's reader table, made beside NAME.idx when the index
//                  is first opened; it holds no data and may be deleted when nobody has the file
//                  open
//   NAME.idx-keys  type 4 with records only: the key column, a hint that leads a record number to
//                  its key (layout in key_column.cpp); made by the first writer
//   NAME.idx-runs  a writer's spill file, only on file systems that cannot make unnamed files,
//                  and then unlinked as soon as it is made (spilled_runs.cpp); a leftover is
//                  removed by the next writer
//
// Erasing a file removes all of them, the data file first, so that a crash during the erase
// leaves either the whole file or no data file (a stray part is removed by the next Create).
// A name that a part would take but that holds a data file of its own is never removed or
// written as a part: Create refuses to make a keyed file whose index would go there, and the key
// column and the spill file do without that name.
//
// Data file layout. All numbers are little-endian.
//
//   OFFSET  SIZE       DESCRIPTION
//   0       4096       header copy 0
//   4096    4096       header copy 1
//   8192    n * R      record slots: slot n at 8192 + n * R, R = record size (nothing when R = 0)
//
// Header copy (each of the two copies has this form):
//
//   OFFSET  SIZE  DESCRIPTION
//   0       8     magic "TLVDATA\x1A"
//   8       4     format version (1)
//   12      4     size of a header copy (4096)
//   16      8     generation: grows by one with every header write
//   24      8     file id: a random number, also stored in the index
//   32      1     file type: 1, 2, 4 or 36
//   33      3     zero
//   36      4     record size R (0..65535; 0 only for types 4 and 36: a key-only file)
//   40      4     key size (1..255 for types 4 and 36, 0 for types 1 and 2)
//   44      4     key position (type 36: key position + key size <= R; otherwise 0)
//   48      8     offset of slot 0 (8192)
//   56      8     created, seconds since 1970
//   64      8     modified, seconds since 1970
//   72      8     accessed, seconds since 1970 (the data file's own access time may be later)
//   80      8     slot count S
//   88      8     deleted slot count
//   96      8     key count
//   104     4     subordinate key definitions in use, U (0..99)
//   108     20    zero
//   128     3960  99 subordinate key definitions of 40 bytes, definition i at 128 + (i - 1) * 40:
//                   +0 int32 first, +4 int32 second, +8 32 bytes name (zero-padded, at most 31)
//   4088    4     zero
//   4092    4     CRC-32 of bytes 0..4091 of this copy
//
// Invariants:
//   1. A header write goes to the copy that does not hold the newest generation and is followed
//      by fdatasync; the other copy is durable at that moment. A torn header write therefore
//      leaves the previous copy valid: open chooses the valid copy of the highest generation.
//   2. Slots 0..S-1 are committed. For types 1 and 2 S is the header's slot count; for types 4
//      and 36 it is the index's (the header's counts there only report). Bytes after slot S-1
//      are uncommitted and ignored; the first writer to open the file cuts them off.
//   3. A committed slot never changes again, except that a keyed file's slot may receive the
//      deleted mark (0xFE at byte 6 for type 4, byte 8 for type 36) once its key has left the
//      index (see key_index.cpp for the order of those two steps).
//   4. Record bytes are written and flushed before any header or index commit that counts them.
//   5. Definitions 1..U are in use and U never shrinks; the rest are zero.
#include "talvo/engine/file_header.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "talvo/engine/byte_coding.h"
#include "talvo/engine/engine_error.h"

namespace talvo::engine {
namespace {

constexpr uint8_t kMagic[8] = {'T', 'L', 'V', 'D', 'A', 'T', 'A', 0x1A};
constexpr size_t kSubKeyStart = 128;
constexpr size_t kSubKeySize = 40;
constexpr size_t kChecksumOffset = kHeaderCopySize - 4;

bool IsKnownType(uint8_t type) {
    return type == 1 || type == 2 || type == 4 || type == 36;
}

// The shape checks shared by Create and by a header read from disk; empty when plausible.
std::string ShapeProblem(FileType type, uint32_t recordSize, uint32_t keySize,
                         uint32_t keyPosition) {
    if (!IsKnownType(static_cast<uint8_t>(type))) {
        return "file type " + std::to_string(static_cast<int>(type)) + " is not 1, 2, 4 or 36";
    }
    if (recordSize > kMaxRecordSize) {
        return "record size " + std::to_string(recordSize) + " is above " +
               std::to_string(kMaxRecordSize);
    }
    if (IsKeyedType(type)) {
        if (keySize < 1 || keySize > kMaxKeySize) {
            return "key size " + std::to_string(keySize) + " is not between 1 and " +
                   std::to_string(kMaxKeySize);
        }
        if (type == FileType::kExtendedKeyed && recordSize != 0 &&
            static_cast<uint64_t>(keyPosition) + keySize > recordSize) {
            return "key position " + std::to_string(keyPosition) + " plus key size " +
                   std::to_string(keySize) + " exceeds the record size " +
                   std::to_string(recordSize);
        }
        if ((type == FileType::kKeyed || recordSize == 0) && keyPosition != 0) {
            return "a key position is only meaningful in a type 36 file with records";
        }
    } else {
        if (recordSize == 0) return "a file of type 1 or 2 needs a record size of at least 1";
        if (keySize != 0) return "a file of type 1 or 2 has no key (key size must be 0)";
        if (keyPosition != 0) return "a file of type 1 or 2 has no key position";
    }
    return {};
}

}  // namespace

bool IsKeyedType(FileType type) {
    return type == FileType::kKeyed || type == FileType::kExtendedKeyed;
}

Status ValidateCreateOptions(const CreateOptions& options) {
    std::string problem =
        ShapeProblem(options.type, options.recordSize, options.keySize, options.keyPosition);
    if (!problem.empty()) return Status::Failure(Error::kInvalidArgument, problem);
    return Status::Ok();
}

Status ValidateSubKey(const SubKeyDef& def) {
    if (def.name.size() > kMaxSubKeyName) {
        return Status::Failure(Error::kInvalidArgument,
                               "subordinate key name of " + std::to_string(def.name.size()) +
                                   " characters (at most " + std::to_string(kMaxSubKeyName) + ")");
    }
    if (def.name.find('\0') != std::string::npos) {
        return Status::Failure(Error::kInvalidArgument, "subordinate key name holds a zero byte");
    }
    return Status::Ok();
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
    static const auto kTable = [] {
        std::array<uint32_t, 256> table{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes) crc = kTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void EncodeHeader(const FileHeader& header, std::span<uint8_t, kHeaderCopySize> out) {
    uint8_t* p = out.data();
    std::memset(p, 0, kHeaderCopySize);
    std::memcpy(p, kMagic, sizeof kMagic);
    PutLittleEndian<uint32_t>(p + 8, kFormatVersion);
    PutLittleEndian<uint32_t>(p + 12, static_cast<uint32_t>(kHeaderCopySize));
    PutLittleEndian<uint64_t>(p + 16, header.generation);
    PutLittleEndian<uint64_t>(p + 24, header.fileId);
    p[32] = static_cast<uint8_t>(header.type);
    PutLittleEndian<uint32_t>(p + 36, header.recordSize);
    PutLittleEndian<uint32_t>(p + 40, header.keySize);
    PutLittleEndian<uint32_t>(p + 44, header.keyPosition);
    PutLittleEndian<uint64_t>(p + 48, kDataStart);
    PutLittleEndian<int64_t>(p + 56, header.created);
    PutLittleEndian<int64_t>(p + 64, header.modified);
    PutLittleEndian<int64_t>(p + 72, header.accessed);
    PutLittleEndian<uint64_t>(p + 80, header.slotCount);
    PutLittleEndian<uint64_t>(p + 88, header.deletedCount);
    PutLittleEndian<uint64_t>(p + 96, header.keyCount);
    const size_t used = std::min<size_t>(header.subKeys.size(), kMaxSubKeys);
    PutLittleEndian<uint32_t>(p + 104, static_cast<uint32_t>(used));
    for (size_t i = 0; i < used; ++i) {
        uint8_t* def = p + kSubKeyStart + i * kSubKeySize;
        PutLittleEndian<int32_t>(def, header.subKeys[i].first);
        PutLittleEndian<int32_t>(def + 4, header.subKeys[i].second);
        const std::string& name = header.subKeys[i].name;
        std::memcpy(def + 8, name.data(), std::min(name.size(), kMaxSubKeyName));
    }
    PutLittleEndian<uint32_t>(p + kChecksumOffset, Crc32(out.first(kChecksumOffset)));
}

namespace {

enum class CopyState { kForeign, kDamaged, kOtherVersion, kValid };

CopyState DecodeCopy(const uint8_t* p, FileHeader* header) {
    if (std::memcmp(p, kMagic, sizeof kMagic) != 0) return CopyState::kForeign;
    if (GetLittleEndian<uint32_t>(p + kChecksumOffset) != Crc32({p, kChecksumOffset}))
        return CopyState::kDamaged;
    if (GetLittleEndian<uint32_t>(p + 8) != kFormatVersion) return CopyState::kOtherVersion;
    if (GetLittleEndian<uint32_t>(p + 12) != kHeaderCopySize ||
        GetLittleEndian<uint64_t>(p + 48) != kDataStart) {
        return CopyState::kDamaged;
    }
    FileHeader h;
    h.generation = GetLittleEndian<uint64_t>(p + 16);
    h.fileId = GetLittleEndian<uint64_t>(p + 24);
    h.type = static_cast<FileType>(p[32]);
    h.recordSize = GetLittleEndian<uint32_t>(p + 36);
    h.keySize = GetLittleEndian<uint32_t>(p + 40);
    h.keyPosition = GetLittleEndian<uint32_t>(p + 44);
    h.created = GetLittleEndian<int64_t>(p + 56);
    h.modified = GetLittleEndian<int64_t>(p + 64);
    h.accessed = GetLittleEndian<int64_t>(p + 72);
    h.slotCount = GetLittleEndian<uint64_t>(p + 80);
    h.deletedCount = GetLittleEndian<uint64_t>(p + 88);
    h.keyCount = GetLittleEndian<uint64_t>(p + 96);
    const uint32_t used = GetLittleEndian<uint32_t>(p + 104);
    if (!ShapeProblem(h.type, h.recordSize, h.keySize, h.keyPosition).empty()) {
        return CopyState::kDamaged;
    }
    if (used > static_cast<uint32_t>(kMaxSubKeys) || h.deletedCount > h.slotCount) {
        return CopyState::kDamaged;
    }
    for (uint32_t i = 0; i < used; ++i) {
        const uint8_t* def = p + kSubKeyStart + i * kSubKeySize;
        SubKeyDef d;
        d.first = GetLittleEndian<int32_t>(def);
        d.second = GetLittleEndian<int32_t>(def + 4);
        const char* name = reinterpret_cast<const char*>(def + 8);
        d.name.assign(name, strnlen(name, kMaxSubKeyName));
        h.subKeys.push_back(std::move(d));
    }
    *header = std::move(h);
    return CopyState::kValid;
}

}  // namespace

bool IsOtherThanAPart(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return true;  // unreadable: not ours to judge
    std::vector<uint8_t> start(kDataStart);
    size_t got = 0;
    while (got < start.size()) {
        const ssize_t n =
            ::pread(fd, start.data() + got, start.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    start.resize(got);
    FileHeader header;
    int copy = 0;
    return DecodeHeader(start, &header, &copy).code() != Error::kNotDataFile;
}

Status DecodeHeader(std::span<const uint8_t> start, FileHeader* header, int* copyIndex) {
    if (start.size() < sizeof kMagic || std::memcmp(start.data(), kMagic, sizeof kMagic) != 0) {
        // Copy 0 may be the one torn by a crash; copy 1 can still prove the file ours.
        if (start.size() < kDataStart ||
            std::memcmp(start.data() + kHeaderCopySize, kMagic, sizeof kMagic) != 0) {
            return Status::Failure(Error::kNotDataFile, "no data file header");
        }
    }
    if (start.size() < kDataStart) {
        return Status::Failure(Error::kDamaged, "the header is cut short (" +
                                                    std::to_string(start.size()) + " of " +
                                                    std::to_string(kDataStart) + " bytes)");
    }
    FileHeader copies[2];
    CopyState states[2];
    for (int i = 0; i < 2; ++i)
        states[i] = DecodeCopy(start.data() + i * kHeaderCopySize, &copies[i]);
    int best = -1;
    for (int i = 0; i < 2; ++i) {
        if (states[i] == CopyState::kValid &&
            (best < 0 || copies[i].generation > copies[best].generation)) {
            best = i;
        }
    }
    if (best < 0) {
        if (states[0] == CopyState::kOtherVersion || states[1] == CopyState::kOtherVersion) {
            return Status::Failure(Error::kVersionMismatch,
                                   "the data file has another format version");
        }
        return Status::Failure(Error::kDamaged, "both header copies fail their checks");
    }
    *header = std::move(copies[best]);
    *copyIndex = best;
    return Status::Ok();
}

}  // namespace talvo::engine
