// powerloss: records the changes a program makes to the files of a folder, replays the states a
// power loss could leave of them, and fails the program's I/O calls one at a time.
//
//   powerloss record --root DIR --log FILE [--fail-at N --fail-errno EIO [--fail-call NAME]]
//                    -- PROGRAM ARGS...
//   powerloss states --log FILE --into DIR [--states N] [--seed S] [-- COMMAND ARGS...]
//   powerloss workloads [--short] [--records N] [--states N] [--failure-points N] [--work DIR]
//
// `states` writes every distinct crash state into DIR in turn and runs COMMAND on it (with
// POWERLOSS_STATE describing the state and POWERLOSS_ACKNOWLEDGED listing the process ids that
// had acknowledged their end); it exits non-zero when COMMAND fails for any state.
#include <CLI/CLI.hpp>

#include <iostream>

#include "powerloss/crash_states.h"
#include "powerloss/folder_state.h"
#include "powerloss/harness.h"
#include "powerloss/process.h"
#include "powerloss/record_run.h"

namespace {

using namespace powerloss;

int Record(const std::string& root, const std::string& log, uint64_t failAt,
           const std::string& error, const std::string& call,
           const std::vector<std::string>& argv) {
    RecordOptions o;
    o.root = root;
    o.log = log;
    o.recorder = POWERLOSS_RECORDER;
    o.argv = argv;
    o.environment = CurrentEnvironment();
    o.failAt = failAt;
    o.failErrno = error;
    o.failCall = call;
    RecordResult r;
    const bool ok = RecordRun(o, &r);
    std::cout << r.process.out << std::flush;
    std::cerr << r.process.err << std::flush;
    if (!ok) {
        std::cerr << "powerloss: " << r.problem << "\n";
        return 125;
    }
    if (failAt != 0 && !r.faulted) std::cerr << "powerloss: the run made fewer I/O calls than that\n";
    if (r.faulted) std::cerr << "powerloss: failed the " << r.faultCall << " call\n";
    std::cerr << "powerloss: " << r.ioCalls << " I/O calls on the folder, " << r.spaceCalls
              << " of them could run out of space\n";
    return r.process.status;
}

int States(const std::string& log, const std::string& into, size_t states, uint64_t seed,
           bool end, const std::vector<std::string>& command) {
    std::vector<Event> events;
    std::string problem;
    if (!ReadLog(log, &events, &problem)) {
        std::cerr << "powerloss: " << problem << "\n";
        return 1;
    }
    StateOptions o;
    o.maxStates = states;
    o.seed = seed;
    o.endOnly = end;
    size_t failed = 0;
    ReplayFigures figures;
    const bool ok = ForEachCrashState(
        events, o,
        [&](const CrashState& crash) {
            std::string why;
            if (!WriteState(*crash.state, into, &why)) {
                std::cerr << "powerloss: " << why << "\n";
                ++failed;
                return false;
            }
            if (command.empty()) return true;
            std::vector<std::string> env = CurrentEnvironment();
            SetVariable(&env, "POWERLOSS_STATE", crash.description);
            std::string acked;
            for (uint32_t pid : crash.acknowledged)
                acked += (acked.empty() ? "" : ",") + std::to_string(pid);
            SetVariable(&env, "POWERLOSS_ACKNOWLEDGED", acked);
            const ProcessResult r = RunProcess(command, env, "", 600);
            std::cout << r.out << std::flush;
            std::cerr << r.err << std::flush;
            if (r.status != 0) {
                ++failed;
                std::cerr << "powerloss: the check failed on the crash state " << crash.description
                          << "\n";
                return false;
            }
            return true;
        },
        &figures, &problem);
    if (!ok) {
        std::cerr << "powerloss: " << problem << "\n";
        return 1;
    }
    std::cerr << "powerloss: " << figures.states << " distinct crash states at "
              << figures.pointsUsed << " of " << figures.points << " crash points\n";
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Power loss and failing I/O: records a program's changes to a folder, replays "
                 "the states a power loss could leave, fails its I/O calls one at a time."};
    app.require_subcommand(1);

    std::string root, log, error = "EIO", call, into;
    uint64_t failAt = 0, seed = 1;
    size_t states = 1000;
    std::vector<std::string> command;

    CLI::App* record = app.add_subcommand("record", "run a program under the recorder");
    record->add_option("--root", root, "the folder whose changes are recorded")->required();
    record->add_option("--log", log, "the log (outside the folder; appended to)")->required();
    record->add_option("--fail-at", failAt, "fail the N-th I/O call on the folder's files");
    record->add_option("--fail-errno", error, "with this error: EIO, ENOSPC, EDQUOT, EFBIG, ...");
    record->add_option("--fail-call", call,
                       "count only calls of this name: open, read, write, dsync-write, fsync, "
                       "fdatasync, ftruncate, rename, link, unlink, ...");
    record->add_option("command", command, "the program and its arguments (after --)")
        ->required();

    CLI::App* replay = app.add_subcommand("states", "write each crash state of a log, and check it");
    replay->add_option("--log", log, "the log")->required();
    replay->add_option("--into", into, "the folder each state is written into (emptied)")
        ->required();
    replay->add_option("--states", states, "distinct states at most");
    replay->add_option("--seed", seed, "seed of the random choices");
    bool end = false;
    replay->add_flag("--end", end, "only the end of the log: nothing pending kept, and all");
    replay->add_option("command", command, "the check to run on each state (after --)");

    HarnessOptions h;
    h.work = std::string(std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp") +
             "/powerloss-workloads";
    bool brief = false;
    std::vector<std::string> only;
    Tools tools{TALVO_EXE, ORDELIN_BATCH_EXE, POWERLOSS_RECORDER};
    CLI::App* workloads =
        app.add_subcommand("workloads", "crash states and failure points of the programs' workloads");
    workloads->add_flag("--short", brief, "a short run: few records, states and failure points");
    workloads->add_option("--records", h.records, "records of the inputs");
    workloads->add_option("--states", h.states, "crash states per workload, at most (0: none)");
    workloads->add_option("--failure-points", h.failurePoints,
                          "failure points per step and error (0: every one)");
    bool noFailures = false;
    workloads->add_flag("--no-failures", noFailures, "replay crash states only");
    workloads->add_option("--recovery-every", h.recoveryEvery,
                          "every N-th state is also written to afterwards (0: none)");
    workloads->add_option("--seed", h.seed, "seed of the random choices");
    workloads->add_option("--work", h.work, "the folder to work in (emptied)");
    workloads->add_option("--only", only, "only these workloads");
    workloads->add_option("--talvo", tools.talvo, "the talvo program");
    workloads->add_option("--batch", tools.batch, "the ordelin-batch program");
    workloads->add_option("--recorder", tools.recorder, "the recorder library");

    CLI11_PARSE(app, argc, argv);

    if (*record) return Record(root, log, failAt, error, call, command);
    if (*replay) return States(log, into, states, seed, end, command);
    if (brief) {
        if (workloads->count("--records") == 0) h.records = 300;
        if (workloads->count("--states") == 0) h.states = 60;
        if (workloads->count("--failure-points") == 0) h.failurePoints = 10;
    }
    h.only.insert(only.begin(), only.end());
    h.failures = !noFailures;
    std::vector<WorkloadReport> reports;
    return RunHarness(tools, h, std::cout, &reports) ? 0 : 1;
}
