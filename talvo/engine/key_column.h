// The key of every record slot of a type 4 file, in slot order, in NAME.idx-keys beside the data
// file: how a record number finds its key without a walk over the index. A hint that the index
// confirms before it is used; layout and rules in key_column.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "talvo/engine.h"
#include "talvo/engine/host_file.h"

namespace talvo::engine {

class KeyColumn {
  public:
    static std::string PathFor(const std::string& dataPath) { return dataPath + ".idx-keys"; }

    // Opens the column of the file (fileId, keys of keySize bytes) for reading and writing,
    // making it when it is missing and replacing one of another file or a damaged one. When the
    // name is taken by something else (see IsOtherThanAPart), or the column cannot be made, the
    // column stays unavailable and the file works without it: nothing here is an error.
    void Open(const std::string& dataPath, uint64_t fileId, size_t keySize);
    bool available() const { return file_.isOpen(); }
    void Close();

    // Gathers the key of slot `recordNumber` for the next Flush. REQUIRES: slots are gathered
    // in order, each one after the previous (the first one anywhere).
    void Stage(uint64_t recordNumber, const uint8_t* key);
    // Writes the gathered keys (not synced: the column is a hint). False if the system refused.
    bool Flush();
    // Forgets the gathered keys (their slots were given up).
    void DiscardStaged() { staged_.clear(); }
    // Writes the keys of consecutive slots from firstRecord on, at once.
    bool Write(uint64_t firstRecord, std::span<const uint8_t> keys);
    // The key stored for slot `recordNumber` (gathered or written); false when the column does
    // not reach it.
    bool Read(uint64_t recordNumber, uint8_t* key) const;

  private:
    uint64_t OffsetOf(uint64_t recordNumber) const;

    HostFile file_;
    size_t keySize_ = 0;
    uint64_t stagedFirst_ = 0;
    std::vector<uint8_t> staged_;
};

}  // namespace talvo::engine
