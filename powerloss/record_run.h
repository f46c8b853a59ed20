// Runs one program under the recorder (recorder/recorder.c) and appends its run to a log: the
// folder's state first when the log is new, then what the program did, then its end (kExit).
// Afterwards the folder must hold exactly what the log says it holds; anything else means a
// change escaped the recorder, and the run is reported as not recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "powerloss/log_format.h"
#include "powerloss/process.h"

namespace powerloss {

struct RecordOptions {
    std::string root;      // the recorded folder
    std::string log;       // the log file (outside root)
    std::string recorder;  // the recorder library
    std::vector<std::string> argv;
    std::vector<std::string> environment;  // the program's, before the recorder's variables
    std::string folder;                    // the program's working folder (empty: the caller's)
    int timeoutSeconds = 300;
    uint64_t failAt = 0;    // fail the N-th I/O call on a recorded file (0: none)
    std::string failErrno;  // with this error ("EIO", "ENOSPC", ...)
    // Only calls of this name count towards failAt ("open", "read", "write", "dsync-write" (a
    // write through a synchronous descriptor), "fsync", "fdatasync", "ftruncate", "rename",
    // "link", "unlink", "mkdir", ...); empty: every call.
    std::string failCall;
};

struct RecordResult {
    ProcessResult process;
    std::vector<Event> log;  // the whole log, this run included
    bool faulted = false;    // the failure asked for was injected
    std::string faultCall;   // which call failed
    uint64_t ioCalls = 0;    // I/O calls on recorded files (from the run's kCalls)
    uint64_t spaceCalls = 0; // of which could run out of space
    bool countsKnown = false;
    std::string problem;     // the run was not recorded, or not faithfully
};

// False with result->problem when the run could not be recorded faithfully (the program still
// ran; result->process tells how it ended).
bool RecordRun(const RecordOptions& options, RecordResult* result);

// Reads a log file.
bool ReadLog(const std::string& path, std::vector<Event>* log, std::string* problem);

}  // namespace powerloss
