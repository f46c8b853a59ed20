// The key column of a type 4 file with records: NAME.idx-keys.
//
// A type 4 record does not carry its key, and the index maps keys to record numbers, not back.
// The column gives the way back, so that deleting record n costs one read here and one lookup in
// the index instead of a walk over the whole index.
//
//   OFFSET      SIZE  DESCRIPTION
//   0           8     magic "TLVKEYS\x1A"
//   8           4     version (1)
//   12          4     key size K
//   16          8     file id: the data file's, so a column of another file is never trusted
//   24          40    zero
//   64 + n * K  K     the key written with slot n (zero-padded)
//
// Rules:
//   1. The column is a hint: whatever it holds for slot n is used only after the index confirms
//      that the key maps to n; a column that is missing, short, stale or wrong costs a walk over
//      the index (which also fills the column in), never a wrong answer. It is therefore written
//      without a flush of its own, and a crash may leave it in any state.
//   2. The writer writes the key of each new slot at that slot's place, so slots written while
//      the column was available have their keys; a later writer of the same slot numbers (after
//      a crash cut uncommitted slots off) writes over them.
//   3. The column only ever goes where nothing else is (IsOtherThanAPart); Erase removes it with
//      the file, and Create removes one left over from an erase cut short.
#include "talvo/engine/key_column.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "talvo/engine/byte_coding.h"
#include "talvo/engine/file_header.h"

namespace talvo::engine {
namespace {

constexpr uint8_t kMagic[8] = {'T', 'L', 'V', 'K', 'E', 'Y', 'S', 0x1A};
constexpr uint32_t kColumnVersion = 1;
constexpr size_t kColumnHeader = 64;

void EncodeHeader(uint64_t fileId, size_t keySize, uint8_t out[kColumnHeader]) {
    std::memset(out, 0, kColumnHeader);
    std::memcpy(out, kMagic, sizeof kMagic);
    PutLittleEndian<uint32_t>(out + 8, kColumnVersion);
    PutLittleEndian<uint32_t>(out + 12, static_cast<uint32_t>(keySize));
    PutLittleEndian<uint64_t>(out + 16, fileId);
}

}  // namespace

void KeyColumn::Open(const std::string& dataPath, uint64_t fileId, size_t keySize) {
    Close();
    keySize_ = keySize;
    const std::string path = PathFor(dataPath);
    if (IsOtherThanAPart(path)) return;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return;
    HostFile file(fd, path);
    uint8_t expected[kColumnHeader];
    EncodeHeader(fileId, keySize, expected);
    uint8_t found[kColumnHeader];
    size_t got = 0;
    if (!file.ReadSomeAt(0, {found, kColumnHeader}, &got).ok()) return;
    if (got != kColumnHeader || std::memcmp(found, expected, kColumnHeader) != 0) {
        // Made just now, or another file's, or damaged: start afresh.
        if (!file.Truncate(0).ok() || !file.WriteAt(0, {expected, kColumnHeader}).ok()) return;
    }
    file_ = std::move(file);
}

void KeyColumn::Close() {
    staged_.clear();
    file_.Close();
}

uint64_t KeyColumn::OffsetOf(uint64_t recordNumber) const {
    return kColumnHeader + recordNumber * keySize_;
}

void KeyColumn::Stage(uint64_t recordNumber, const uint8_t* key) {
    if (!available()) return;
    if (staged_.empty()) stagedFirst_ = recordNumber;
    staged_.insert(staged_.end(), key, key + keySize_);
}

bool KeyColumn::Flush() {
    if (staged_.empty()) return true;
    const bool ok = file_.WriteAt(OffsetOf(stagedFirst_), staged_).ok();
    staged_.clear();
    return ok;
}

bool KeyColumn::Write(uint64_t firstRecord, std::span<const uint8_t> keys) {
    return available() && file_.WriteAt(OffsetOf(firstRecord), keys).ok();
}

bool KeyColumn::Read(uint64_t recordNumber, uint8_t* key) const {
    if (!available()) return false;
    if (!staged_.empty() && recordNumber >= stagedFirst_ &&
        recordNumber - stagedFirst_ < staged_.size() / keySize_) {
        std::memcpy(key, staged_.data() + (recordNumber - stagedFirst_) * keySize_, keySize_);
        return true;
    }
    size_t got = 0;
    return file_.ReadSomeAt(OffsetOf(recordNumber), {key, keySize_}, &got).ok() && got == keySize_;
}

}  // namespace talvo::engine
