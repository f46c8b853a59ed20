// The file types of the file system and the facts of their records that the engine and its
// clients share: the largest record and key, and where a deleted record carries its mark.
#pragma once

#include <cstddef>
#include <cstdint>

namespace talvo {

enum class FileType : uint8_t {
    kRecords1 = 1,        // records only, appended
    kRecords2 = 2,        // records only, appended
    kKeyed = 4,           // keyed; deleted slots carry 0xFE at record byte 6
    kExtendedKeyed = 36,  // keyed, key stored in the record at keyPosition; deleted mark at byte 8
};

constexpr uint32_t kMaxRecordSize = 65535;
constexpr uint32_t kMaxKeySize = 255;
constexpr uint8_t kDeletedMark = 0xFE;
constexpr int kMaxSubKeys = 99;        // subordinate key indices 1 to 99
constexpr size_t kMaxSubKeyName = 31;  // characters

// Offset of the deleted mark in a record of the type (6 or 8), or -1 for types without one (and
// for a value that is no file type).
constexpr int DeletedMarkOffset(FileType type) {
    switch (type) {
        case FileType::kKeyed:
            return 6;
        case FileType::kExtendedKeyed:
            return 8;
        case FileType::kRecords1:
        case FileType::kRecords2:
            return -1;
    }
    return -1;
}

}  // namespace talvo
