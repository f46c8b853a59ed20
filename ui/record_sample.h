// The first records of a data file, for a person to look at beside the dialog: read in record
// number order through the client, on a channel of their own that is open only while they are
// read, so that the channels of a build (38 and 39) and the file itself are never held.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"

struct SampleRecord {
    int32_t number = 0;          // its record number, from 0
    bool deleted = false;        // it carries the deleted mark of its file type
    std::vector<uint8_t> bytes;  // the whole record
};

struct RecordSample {
    std::vector<SampleRecord> records;
    // The reads reached the end of the file (or found it empty) before `count` records.
    bool endOfFile = false;
    // Why the file could not be opened or a read failed (the component's text); empty when it
    // could be read. The records read before a failed read are kept.
    std::string error;
};

// The channel the sample is read on.
constexpr int32_t kSampleChannel = 37;

// Reads records 0, 1, ... of the file (at most `count`) whose descriptor is `descriptor`, and
// closes the channel again. REQUIRES: the client connected; a record size of at most 65535
// bytes (the descriptor's field holds no more). Leaves every other channel alone; fails, saying
// so, when the sample channel is already open.
RecordSample ReadRecordSample(CDornApi& client, const std::string& fileName,
                              const std::string& directory, const FileDescriptor& descriptor,
                              size_t count);
