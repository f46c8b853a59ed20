// The power-loss and failing-I/O run of the workloads (workloads.h). For each workload:
//   1. its folder is made (unrecorded) and the steps run once unrecorded: what they leave is the
//      complete output that the checks compare with (state_check.h);
//   2. the steps run again under the recorder, and the crash states of that log are replayed
//      (crash_states.h) and checked, each against what the programs had acknowledged before
//      the crash;
//   3. for every step, every N up to its count of I/O calls (or a sample of them) and each of
//      EIO and ENOSPC, the step runs again with its N-th I/O call failing: it must end with a
//      clear message and a non-zero exit status (or succeed in full), leave sound files and an
//      untouched input, report as written only what is there (also after a power loss right
//      afterwards: the end of its log with nothing pending kept), and a run without the failure
//      must then complete the output.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "powerloss/crash_states.h"

namespace powerloss {

struct Tools {
    std::string talvo;
    std::string batch;
    std::string recorder;
};

struct HarnessOptions {
    std::string work;          // a folder of its own (emptied)
    size_t records = 2000;     // records of the inputs
    size_t states = 2500;      // crash states per workload, at most (0: none)
    bool failures = true;      // try the failure points
    size_t failurePoints = 0;  // per step and error, spread over the run; 0: every one
    size_t recoveryEvery = 4;  // every N-th state also takes one more record; 0: none
    uint64_t seed = 1;
    std::set<std::string> only;  // workload names; empty: all
};

struct WorkloadReport {
    std::string name;
    std::string title;
    ReplayFigures replay;
    size_t recoveries = 0;
    uint64_t ioCalls = 0;     // of the recorded steps, together
    uint64_t spaceCalls = 0;  // of them, calls that can run out of space
    size_t eioRuns = 0;       // failure points tried with EIO
    size_t spaceRuns = 0;     // and with ENOSPC
    size_t tolerated = 0;     // runs the failure made no difference to (same report, same output)
    size_t notFired = 0;      // failure points the run did not reach
    size_t problemCount = 0;
    std::vector<std::string> problems;  // the first ones, described
};

// Runs the workloads; progress and figures go to `out`. True when every check passed.
bool RunHarness(const Tools& tools, const HarnessOptions& options, std::ostream& out,
                std::vector<WorkloadReport>* reports);

}  // namespace powerloss
