#include "powerloss/harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

#include "powerloss/folder_state.h"
#include "powerloss/record_run.h"
#include "powerloss/workloads.h"

namespace powerloss {
namespace {

namespace fs = std::filesystem;

constexpr size_t kProblemsKept = 25;
constexpr size_t kFailedStatesKept = 3;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The number between `before` and `after` in text (the last such); false when there is none.
bool NumberBetween(const std::string& text, const std::string& before, const std::string& after,
                   uint64_t* value) {
    bool found = false;
    for (size_t at = text.find(before); at != std::string::npos; at = text.find(before, at + 1)) {
        size_t end = at + before.size();
        const size_t digits = end;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == digits || text.compare(end, after.size(), after) != 0) continue;
        *value = std::stoull(text.substr(digits, end - digits));
        found = true;
    }
    return found;
}

std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

bool SanitizerReport(const std::string& err) {
    return err.find("Sanitizer") != std::string::npos ||
           err.find("runtime error:") != std::string::npos;
}

Promise Stronger(Promise a, Promise b) {
    auto rank = [](Promise p) {
        return p == Promise::kNothing ? 0 : p == Promise::kExists ? 1 : 2;
    };
    return rank(a) >= rank(b) ? a : b;
}

class WorkloadRun {
  public:
    WorkloadRun(const Tools& tools, const HarnessOptions& options, const Workload& workload,
                std::ostream& out, WorkloadReport* report)
        : tools_(tools), options_(options), w_(workload), out_(out), report_(*report) {
        dir_ = options.work + "/" + workload.name;
        root_ = dir_ + "/root";
        base_ = dir_ + "/base";
        log_ = dir_ + "/run.log";
        report_.name = workload.name;
        report_.title = workload.title;
    }

    void Run() {
        out_ << "== " << w_.name << ": " << w_.title << "\n" << std::flush;
        if (!Prepare() || !Expect() || !RecordClean()) return;
        if (options_.states != 0) ReplayCrashStates();
        if (options_.failures) TryFailures();
    }

  private:
    void Problem(const std::string& text) {
        std::ofstream(dir_ + "/problems.txt", std::ios::app) << text << "\n";
        ++report_.problemCount;
        if (report_.problems.size() < kProblemsKept) report_.problems.push_back(text);
        if (report_.problemCount <= 5) out_ << "   PROBLEM: " << text << "\n" << std::flush;
        if (report_.problemCount == 6) out_ << "   (every problem: " << dir_ << "/problems.txt)\n";
    }

    std::vector<std::string> Argv(const Step& step) const {
        std::vector<std::string> argv{step.batch ? tools_.batch : tools_.talvo};
        for (const std::string& a : step.args) argv.push_back(Replace(a, "{root}", root_));
        return argv;
    }

    std::vector<std::string> Env(const Step& step) const {
        std::vector<std::string> env = env_;
        if (!step.budgets.empty()) SetVariable(&env, "TALVO_BUDGETS", step.budgets);
        return env;
    }

    ProcessResult RunStep(const Step& step) {
        return RunProcess(Argv(step), Env(step), dir_, 300);
    }

    bool Prepare() {
        std::error_code error;
        fs::remove_all(dir_, error);
        fs::create_directories(dir_ + "/home/Corvane Group", error);
        fs::create_directories(dir_ + "/reports", error);
        fs::create_directories(root_, error);
        if (error) {
            Problem("cannot make " + dir_ + ": " + error.message());
            return false;
        }
        std::ofstream(dir_ + "/home/Corvane Group/NAVO.INI")
            << "[Directories]\r\nQVTEMP=" << dir_ << "/reports\r\n";
        env_.clear();
        for (const std::string& v : CurrentEnvironment()) {
            const std::string name = v.substr(0, v.find('='));
            if (name == "TALVO_BUDGETS" || name == "LD_PRELOAD" || name.rfind("POWERLOSS_", 0) == 0)
                continue;
            env_.push_back(v);
        }
        SetVariable(&env_, "HOME", dir_ + "/home");
        SetVariable(&env_, "XDG_DATA_HOME", dir_ + "/home");
        SetVariable(&env_, "ORDELIN_WINDIR", dir_ + "/home");
        SetVariable(&env_, "TALVO_CONFIG", dir_ + "/talvo.ini");
        SetVariable(&env_, "QT_QPA_PLATFORM", "offscreen");
        SetVariable(&env_, "TZ", "UTC");
        std::vector<Step> setup = w_.setup;
        setup.insert(setup.begin(), Step{false, {"dirs", "set", "DAT", "{root}"}, "", {}});
        for (const Step& step : setup) {
            const ProcessResult r = RunStep(step);
            if (r.status != 0) {
                Problem("the setup failed: " + Join(Argv(step)) + ": " + r.Describe());
                return false;
            }
        }
        fs::rename(root_, base_, error);
        if (error) {
            Problem("cannot keep the first state: " + error.message());
            return false;
        }
        return true;
    }

    static std::string Join(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
        return text;
    }

    bool IsOutputPart(const std::string& path) const {
        return path == w_.output || path.rfind(w_.output + ".", 0) == 0;
    }

    void CopyBase() {
        std::error_code error;
        fs::remove_all(root_, error);
        fs::copy(base_, root_, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
                 error);
        if (error) Problem("cannot copy the first state: " + error.message());
    }

    // The clean run, unrecorded: what the complete output holds.
    bool Expect() {
        CopyBase();
        OutputRules rules;
        rules.name = w_.output;
        rules.keyFields = w_.keyFields;
        rules.extraKeyFields = w_.extraKeyFields;
        rules.extraRecordFile = dir_ + "/extra.flat";
        StateChecker reader(tools_.talvo, env_, dir_ + "/state", {}, rules);
        std::vector<DumpedRecord> records;
        if (w_.replacesOutput) {
            if (!Dump(root_ + "/" + w_.output, &records)) return false;
            for (const DumpedRecord& r : records) rules.oldRecords.insert(r.data);
        }
        for (const Step& step : w_.steps) {
            const ProcessResult r = RunStep(step);
            cleanStatus_.push_back(r.status);
            cleanReport_.push_back(ReportOf(r));
            if (r.status != 0 && r.status != 3) {
                Problem("the run without failures failed: " + Join(Argv(step)) + ": " +
                        r.Describe());
                return false;
            }
        }
        if (!w_.input.empty()) {
            // What a build may write: any live record of its input.
            std::vector<DumpedRecord> input;
            if (!Dump(root_ + "/" + w_.input, &input)) return false;
            for (const DumpedRecord& r : input) rules.candidates.insert(r.data);
        }
        if (!Dump(root_ + "/" + w_.output, &records)) return false;
        if (records.empty()) {
            Problem("the run without failures wrote no records");
            return false;
        }
        for (const DumpedRecord& r : records) rules.records.insert(r.data);
        const ProcessResult list =
            RunProcess({tools_.talvo, "subkey", root_ + "/" + w_.output, "list"}, env_, dir_, 60);
        rules.subkeys = list.out + list.err;
        // One more record, of a key no run writes: the customer number 99999999, the postcode
        // and city "99999Powerloss Town", the first date 99991231.
        std::string extra = records.front().data;
        extra.replace(0, 8, "99999999");
        extra.replace(56, 23, "99999Powerloss Town    ");
        extra.replace(79, 8, "99991231");
        std::ofstream(rules.extraRecordFile, std::ios::binary) << extra;

        // Everything of the first state but the output and the lock files stays as it is.
        State first;
        std::string problem;
        if (!ReadFolder(base_, &first, &problem)) {
            Problem(problem);
            return false;
        }
        std::map<std::string, std::string> unchanged;
        for (const StateEntry& e : first.entries) {
            if (e.type != EntryType::kFile || IsOutputPart(e.path) ||
                (e.path.size() >= 5 && e.path.compare(e.path.size() - 5, 5, "-lock") == 0)) {
                continue;
            }
            unchanged[e.path] = first.contents.at(e.inode);
        }
        out_ << "   complete output: " << rules.records.size() << " records"
             << (rules.oldRecords.empty()
                     ? ""
                     : ", replacing one of " + std::to_string(rules.oldRecords.size()))
             << "; exit status";
        for (int s : cleanStatus_) out_ << " " << s;
        out_ << "\n";
        checker_ = std::make_unique<StateChecker>(tools_.talvo, env_, dir_ + "/state",
                                                  std::move(unchanged), std::move(rules));
        return true;
    }

    bool Dump(const std::string& path, std::vector<DumpedRecord>* records) {
        const ProcessResult r =
            RunProcess({tools_.talvo, "dump", path, "--order", "key", "--json"}, env_, dir_, 120);
        std::string problem;
        if (r.status != 0 || !ParseDump(r.out, records, &problem)) {
            Problem("cannot read " + path + ": " + r.Describe() + " " + problem);
            return false;
        }
        return true;
    }

    bool Record(const Step& step, const std::string& log, uint64_t failAt,
                const std::string& error, RecordResult* result) {
        RecordOptions o;
        o.root = root_;
        o.log = log;
        o.recorder = tools_.recorder;
        o.argv = Argv(step);
        o.environment = Env(step);
        o.folder = dir_;
        o.failAt = failAt;
        o.failErrno = error;
        return RecordRun(o, result);
    }

    // The steps once more, recorded: the log whose crash states are replayed.
    bool RecordClean() {
        CopyBase();
        std::error_code error;
        fs::remove(log_, error);
        for (size_t i = 0; i < w_.steps.size(); ++i) {
            RecordResult r;
            if (!Record(w_.steps[i], log_, 0, "", &r)) {
                Problem("the recorded run: " + Join(Argv(w_.steps[i])) + ": " + r.problem);
                return false;
            }
            if (r.process.status != cleanStatus_[i] || ReportOf(r.process) != cleanReport_[i]) {
                Problem("the recorded run ended otherwise than the run without the recorder: " +
                        r.process.Describe());
                return false;
            }
            if (!r.countsKnown) {
                Problem("the recorded run did not count its I/O calls");
                return false;
            }
            pids_.push_back(static_cast<uint32_t>(r.process.pid));
            stepCalls_.push_back({r.ioCalls, r.spaceCalls});
            report_.ioCalls += r.ioCalls;
            report_.spaceCalls += r.spaceCalls;
            events_ = std::move(r.log);
        }
        out_ << "   recorded: " << events_.size() << " log records, " << report_.ioCalls
             << " I/O calls on the folder (" << report_.spaceCalls << " that can run out of space)\n"
             << std::flush;
        return true;
    }

    Expectation AcknowledgedBefore(const CrashState& crash) const {
        Expectation e;
        for (uint32_t pid : crash.acknowledged) {
            for (size_t i = 0; i < pids_.size(); ++i) {
                if (pids_[i] == pid) e.promise = Stronger(e.promise, w_.steps[i].promise);
            }
        }
        return e;
    }

    void KeepFailedState(const std::string& why) {
        if (keptStates_ >= kFailedStatesKept) return;
        const std::string to = dir_ + "/failed-state-" + std::to_string(++keptStates_);
        std::error_code error;
        fs::remove_all(to, error);
        fs::copy(checker_->folder(), to, fs::copy_options::recursive, error);
        std::ofstream(to + ".txt") << why << "\n";
    }

    void ReplayCrashStates() {
        StateOptions o;
        o.maxStates = options_.states;
        o.seed = options_.seed;
        std::string problem;
        size_t n = 0;
        const bool ok = ForEachCrashState(
            events_, o,
            [&](const CrashState& crash) {
                const bool recovery =
                    options_.recoveryEvery != 0 && n++ % options_.recoveryEvery == 0;
                for (const std::string& p :
                     checker_->Check(*crash.state, AcknowledgedBefore(crash), recovery)) {
                    Problem("crash state " + crash.description + ": " + p);
                    KeepFailedState(crash.description + ": " + p);
                }
                return true;
            },
            &report_.replay, &problem);
        if (!ok) Problem("the log cannot be replayed: " + problem);
        report_.recoveries = checker_->recoveries();
        out_ << "   crash states: " << report_.replay.states << " distinct ("
             << report_.replay.pointsUsed << " of " << report_.replay.points << " crash points, "
             << report_.replay.duplicates << " duplicates skipped), " << report_.recoveries
             << " of them written to afterwards\n"
             << std::flush;
    }

    // What a run with a failing call claims about the output; adds a problem when its end is not
    // a clear one. A run that tells its user exactly what the run without the failure told
    // (status, output and messages) claims what that one did: the failure made no difference.
    // Any other claims what it says it wrote.
    Expectation ClaimOf(size_t step, const ProcessResult& r, const std::string& error,
                        const std::string& where) {
        if (r.status == cleanStatus_[step] && ReportOf(r) == cleanReport_[step]) {
            ++report_.tolerated;
            return {w_.steps[step].promise, 0};
        }
        CheckMessage(r, error, where);
        uint64_t count = 0;
        if (NumberBetween(r.err, "ordelin-batch: ", " records were written", &count) ||
            NumberBetween(r.err, "; the ", " records written up to the last commit were kept",
                          &count) ||
            NumberBetween(r.out, ", written: ", ", refused: ", &count)) {
            return {Promise::kCount, count};
        }
        if (r.err.find("; nothing was imported") != std::string::npos) return {Promise::kCount, 0};
        return {};
    }

    // What a run told its user, but for the names of its list files.
    static std::string ReportOf(const ProcessResult& r) {
        std::string text = r.out + "\n--\n" + r.err;
        for (size_t at = text.find("OL"); at != std::string::npos; at = text.find("OL", at + 2)) {
            size_t end = at + 2;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
            if (end > at + 2 && text.compare(end, 4, ".htm") == 0) text.replace(at + 2, end - at - 2, "#");
        }
        return text;
    }

    void CheckMessage(const ProcessResult& r, const std::string& error, const std::string& where) {
        const std::string last = LastLine(r.err);
        const std::string said = Lower(r.err + r.out);
        const std::string reason = error == "EIO" ? "input/output error" : "no space left";
        if (r.status != 1 && r.status != 3) {
            Problem(where + ": exit status " + std::to_string(r.status) + ": " + r.Describe());
        } else if (last.rfind("talvo: ", 0) != 0 && last.rfind("ordelin-batch: ", 0) != 0) {
            Problem(where + ": no clear message at the end: " + r.Describe());
        } else if (said.find(reason) == std::string::npos &&
                   // The utility's own words for a step that the failure made fail: the dialog
                   // refuses an input whose description cannot be read as "not a valid data
                   // file", and the build takes an output it cannot open for one that is not
                   // there, whose creation the existing file then refuses.
                   last.find(" is not a valid data file") == std::string::npos &&
                   last.find("- failed: file already exists") == std::string::npos) {
            Problem(where + ": the message does not give the reason (" + reason + "): " +
                    r.Describe());
        }
    }

    std::vector<uint64_t> Points(uint64_t count) const {
        std::vector<uint64_t> points;
        if (count == 0) return points;
        if (options_.failurePoints == 0 || options_.failurePoints >= count) {
            for (uint64_t n = 1; n <= count; ++n) points.push_back(n);
            return points;
        }
        const uint64_t k = options_.failurePoints;
        for (uint64_t i = 0; i < k; ++i) points.push_back(1 + i * (count - 1) / (k - 1 == 0 ? 1 : k - 1));
        points.erase(std::unique(points.begin(), points.end()), points.end());
        return points;
    }

    void TryFailures() {
        for (size_t step = 0; step < w_.steps.size(); ++step) {
            for (const char* error : {"EIO", "ENOSPC"}) {
                const bool space = std::string(error) == "ENOSPC";
                const std::vector<uint64_t> points =
                    Points(space ? stepCalls_[step].second : stepCalls_[step].first);
                for (size_t i = 0; i < points.size(); ++i) {
                    TryFailure(step, error, points[i]);
                    ++(space ? report_.spaceRuns : report_.eioRuns);
                    if ((i + 1) % 200 == 0) {
                        out_ << "   ... step " << step + 1 << ", " << error << ": " << i + 1
                             << " of " << points.size() << " failure points\n"
                             << std::flush;
                    }
                }
            }
        }
        out_ << "   failure points: " << report_.eioRuns << " with EIO, " << report_.spaceRuns
             << " with ENOSPC; in " << report_.tolerated
             << " runs the failure made no difference";
        if (report_.notFired != 0) out_ << "; " << report_.notFired << " not reached";
        out_ << "\n" << std::flush;
    }

    void TryFailure(size_t step, const std::string& error, uint64_t n) {
        const std::string where = Join(Argv(w_.steps[step])) + " with call " + std::to_string(n) +
                                  " failing with " + error;
        CopyBase();
        Expectation before;
        for (size_t i = 0; i < step; ++i) {
            const ProcessResult r = RunStep(w_.steps[i]);
            if (r.status != cleanStatus_[i]) {
                Problem(where + ": an earlier step failed: " + r.Describe());
                return;
            }
            before.promise = Stronger(before.promise, w_.steps[i].promise);
        }
        const std::string log = dir_ + "/fail.log";
        std::error_code ignored;
        fs::remove(log, ignored);
        RecordResult r;
        if (!Record(w_.steps[step], log, n, error, &r)) {
            Problem(where + ": " + r.problem + " (" + r.process.Describe() + ")");
            return;
        }
        if (!r.faulted) {
            ++report_.notFired;
            return;
        }
        const ProcessResult& p = r.process;
        if (p.timedOut || p.status >= 128 || p.status < 0 || SanitizerReport(p.err)) {
            Problem(where + ": " + p.Describe());
            return;
        }
        Expectation claim = ClaimOf(step, p, error, where + " (" + r.faultCall + ")");
        if (claim.promise == Promise::kNothing) claim = before;
        // What the run left, and what a power loss right after it leaves.
        StateOptions o;
        o.endOnly = true;
        std::string problem;
        ReplayFigures figures;
        const bool ok = ForEachCrashState(
            r.log, o,
            [&](const CrashState& crash) {
                for (const std::string& s : checker_->Check(*crash.state, claim, false))
                    Problem(where + " (" + r.faultCall + "), " + crash.description + ": " + s);
                return true;
            },
            &figures, &problem);
        if (!ok) Problem(where + ": the log cannot be replayed: " + problem);

        // A run without the failure completes the output. A run that the failure made no
        // difference to has done its step already (a second `talvo create` would find its file).
        const bool madeNoDifference =
            p.status == cleanStatus_[step] && ReportOf(p) == cleanReport_[step];
        for (size_t i = madeNoDifference ? step + 1 : step; i < w_.steps.size(); ++i) {
            // The output the failed run left is overwritten.
            Step retry = w_.steps[i];
            if (retry.batch && std::find(retry.args.begin(), retry.args.end(), "--overwrite") ==
                                   retry.args.end()) {
                retry.args.push_back("--overwrite");
            }
            const ProcessResult again = RunStep(retry);
            if (again.status != 0 && again.status != 3) {
                Problem(where + ": the run again fails: " + again.Describe());
                return;
            }
        }
        State now;
        if (!ReadFolder(root_, &now, &problem)) {
            Problem(problem);
            return;
        }
        for (const std::string& s : checker_->Check(now, {Promise::kComplete, 0}, false))
            Problem(where + ": after the run again: " + s);
    }

    const Tools& tools_;
    const HarnessOptions& options_;
    const Workload& w_;
    std::ostream& out_;
    WorkloadReport& report_;
    std::string dir_, root_, base_, log_;
    std::vector<std::string> env_;
    std::unique_ptr<StateChecker> checker_;
    std::vector<int> cleanStatus_;
    std::vector<std::string> cleanReport_;  // what each step of the clean run told its user
    std::vector<uint32_t> pids_;
    std::vector<std::pair<uint64_t, uint64_t>> stepCalls_;
    std::vector<Event> events_;  // the recorded run's log
    size_t keptStates_ = 0;
};

}  // namespace

bool RunHarness(const Tools& tools, const HarnessOptions& options, std::ostream& out,
                std::vector<WorkloadReport>* reports) {
    std::error_code error;
    fs::create_directories(options.work, error);
    bool passed = true;
    for (const Workload& w : Workloads(options.records)) {
        if (!options.only.empty() && options.only.count(w.name) == 0) continue;
        reports->emplace_back();
        WorkloadRun(tools, options, w, out, &reports->back()).Run();
        if (reports->back().problemCount != 0) passed = false;
    }
    size_t states = 0, eio = 0, space = 0, problems = 0;
    out << "== figures\n";
    for (const WorkloadReport& r : *reports) {
        out << "   " << r.name << ": " << r.replay.states << " crash states, " << r.eioRuns
            << " + " << r.spaceRuns << " failure points (EIO + ENOSPC), " << r.problemCount
            << " problems\n";
        states += r.replay.states;
        eio += r.eioRuns;
        space += r.spaceRuns;
        problems += r.problemCount;
    }
    out << "   all: " << states << " crash states, " << eio << " + " << space
        << " failure points, " << problems << " problems\n";
    return passed;
}

}  // namespace powerloss
