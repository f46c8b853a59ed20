// The health check of a data file: the index and the records agree, keys ascend without
// repeats, the counts are right and deleted marks are consistent. Works only through the
// engine's public reads, so it sees a file as every other user of the engine sees it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "talvo/engine.h"

namespace talvo::tool {

struct CheckSummary {
    uint64_t slots = 0;    // record slots read from the data file
    uint64_t deleted = 0;  // of them, marked deleted
    uint64_t keys = 0;     // keys read from the index
};

// At most this many problems are described; a last line counts the rest.
constexpr size_t kMaxProblemTexts = 1000;

// Reads every record slot and every key of the open file and appends one line per problem
// found to *problems. Returns true when there is none. Changes nothing in the file.
bool CheckDataFile(DataFile& file, std::vector<std::string>* problems, CheckSummary* summary);

}  // namespace talvo::tool
