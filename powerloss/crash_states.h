// The crash states of a recorded run: at chosen moments of the log (crash points), the states a
// power loss could leave (crash_model.h), each distinct state once.
//
// Crash points: just before every sync (when the most is pending), just before every change of
// a name, just after every acknowledgement, and the end of the log. At each point, in turn:
//   - nothing pending kept (the durable state);
//   - everything pending kept (what a killed process leaves);
//   - a prefix: the pending changes made before a random moment, all kept;
//   - the last pending write of two sectors or more torn, everything else kept;
//   - random subsets: each pending file change kept with probability 1/10, 1/2 or 9/10 (in turn),
//     a kept write of two sectors or more torn with probability 1/2, each folder keeping a
//     random prefix of its pending name changes;
// until the point's share of the state budget is met or new states stop coming (a run of
// duplicates). When there are more points than half the budget, points are taken evenly
// (acknowledgements and the end always).
//
// An acknowledgement is the moment a program told its user that it ended with an exit status
// that means success: its last write to standard output or error, or its end when it wrote
// nothing. Every state at a later point must show what it acknowledged.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "powerloss/crash_model.h"
#include "powerloss/log_format.h"

namespace powerloss {

// A program of the log: its process id, when it started and ended, its exit status and where
// it acknowledged its end (npos when it did not: no end recorded, or another exit status).
struct ProgramRun {
    uint32_t pid = 0;
    size_t start = 0;
    size_t end = std::string::npos;
    int status = -1;
    size_t acknowledged = std::string::npos;
    std::string arguments;  // joined by spaces
};

// The programs of a log in the order they started. Exit statuses in `success` acknowledge.
std::vector<ProgramRun> ProgramsOf(const std::vector<Event>& log, const std::set<int>& success);

struct StateOptions {
    size_t maxStates = 1000;  // distinct states at most
    uint64_t seed = 1;
    size_t duplicateLimit = 200;  // at a point: stop after this many duplicates in a row
    bool endOnly = false;        // only the end of the log: its durable state and all kept
    std::set<int> success = {0, 3};
};

struct CrashState {
    size_t point = 0;         // the crash comes after this many events
    std::string description;  // where and which variant, for a report
    std::vector<uint32_t> acknowledged;  // the pids that acknowledged before the crash
    const State* state = nullptr;
};

struct ReplayFigures {
    size_t points = 0;      // crash points of the log
    size_t pointsUsed = 0;  // of which states were built
    size_t states = 0;      // distinct states handed on
    size_t duplicates = 0;  // states built that were seen before
};

// Calls fn for every distinct crash state of the log, in the order of the points; fn returns
// false to stop. False with *problem when the log contradicts itself.
bool ForEachCrashState(const std::vector<Event>& log, const StateOptions& options,
                       const std::function<bool(const CrashState&)>& fn, ReplayFigures* figures,
                       std::string* problem);

// The state with everything kept at the end of the log: what the folder holds after the run.
bool FinalState(const std::vector<Event>& log, State* state, std::string* problem);

}  // namespace powerloss
