// The programs under a limit of the address space (prlimit --as): files of millions of records
// are made, imported, checked and built from under 2 GiB, and a real shortage of memory is told
// as memory, never as a damaged file or a full disk, and loses nothing committed.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/program_run.h"

// A program built with the address sanitizer reserves terabytes of address space for its
// shadow: under a limit it would not start at all.
#if defined(__SANITIZE_ADDRESS__)
#define ORDELIN_ADDRESS_LIMITS 0
#else
#define ORDELIN_ADDRESS_LIMITS 1
#endif

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kMiB = uint64_t{1} << 20;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class MemoryLimitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!ORDELIN_ADDRESS_LIMITS) GTEST_SKIP() << "the sanitizer needs more address space";
        if (!fs::exists("/usr/bin/prlimit")) GTEST_SKIP() << "no prlimit";
        fs::create_directories(scratch_.Path("data"));
    }

    std::string Data(const std::string& name) const { return scratch_.Path("data/" + name); }

    // Runs the program with its address space limited to `limit` bytes.
    RunResult Limited(uint64_t limit, const std::string& program,
                      const std::vector<std::string>& args,
                      const std::vector<std::string>& variables = {}) {
        std::vector<std::string> all = {"--as=" + std::to_string(limit), "--", program};
        all.insert(all.end(), args.begin(), args.end());
        RunOptions options = scratch_.Options();
        options.timeoutSeconds = 300;
        for (const std::string& v : variables) options.environment.push_back(v);
        return RunProgram("/usr/bin/prlimit", all, options);
    }

    Scratch scratch_;
};

TEST_F(MemoryLimitTest, MillionsOfRecordsAreMadeImportedAndBuiltUnderTwoGiB) {
    const uint64_t limit = 2048 * kMiB;
    auto ok = [&](const std::string& program, const std::vector<std::string>& args) {
        const RunResult r = Limited(limit, program, args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.Describe();
        return r;
    };
    ok(TALVO_EXE, {"gen", Data("big"), "--records", "3000000", "--deleted-every", "100"});
    ok(TALVO_EXE, {"export", Data("big"), "--order", "record", "--output", Data("flat")});
    ok(TALVO_EXE,
       {"create", Data("imported"), "--type", "4", "--record-size", "100", "--key-size", "13"});
    // A key of two fields: the keys come in no order, beyond every in-memory budget.
    const RunResult imported = ok(TALVO_EXE, {"import", Data("imported"), "--input", Data("flat"),
                                              "--key-fields", "56:5,0:8"});
    EXPECT_TRUE(Has(imported.out, "records read: 2970000, written: 2970000, refused: 0"))
        << imported.out;
    fs::remove(Data("flat"));
    EXPECT_TRUE(Has(ok(TALVO_EXE, {"check", Data("imported")}).out,
                    "sound: 2970000 records (0 deleted), 2970000 keys"));
#ifdef ORDELIN_BATCH_EXE
    ok(TALVO_EXE, {"dirs", "set", "DAT", scratch_.Path("data")});
    const RunResult build =
        ok(ORDELIN_BATCH_EXE, {Data("big"), "/DDAT", "--out", "BYNAME", "--key-size", "13", "--key",
                               "56:5", "--key", "0:8", "--order", "key"});
    EXPECT_TRUE(Has(build.err, "2970000 records were written")) << build.err;
    EXPECT_TRUE(Has(ok(TALVO_EXE, {"check", Data("BYNAME")}).out,
                    "sound: 2970000 records (0 deleted), 2970000 keys"));
#endif
}

TEST_F(MemoryLimitTest, AShortageOfMemoryIsToldAsMemoryAndKeepsWhatWasCommitted) {
    ASSERT_EQ(RunProgram(TALVO_EXE, {"gen", Data("cust"), "--records", "2000"}, scratch_.Options())
                  .exitCode,
              0);
    ASSERT_EQ(RunProgram(TALVO_EXE, {"gen", Data("more"), "--records", "4000", "--seed", "9"},
                         scratch_.Options())
                  .exitCode,
              0);
    ASSERT_EQ(RunProgram(TALVO_EXE, {"export", Data("more"), "--output", Data("flat")},
                         scratch_.Options())
                  .exitCode,
              0);
    const FolderState before = StateOf(scratch_.Path("data"));
    // Budgets that the limit cannot give: the batch of new keys, the buffers of spilled keys.
    for (const char* budgets :
         {"TALVO_BUDGETS=pending-keys=1G", "TALVO_BUDGETS=run-buffers=1G,pending-keys=16K"}) {
        SCOPED_TRACE(budgets);
        const RunResult r = Limited(256 * kMiB, TALVO_EXE,
                                    {"import", Data("cust"), "--input", Data("flat")}, {budgets});
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_TRUE(Has(r.err, "not enough memory")) << r.err;
        EXPECT_FALSE(Has(r.err, "damaged") || Has(r.err, "no space")) << r.err;
        const RunResult check = RunProgram(TALVO_EXE, {"check", Data("cust")}, scratch_.Options());
        EXPECT_TRUE(Has(check.out, "sound: 2000 records (0 deleted), 2000 keys")) << check.out;
    }
    // Nothing was written: the data file and its index are as they were (the key column beside
    // them is a hint that a writer fills as it goes).
    for (const std::string& changed : Differences(before, StateOf(scratch_.Path("data")))) {
        EXPECT_NE(changed, Data("cust"));
        EXPECT_NE(changed, Data("cust.idx"));
    }
    // A budget for one transaction larger than the address space allows: the map gets the room
    // there is, and the import, far smaller, goes through.
    const RunResult r =
        Limited(256 * kMiB, TALVO_EXE, {"import", Data("cust"), "--input", Data("flat")},
                {"TALVO_BUDGETS=index-txn=1G"});
    EXPECT_EQ(r.exitCode, 0) << r.Describe();
    const RunResult check = RunProgram(TALVO_EXE, {"check", Data("cust")}, scratch_.Options());
    EXPECT_TRUE(Has(check.out, "sound: 4000 records (0 deleted), 4000 keys")) << check.out;
}

}  // namespace
}  // namespace e2e
