// An import that runs out of room part of the way through: what the message says the file kept
// is what the file holds. The import runs in a child process whose files may not grow past a
// limit (as on a full disk), with the engine's budgets low enough that it commits many times
// before that, or as they are.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "talvo/engine.h"
#include "talvo/tool/cli.h"
#include "talvo/tool/file_check.h"

namespace talvo::tool {
namespace {

namespace fs = std::filesystem;

class ImportFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "talvo-import-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // Runs `talvo ARGS` in a child whose files may grow to `limit` bytes, with the engine's
    // `budgets` (empty: the defaults); its exit status, and its standard error in *err.
    int RunLimited(std::vector<std::string> args, uint64_t limit, const std::string& budgets,
                   std::string* err) {
        const std::string errPath = P("stderr.txt");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            if (!budgets.empty() && !SetBudgets(budgets).ok()) ::_exit(98);
            std::ostringstream out, errors;
            Console console{out, errors};
            args.insert(args.begin(), "talvo");
            std::vector<const char*> argv;
            for (const std::string& a : args) argv.push_back(a.c_str());
            const struct rlimit rl = {limit, limit};
            if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(99);
            const int status = RunTool(static_cast<int>(argv.size()), argv.data(), console);
            const struct rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &none);
            std::ofstream(errPath) << errors.str();
            ::_exit(status);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        std::ifstream in(errPath);
        *err = {std::istreambuf_iterator<char>(in), {}};
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // The records the file holds; the file must be sound.
    uint64_t SoundRecords(const std::string& path) {
        Engine engine;
        std::shared_ptr<DataFile> file;
        Status s = engine.Open(path, &file);
        EXPECT_TRUE(s.ok()) << s.message();
        if (!s.ok()) return 0;
        std::vector<std::string> problems;
        CheckSummary summary;
        EXPECT_TRUE(CheckDataFile(*file, &problems, &summary))
            << (problems.empty() ? "" : problems.front());
        const FileInfo info = file->Info();
        EXPECT_TRUE(engine.Close(file).ok());
        return info.recordSize == 0 ? info.keyCount : info.slotCount;
    }

    fs::path dir_;
};

TEST_F(ImportFailureTest, TheMessageCountsWhatTheFileKept) {
    const uint64_t records = 20000;
    {
        std::ofstream flat(P("flat"), std::ios::binary);
        for (uint64_t n = 0; n < records; ++n) {
            std::string record = "K" + std::to_string(1000000 + n * 7919 % records);
            record.resize(50, '.');
            flat << record;
        }
    }
    struct Case {
        const char* what;
        std::vector<std::string> create;
        const char* budgets;
        bool kept;
    };
    const std::string keyed[] = {"--type", "4", "--record-size", "50", "--key-size", "8"};
    const Case cases[] = {
        // Keys beyond a small batch are spilled; beyond a small filter they are committed.
        {"keyed, commits on the way",
         {std::begin(keyed), std::end(keyed)},
         "slot-buffer=4K,pending-keys=8K,filter=4K",
         true},
        {"keyed, one commit at the end", {std::begin(keyed), std::end(keyed)}, "", false},
        {"records only, one commit at the end", {"--type", "2", "--record-size", "50"}, "", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = P("out" + std::to_string(n++));
        std::vector<std::string> create{"create", file};
        create.insert(create.end(), c.create.begin(), c.create.end());
        std::string err;
        ASSERT_EQ(RunLimited(create, RLIM_INFINITY, "", &err), 0) << err;
        ASSERT_EQ(RunLimited({"import", file, "--input", P("flat")}, 300000, c.budgets, &err), 1);
        EXPECT_NE(err.find("no space left on the device"), std::string::npos) << err;
        const uint64_t held = SoundRecords(file);
        if (c.kept) {
            std::smatch match;
            ASSERT_TRUE(std::regex_search(
                err, match, std::regex("; the ([0-9]+) records written up to the last commit")))
                << err;
            EXPECT_EQ(std::stoull(match[1]), held);
            EXPECT_GT(held, 0u);
            EXPECT_LT(held, records);
        } else {
            EXPECT_NE(err.find("; nothing was imported\n"), std::string::npos) << err;
            EXPECT_EQ(held, 0u);
        }
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(fs::file_size(P("flat")), records * 50);
    }
}

}  // namespace
}  // namespace talvo::tool
