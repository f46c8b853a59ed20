// Faults of the engine and the programs that failing one I/O call brought out, each staged again
// by failing the same call under the recorder, and what a power loss right afterwards keeps:
//   - a create whose folder cannot be synced left a data file without its index;
//   - a commit whose meta page never became durable was reported as kept (and as discarded);
// and a short run of the workloads at every failure point.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "powerloss/crash_states.h"
#include "powerloss/folder_state.h"
#include "powerloss/harness.h"
#include "powerloss/record_run.h"

namespace powerloss {
namespace {

namespace fs = std::filesystem;

class EngineFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/powerloss-faults-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        work_ = pattern;
        root_ = work_ + "/root";
        fs::create_directories(root_);
        env_ = {"PATH=/usr/bin:/bin", "TZ=UTC", "TALVO_CONFIG=" + work_ + "/talvo.ini",
                "XDG_DATA_HOME=" + work_, "HOME=" + work_};
    }
    void TearDown() override { fs::remove_all(work_); }

    ProcessResult Talvo(const std::vector<std::string>& args) {
        std::vector<std::string> argv{TALVO_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, env_, work_, 120);
    }

    // Runs talvo under the recorder with the n-th call named `call` failing.
    RecordResult Failing(const std::vector<std::string>& args, const std::string& call, uint64_t n,
                         const std::string& error, const std::string& budgets = "") {
        RecordOptions o;
        o.root = root_;
        o.log = work_ + "/log";
        fs::remove(o.log);
        o.recorder = POWERLOSS_RECORDER;
        o.argv = {TALVO_EXE};
        o.argv.insert(o.argv.end(), args.begin(), args.end());
        o.environment = env_;
        if (!budgets.empty()) o.environment.push_back("TALVO_BUDGETS=" + budgets);
        o.failAt = n;
        o.failErrno = error;
        o.failCall = call;
        RecordResult r;
        EXPECT_TRUE(RecordRun(o, &r)) << r.problem;
        EXPECT_TRUE(r.faulted) << "no " << call << " number " << n;
        return r;
    }

    // The records `talvo check` counts in `file` in each state at the end of the log (nothing
    // pending kept, everything kept), -1 where the file is absent.
    std::vector<int64_t> CountsAtTheEnd(const RecordResult& r, const std::string& file) {
        std::vector<int64_t> counts;
        StateOptions o;
        o.endOnly = true;
        ReplayFigures figures;
        std::string problem;
        EXPECT_TRUE(ForEachCrashState(
            r.log, o,
            [&](const CrashState& crash) {
                const std::string folder = work_ + "/state";
                std::string why;
                EXPECT_TRUE(WriteState(*crash.state, folder, &why)) << why;
                if (!fs::exists(folder + "/" + file)) {
                    counts.push_back(-1);
                    return true;
                }
                const ProcessResult check = Talvo({"check", folder + "/" + file});
                EXPECT_EQ(check.status, 0) << crash.description << ": " << check.Describe();
                const size_t at = check.out.find(": sound: ");
                counts.push_back(at == std::string::npos ? -2 : std::stoll(check.out.substr(at + 9)));
                return true;
            },
            &figures, &problem))
            << problem;
        return counts;
    }

    void MakeInput(int records) {
        ASSERT_EQ(Talvo({"gen", root_ + "/src", "--records", std::to_string(records)}).status, 0);
        ASSERT_EQ(Talvo({"export", root_ + "/src", "--order", "record", "--output",
                         root_ + "/input.flat"})
                      .status,
                  0);
        ASSERT_EQ(Talvo({"create", root_ + "/out", "--type", "4", "--record-size", "100",
                         "--key-size", "8"})
                      .status,
                  0);
    }

    std::string work_;
    std::string root_;
    std::vector<std::string> env_;
};

TEST_F(EngineFaultTest, ACreateWhoseFolderCannotBeSyncedLeavesNoFileBehind) {
    for (const char* error : {"EIO", "ENOSPC"}) {
        SCOPED_TRACE(error);
        fs::remove_all(root_);
        fs::create_directories(root_);
        const std::vector<std::string> create = {"create", root_ + "/out", "--type", "4",
                                                 "--record-size", "100", "--key-size", "8"};
        // The folder's sync comes last, once the data file is linked into place.
        const RecordResult r = Failing(create, "fsync", 1, error);
        EXPECT_EQ(r.process.status, 1);
        EXPECT_NE(r.process.err.find("talvo: cannot create " + root_ + "/out"), std::string::npos)
            << r.process.err;
        EXPECT_NE(r.process.err.find("cannot flush folder"), std::string::npos) << r.process.err;
        EXPECT_FALSE(fs::exists(root_ + "/out"));
        EXPECT_FALSE(fs::exists(root_ + "/out.idx"));
        for (int64_t count : CountsAtTheEnd(r, "out")) EXPECT_EQ(count, -1);
        // Nothing stands in the way of the create made again.
        EXPECT_EQ(Talvo(create).status, 0);
    }
}

TEST_F(EngineFaultTest, ACommitThatCannotBeMadeDurableIsDiscardedOnDiskAndInTheReport) {
    struct Row {
        const char* what;
        const char* call;
        uint64_t n;
        const char* error;
        const char* budgets;
        int64_t kept;  // records the report says were kept
    };
    // With these budgets an import of 1000 records commits after 336 of them, after 672, and at
    // the end.
    const char* small = "pending-keys=2K,filter=1K,slot-buffer=2K";
    const Row rows[] = {
        {"the records' sync", "fdatasync", 1, "EIO", "", 0},
        {"the first commit's meta page", "dsync-write", 1, "EIO", "", 0},
        {"the first commit's meta page", "dsync-write", 1, "ENOSPC", "", 0},
        {"the second commit's meta page", "dsync-write", 2, "EIO", small, 336},
        {"the last commit's meta page", "dsync-write", 3, "ENOSPC", small, 672},
    };
    MakeInput(1000);
    fs::copy(root_, work_ + "/first", fs::copy_options::recursive);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.what) + " " + row.error);
        fs::remove_all(root_);
        fs::copy(work_ + "/first", root_, fs::copy_options::recursive);
        const std::vector<std::string> import = {"import", root_ + "/out", "--input",
                                                 root_ + "/input.flat"};
        const RecordResult r = Failing(import, row.call, row.n, row.error, row.budgets);
        EXPECT_EQ(r.process.status, 1);
        const std::string kept =
            row.kept == 0 ? "; nothing was imported"
                          : "; the " + std::to_string(row.kept) +
                                " records written up to the last commit were kept";
        EXPECT_NE(r.process.err.find("; the changes since the last commit were discarded" + kept),
                  std::string::npos)
            << r.process.err;
        // What the report says was kept is what a power loss keeps, and what is there now.
        for (int64_t count : CountsAtTheEnd(r, "out")) EXPECT_EQ(count, row.kept);
        // The import made again skips what was kept and completes the file.
        const ProcessResult again = Talvo(import);
        EXPECT_EQ(again.status, 0) << again.Describe();
        EXPECT_NE(again.out.find("refused: " + std::to_string(row.kept)), std::string::npos)
            << again.out;
        EXPECT_NE(Talvo({"check", root_ + "/out"}).out.find("sound: 1000 records"),
                  std::string::npos);
    }
}

// The workloads on few records: every failure point of an import, a spread of those of an
// extended build (the full run is scripts/powerloss_test.sh --full).
TEST(Workloads, FailurePointsOfAnImportAndOfABuildEndSoundly) {
    struct Row {
        const char* workload;
        size_t failurePoints;  // per step and error; 0: every one
    };
    for (const Row row : {Row{"import-once", 0}, Row{"extended-subkeys", 8}}) {
        SCOPED_TRACE(row.workload);
        char pattern[] = "/tmp/powerloss-workloads-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        HarnessOptions o;
        o.work = pattern;
        o.records = 40;
        o.states = 25;
        o.failurePoints = row.failurePoints;
        o.recoveryEvery = 3;
        o.only = {row.workload};
        std::ostringstream out;
        std::vector<WorkloadReport> reports;
        const bool passed = RunHarness({TALVO_EXE, ORDELIN_BATCH_EXE, POWERLOSS_RECORDER}, o,
                                       out, &reports);
        EXPECT_TRUE(passed) << out.str();
        ASSERT_EQ(reports.size(), 1u);
        const WorkloadReport& r = reports[0];
        EXPECT_GT(r.replay.states, 10u);
        EXPECT_GT(r.recoveries, 3u);
        if (row.failurePoints == 0) {
            // Every call of every step was failed, once with each error.
            EXPECT_EQ(r.eioRuns, r.ioCalls);
            EXPECT_EQ(r.spaceRuns, r.spaceCalls);
        } else {
            EXPECT_GE(r.eioRuns, row.failurePoints);
        }
        EXPECT_EQ(r.notFired, 0u);
        EXPECT_EQ(r.problemCount, 0u);
        fs::remove_all(pattern);
    }
}

}  // namespace
}  // namespace powerloss
