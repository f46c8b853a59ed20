// What a build (or dry run) did: how many records it read, wrote and did not write, the first of
// those not written with their keys and reasons, and the list file it wrote. The build fills it as
// it goes; the list file reports it; the dialog keeps its last one; a batch run prints it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace builder {

// An input record that was not written to the output.
struct NotWrittenRecord {
    // In record-number order its record number in the input; in key order its place among the
    // keys read (0 for the first key of the range).
    uint64_t number = 0;
    // The key it was to be written under, or the input key it could not be read by.
    std::vector<uint8_t> key;
    std::string reason;
};

// How a copy that was started ended.
enum class CopyEnd {
    kComplete,         // every record of the range was read
    kInputUnreadable,  // a read of the input failed: the records after it were not read
    kNoSpace,          // the output ran out of space: the copy stopped at the first such write
    kNoMemory,         // a write found too little memory: the copy stopped there
    kInterrupted,      // a stop was asked for (a signal): the copy stopped before the next record
};

struct BuildSummary {
    // The records kept with their details; the rest are only counted.
    static constexpr size_t kMaxDetails = 1000;

    bool copied = false;       // the build reached its copy (false: it ended before, see failure)
    bool dryRun = false;       // nothing was created, erased, written or listed
    bool keyOrder = false;     // the input was read in key order (numbers are places in that order)
    uint64_t recordsRead = 0;  // every record read, deleted ones included
    uint64_t recordsDeleted = 0;               // deleted records left out
    uint64_t recordsWritten = 0;               // written (a dry run: would be written)
    uint64_t recordsNotWritten = 0;            // read, not deleted, and not written
    std::vector<NotWrittenRecord> notWritten;  // the first kMaxDetails of them, in reading order
    std::string listFileName;  // the list file of the build, resolved; empty when there is none
    bool listFileComplete = false;     // every line of that list file was written
    std::string failure;               // the message that ended the build early, if one did
    CopyEnd end = CopyEnd::kComplete;  // how the copy ended (when it was started)
    std::string endError;       // the component's text for the read or write that ended it early
    int stopSignal = 0;         // the signal that interrupted it
    bool outputExists = false;  // a dry run found the output in place (the build would ask)

    // The copy stopped before the end of the input, or its output could not keep what it was
    // given: the build ended early.
    // The first subordinate key definition of the input that the output did not take (the
    // copy went on); empty when every one was copied.
    std::string subordinateKeyFailure;

    bool EndedEarly() const { return copied && (end != CopyEnd::kComplete || !failure.empty()); }

    // Counts a record not written and keeps its details while there is room.
    void AddNotWritten(uint64_t number, const uint8_t* key, size_t keyLength,
                       const std::string& reason) {
        ++recordsNotWritten;
        if (notWritten.size() < kMaxDetails) {
            notWritten.push_back({number, std::vector<uint8_t>(key, key + keyLength), reason});
        }
    }
};

}  // namespace builder
