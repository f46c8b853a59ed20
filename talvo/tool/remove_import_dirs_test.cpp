// `talvo remove`, key fields that do not fill the key, and relative paths in the directory
// table, through the built program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/program_run.h"

namespace {

namespace fs = std::filesystem;

class ToolFilesTest : public ::testing::Test {
  protected:
    std::string P(const std::string& name) const { return scratch_.Path(name); }

    e2e::RunResult Run(const std::vector<std::string>& args, const std::string& folder = {}) {
        e2e::RunOptions options = scratch_.Options();
        options.workingFolder = folder;
        e2e::RunResult r = e2e::RunProgram(TALVO_EXE, args, options);
        EXPECT_FALSE(r.timedOut || r.SanitizerReport()) << r.Describe();
        return r;
    }
    std::string Ok(const std::vector<std::string>& args, const std::string& folder = {}) {
        const e2e::RunResult r = Run(args, folder);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.Describe();
        return r.out;
    }

    e2e::Scratch scratch_;
};

// Whether the process has the file open (one of its descriptors names it).
bool HasOpen(pid_t pid, const std::string& path) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        if (fs::read_symlink(fd.path(), ec) == fs::path(path)) return true;
    }
    return false;
}

TEST_F(ToolFilesTest, RemoveTakesEveryPartAndNothingOfAFileInUseOrForeign) {
    Ok({"gen", P("cust"), "--records", "20000"});
    const std::vector<std::string> parts = {P("cust"), P("cust.idx"), P("cust.idx-lock"),
                                            P("cust.idx-keys")};
    for (const std::string& part : parts) ASSERT_TRUE(fs::exists(part)) << part;

    // Another process reading it: a dump whose output nobody reads holds it open.
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(TALVO_EXE, "talvo", "dump", P("cust").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    for (int waited = 0; waited < 200 && !HasOpen(holder, P("cust")); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(HasOpen(holder, P("cust")));
    const e2e::RunResult refused = Run({"remove", P("cust")});
    EXPECT_EQ(refused.exitCode, 1) << refused.Describe();
    EXPECT_NE(refused.err.find("is open in another process"), std::string::npos) << refused.err;
    for (const std::string& part : parts) EXPECT_TRUE(fs::exists(part)) << part;
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(out[0]);

    // Through the directory table and without regard to case, as every command names files.
    Ok({"dirs", "set", "DAT", scratch_.root()});
    const std::string removed = Ok({"remove", "CUST", "--dir", "dat"});
    for (const std::string& part : parts) {
        EXPECT_FALSE(fs::exists(part)) << part;
        EXPECT_NE(removed.find("removed " + part + "\n"), std::string::npos) << removed;
    }

    // A file that is not a data file, and one that is not there, stay as they are.
    e2e::WriteFile(P("notes.txt"), "not a data file\n");
    const e2e::RunResult foreign = Run({"remove", P("notes.txt")});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_NE(foreign.err.find("not a data file"), std::string::npos) << foreign.err;
    EXPECT_TRUE(fs::exists(P("notes.txt")));
    EXPECT_EQ(Run({"remove", P("missing")}).exitCode, 1);
}

TEST_F(ToolFilesTest, KeyFieldsThatDoNotFillTheKeyAreRefused) {
    Ok({"create", P("f"), "--type", "4", "--record-size", "10", "--key-size", "6"});
    e2e::WriteFile(P("in.txt"), "AAAA111111\nBBBB222222\n");
    struct Case {
        const char* fields;
        int status;
        const char* says;
    } cases[] = {
        {"0:4", 2, "4 bytes, fewer than the key size 6"},
        {"0:2,8:1", 2, "3 bytes, fewer than the key size 6"},
        {"0:4,4:3", 2, "7 bytes, more than the key size 6"},
        {"4:2,0:4", 0, "records read: 2, written: 2, refused: 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        const e2e::RunResult r = Run({"import", P("f"), "--input", P("in.txt"), "--format", "lines",
                                      "--key-fields", c.fields});
        EXPECT_EQ(r.exitCode, c.status) << r.Describe();
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.Describe();
    }
    // Only the full key went in: no key padded with zero bytes.
    EXPECT_EQ(Ok({"export", P("f"), "--format", "lines"}), "AAAA111111\nBBBB222222\n");
    EXPECT_EQ(Ok({"dump", P("f"), "--order", "key", "--limit", "1"}).find("\\x00"),
              std::string::npos);
}

TEST_F(ToolFilesTest, ARelativeDirectoryIsStoredAbsolute) {
    fs::create_directories(P("work/data/sub"));
    fs::create_symlink(P("work/data/sub"), P("work/link"));
    // As the system names the folder the program runs in.
    const std::string work = fs::canonical(P("work")).string();
    struct Case {
        const char* given;
        std::string stored;
    } cases[] = {
        {"data", work + "/data"},
        {"./data/sub/", work + "/data/sub"},
        {"data\\sub", work + "/data/sub"},
        {"data/sub/..", work + "/data"},
        {"..", fs::canonical(scratch_.root()).string()},
        // Past a symbolic link ".." is the link target's parent: kept as given.
        {"link/..", work + "/link/.."},
        {"/srv/data", "/srv/data"},
        {"Z:\\srv\\data", "Z:\\srv\\data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        Ok({"dirs", "set", "D", c.given}, work);
        // Wherever it is read from.
        EXPECT_EQ(Ok({"dirs", "list"}, "/"), "D=" + c.stored + "\n");
    }
    // A file named through it is found from any folder.
    Ok({"dirs", "set", "DAT", "data/sub"}, work);
    Ok({"gen", P("work/data/sub/cust"), "--records", "5"});
    EXPECT_NE(Ok({"check", "CUST", "--dir", "DAT"}, "/").find(": sound"), std::string::npos);
}

}  // namespace
