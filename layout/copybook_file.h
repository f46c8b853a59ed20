// Reading a copybook from a file, for the programs that take one by name.
#pragma once

#include <cstdint>
#include <string>

#include "layout/copybook.h"
#include "layout/copybook_reader.h"

namespace layout {

// The largest copybook file read.
constexpr uint64_t kMaxCopybookBytes = 16 * 1024 * 1024;

// Reads the copybook in the file. On failure returns false, leaves *copybook empty and sets
// *error to one line for people: "cannot read the copybook PATH: REASON", "the copybook PATH is
// larger than ... bytes" or "PATH: line N: REASON".
bool ReadCopybookFile(const std::string& path, const ReadOptions& options, Copybook* copybook,
                      std::string* error);

}  // namespace layout
