// The recorder on a program whose calls are known (powerloss_probe): every kind of change gets
// into the log and the folder ends as the log says, threads included; the N-th call fails on
// demand and only once; what it cannot record stops the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "powerloss/crash_states.h"
#include "powerloss/folder_state.h"
#include "powerloss/record_run.h"

namespace powerloss {
namespace {

namespace fs = std::filesystem;

class RecorderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/powerloss-recorder-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        work_ = pattern;
        root_ = work_ + "/the 'recorded' folder";
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(work_); }

    RecordResult Probe(const std::vector<std::string>& calls, uint64_t failAt = 0,
                       const std::string& error = "", const std::string& call = "") {
        RecordOptions o;
        o.root = root_;
        o.log = work_ + "/log";
        o.recorder = POWERLOSS_RECORDER;
        o.argv = {POWERLOSS_PROBE, root_};
        o.argv.insert(o.argv.end(), calls.begin(), calls.end());
        o.environment = {"PATH=/usr/bin:/bin"};
        o.failAt = failAt;
        o.failErrno = error;
        o.failCall = call;
        RecordResult r;
        ok_ = RecordRun(o, &r);
        return r;
    }

    // The kinds of the records the program made, in order.
    static std::vector<Kind> KindsOf(const RecordResult& r) {
        std::vector<Kind> kinds;
        for (const Event& e : r.log) {
            if (e.pid == static_cast<uint32_t>(r.process.pid) && e.kind != Kind::kStart &&
                e.kind != Kind::kCalls && e.kind != Kind::kExit) {
                kinds.push_back(e.kind);
            }
        }
        return kinds;
    }

    std::string work_;
    std::string root_;
    bool ok_ = false;
};

TEST_F(RecorderTest, EveryKindOfChangeIsRecordedAndTheFolderEndsAsTheLogSays) {
    std::ofstream(root_ + "/base") << "before the run";
    const RecordResult r = Probe({"create a", "write a 0 hello", "writev a 5 AB CD", "append a !",
                                  "truncate a 7", "fdatasync a", "mkdir sub", "rename a sub/b",
                                  "link sub/b c", "unlink c", "tmpfile t unnamed",
                                  "tmpfile-proc u by-proc", "dsync base SYNC", "mapshared base",
                                  "syncdir", "say done"});
    ASSERT_TRUE(ok_) << r.problem << " " << r.process.Describe();
    EXPECT_EQ(r.process.status, 0);
    const std::vector<Kind> expected = {
        Kind::kCreate,   Kind::kWrite,    Kind::kWrite,   Kind::kWrite,
        Kind::kTruncate, Kind::kSync,     Kind::kMkdir,   Kind::kRename,  Kind::kLink,
        Kind::kUnlink,   Kind::kTmpFile,  Kind::kWrite,   Kind::kSync,    Kind::kLink,
        Kind::kTmpFile,  Kind::kWrite,    Kind::kSync,    Kind::kLink,    Kind::kWrite,
        Kind::kMapShared, Kind::kSync,    Kind::kOut};
    std::vector<Kind> kinds = KindsOf(r);
    // Standard output may come in more than one piece.
    while (kinds.size() > expected.size() && kinds.back() == Kind::kOut) kinds.pop_back();
    EXPECT_EQ(kinds, expected);
    for (const Event& e : r.log) {
        if (e.kind == Kind::kWrite && e.data == "SYNC") {
            EXPECT_EQ(e.flags & kDurable, kDurable);  // through the O_DSYNC descriptor
        }
        if (e.kind == Kind::kWrite && e.data == "CD") ADD_FAILURE() << "writev split in two";
        if (e.kind == Kind::kWrite && e.data == "ABCD") {
            EXPECT_EQ(e.value, 5u);
        }
    }
    EXPECT_TRUE(r.countsKnown);
    EXPECT_GT(r.ioCalls, 20u);
}

TEST_F(RecorderTest, ThreadsWritingAtOnceAreAllRecorded) {
    const RecordResult r = Probe({"create m", "threads m 4"});
    ASSERT_TRUE(ok_) << r.problem;
    size_t writes = 0;
    for (const Event& e : r.log) writes += e.kind == Kind::kWrite ? 1 : 0;
    EXPECT_EQ(writes, 200u);
    State final;
    std::string problem;
    ASSERT_TRUE(FinalState(r.log, &final, &problem)) << problem;
    ASSERT_NE(final.Content("m"), nullptr);
    EXPECT_EQ(final.Content("m")->size(), 200u * 512);
}

TEST_F(RecorderTest, TheNthCallFailsOnceWithTheErrorAsked) {
    struct Row {
        uint64_t n;
        const char* error;
        const char* call;  // only these count ("": all)
        std::string says;  // the probe's complaint
        uint64_t calls;    // I/O calls made
    };
    // The calls: create's open (1), write's open (2) and pwrite (3), fsync's open (4) and
    // fsync (5); of them the open that creates, the pwrite and the fsync can run out of space.
    const Row rows[] = {
        {1, "EIO", "", "probe: open a: Input/output error", 1},
        {2, "EIO", "", "probe: open a: Input/output error", 2},
        {3, "EIO", "", "probe: pwrite a: Input/output error", 3},
        {4, "EIO", "", "probe: open a: Input/output error", 4},
        {5, "EIO", "", "probe: fsync a: Input/output error", 5},
        {6, "EIO", "", "", 5},
        {2, "ENOSPC", "", "probe: pwrite a: No space left on device", 3},
        {3, "ENOSPC", "", "probe: fsync a: No space left on device", 5},
        {1, "EIO", "fsync", "probe: fsync a: Input/output error", 5},
        {2, "EIO", "fsync", "", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.n) + " " + row.error + " " + row.call);
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::remove(work_ + "/log");
        const RecordResult r = Probe({"create a", "write a 0 x", "fsync a"}, row.n, row.error,
                                     row.call);
        ASSERT_TRUE(ok_) << r.problem;
        EXPECT_EQ(r.faulted, !row.says.empty());
        EXPECT_EQ(r.process.status, row.says.empty() ? 0 : 1);
        EXPECT_EQ(r.process.err.substr(0, r.process.err.find('\n')), row.says);
        EXPECT_EQ(r.ioCalls, row.calls);
    }
}

TEST_F(RecorderTest, ASynchronousWriteThatFailsReachedTheCacheAndNotTheDisk) {
    std::ofstream(root_ + "/base") << "0000";
    const RecordResult r = Probe({"dsync base 1"}, 1, "EIO", "dsync-write");
    ASSERT_TRUE(ok_) << r.problem;
    EXPECT_EQ(r.process.status, 1);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(root_ + "/base", &bytes));
    EXPECT_EQ(bytes, "1000");  // what every reader sees now
    StateOptions o;
    o.endOnly = true;
    std::set<std::string> after;
    ReplayFigures figures;
    std::string problem;
    ASSERT_TRUE(ForEachCrashState(
        r.log, o,
        [&](const CrashState& crash) {
            after.insert(*crash.state->Content("base"));
            return true;
        },
        &figures, &problem));
    EXPECT_EQ(after, (std::set<std::string>{"0000", "1000"}));  // a power loss may take it
}

TEST_F(RecorderTest, WhatItCannotRecordStopsTheProgram) {
    std::ofstream(root_ + "/a") << "source";
    std::ofstream(root_ + "/b") << "target";
    const std::map<std::string, std::string> rows = {
        {"fwrite c", "stdio writes to a recorded file"},
        {"copy a b", "copy_file_range into a recorded file"},
    };
    for (const auto& [call, why] : rows) {
        SCOPED_TRACE(call);
        fs::remove(work_ + "/log");
        const RecordResult r = Probe({call});
        EXPECT_FALSE(ok_);
        EXPECT_NE(r.problem.find(why), std::string::npos) << r.problem;
        EXPECT_EQ(r.process.status, 128 + SIGABRT);
    }
}

TEST_F(RecorderTest, FilesOutsideTheFolderAreNotRecorded) {
    // The probe works in the folder above the recorded one.
    const std::string inner = root_;
    root_ = work_;
    fs::create_directories(work_ + "/elsewhere");
    RecordOptions o;
    o.root = inner;
    o.log = work_ + "/log";
    o.recorder = POWERLOSS_RECORDER;
    o.argv = {POWERLOSS_PROBE, work_ + "/elsewhere", "create x", "write x 0 abc", "fsync x"};
    o.environment = {"PATH=/usr/bin:/bin"};
    RecordResult r;
    ASSERT_TRUE(RecordRun(o, &r)) << r.problem;
    EXPECT_EQ(KindsOf(r), std::vector<Kind>{});
    EXPECT_EQ(r.ioCalls, 0u);

    // A log inside the recorded folder is refused.
    o.log = inner + "/log";
    o.argv = {POWERLOSS_PROBE, inner, "create y"};
    EXPECT_FALSE(RecordRun(o, &r));
    EXPECT_NE(r.process.err.find("the log lies inside the recorded folder"), std::string::npos)
        << r.process.err;
}

}  // namespace
}  // namespace powerloss
