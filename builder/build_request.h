// What one build is asked to do: the input as its descriptor describes it, the output to make,
// the key fields its key is assembled from, the key range and the reading order. The dialog makes
// it from its state record and its controls in one place (COrdelinDlg::MakeBuildRequest); the
// build (BuildRun) works from it alone and checks it before touching any file.
//
// Limits the build holds so that no request can make it reach past a buffer: records of at most
// kMaxRecordSize bytes (the largest the file system allows), keys of at most kMaxKeySize bytes, at
// most kMaxKeyFields key fields, key bounds of at most kMaxKeyBoundLength characters (longer ones
// are cut). The dialog holds its edits to the same limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvo/file_types.h"

namespace builder {

constexpr uint32_t kMaxRecordSize = talvo::kMaxRecordSize;
constexpr uint32_t kMaxKeySize = talvo::kMaxKeySize;
constexpr int kMaxKeyFields = 254;
constexpr size_t kMaxKeyBoundLength = 255;
// Key size above which an output key must lie inside the record (an extended keyed output).
constexpr uint32_t kMaxKeySizeWithoutPosition = 64;
constexpr char kKeyPositionRequiredText[] = "Key position is required for key size > 64.";

// A byte range of the input record: its position (0-based) and its length in bytes.
struct KeyField {
    uint32_t position = 0;
    uint32_t length = 0;
    friend bool operator==(const KeyField&, const KeyField&) = default;
};

struct BuildRequest {
    // The input: its names as the client takes them, and what its descriptor says.
    std::string inputFileName;
    std::string inputDirectory;
    uint8_t inputFileType = 0;  // 1, 2, 4 or 36; 4 and 36 mark deleted records
    uint32_t inputRecordSize = 0;
    uint32_t inputKeySize = 0;  // 0 for records only

    // The output: a keyed file, or an extended keyed one whose key lies in the record at
    // outputKeyPosition.
    std::string outputFileName;
    std::string outputDirectory;
    uint32_t outputRecordSize = 0;
    uint32_t outputKeySize = 0;
    bool extendedOutput = false;
    uint32_t outputKeyPosition = 0;  // meaningful with extendedOutput

    // The output key: these ranges of each input record end to end, in this order.
    std::vector<KeyField> keyFields;

    // Key order: the input read along its key from the first key not below fromKey, up to the
    // last key not above toKey; no bound where none is given. Otherwise record-number order.
    bool keyOrder = true;
    std::optional<std::string> fromKey;
    std::optional<std::string> toKey;
};

}  // namespace builder
