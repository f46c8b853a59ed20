// The data file's header: its in-memory form, its encoding, and the checks that tell a data file
// of ours from a foreign, truncated or damaged one. The layout is documented in file_header.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "talvo/engine.h"

namespace talvo::engine {

constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderCopySize = 4096;              // one copy of the header
constexpr uint64_t kDataStart = 2 * kHeaderCopySize;  // record slot 0 starts here

struct FileHeader {
    FileType type = FileType::kKeyed;
    uint32_t recordSize = 0;
    uint32_t keySize = 0;
    uint32_t keyPosition = 0;
    uint64_t fileId = 0;      // shared with the index, so a stray index is not taken for ours
    uint64_t generation = 0;  // grows by one with every header write
    int64_t created = 0;
    int64_t modified = 0;
    int64_t accessed = 0;
    uint64_t slotCount = 0;     // committed slots (types 1 and 2: authoritative)
    uint64_t deletedCount = 0;  // informational for keyed files (the index holds the truth)
    uint64_t keyCount = 0;
    std::vector<SubKeyDef> subKeys;  // definition i+1 at subKeys[i]; at most kMaxSubKeys
};

// Offset of record slot n.
inline uint64_t SlotOffset(uint64_t recordNumber, uint32_t recordSize) {
    return kDataStart + recordNumber * recordSize;
}

bool IsKeyedType(FileType type);

// kInvalidArgument (with the reason) unless the options describe a file the engine can make.
Status ValidateCreateOptions(const CreateOptions& options);

// kInvalidArgument unless the definition can be stored (name of at most kMaxSubKeyName
// characters, no zero byte).
Status ValidateSubKey(const SubKeyDef& def);

// Writes one header copy (kHeaderCopySize bytes) of `header` into `out`.
void EncodeHeader(const FileHeader& header, std::span<uint8_t, kHeaderCopySize> out);

// Reads the header from the file's first bytes (`start` holds min(fileLength, kDataStart) bytes)
// and chooses the newest copy whose checksum holds. Returns kNotDataFile for a foreign file,
// kDamaged for one of ours that is truncated or whose copies are both damaged or implausible,
// kVersionMismatch for another format version. *copyIndex receives the copy chosen (0 or 1).
// On failure *header is unchanged.
Status DecodeHeader(std::span<const uint8_t> start, FileHeader* header, int* copyIndex);

// Whether the file at path (not followed if it is a symbolic link) is something other than a
// plain file, or starts like a data file of the engine (damaged or not). A name that a file uses
// for one of its parts may be taken by such a file in its own right: it is never removed,
// replaced or written as a part.
bool IsOtherThanAPart(const std::string& path);

// CRC-32 (IEEE 802.3, reflected) of the bytes.
uint32_t Crc32(std::span<const uint8_t> bytes);

}  // namespace talvo::engine
