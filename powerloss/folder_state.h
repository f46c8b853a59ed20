// Between crash states and real folders: the first records of a log (what a folder holds before
// a run), a crash state written out as a folder, and a folder compared with a state.
#pragma once

#include <string>

#include "powerloss/crash_model.h"

namespace powerloss {

// Appends to the log at logPath the records of everything under folder (kRoot, then kBaseEntry
// for each entry, a folder before what it holds). False with *problem when something there is
// neither a file, a folder nor a symbolic link, or cannot be read.
bool WriteBase(const std::string& folder, const std::string& logPath, std::string* problem);

// What folder holds now, as a state (inodes numbered in the order they are met).
bool ReadFolder(const std::string& folder, State* state, std::string* problem);

// Empties folder (made when missing) and writes state into it: folders, files with their bytes,
// hard links as hard links, symbolic links.
bool WriteState(const State& state, const std::string& folder, std::string* problem);

// The first difference between what folder holds and state (bytes of files whose bytes are
// unknown aside), or empty when they agree.
std::string CompareWithFolder(const State& state, const std::string& folder);

// Reads a whole file; false when it cannot.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace powerloss
