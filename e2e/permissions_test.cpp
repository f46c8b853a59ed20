// Permissions of what the programs make: every file and folder gets the user's file mode creation
// mask, as any new file does; a link planted where a file is about to be made or replaced is
// never followed into another file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "e2e/program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class PermissionsTest : public ::testing::Test {
  protected:
    RunResult Run(const char* program, const std::vector<std::string>& args, mode_t mask) {
        RunOptions options = scratch_.Options();
        options.umask = mask;
        return RunProgram(program, args, options);
    }
    std::string Data(const std::string& name) const { return scratch_.Path("data/" + name); }

    Scratch scratch_;
};

TEST_F(PermissionsTest, WhatTheProgramsMakeGetsTheUsersMask) {
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        SCOPED_TRACE(mask);
        const std::string data = Data(std::to_string(mask));
        fs::create_directories(data);
        fs::remove(scratch_.Path("talvo.ini"));
        fs::remove_all(scratch_.Path("home/share/Corvane Group"));
        const mode_t file = 0666 & ~mask;
        const mode_t folder = 0777 & ~mask;

        ASSERT_EQ(Run(TALVO_EXE, {"gen", data + "/cust", "--records", "50"}, mask).exitCode, 0);
        ASSERT_EQ(
            Run(TALVO_EXE, {"export", data + "/cust", "--output", data + "/flat"}, mask).exitCode,
            0);
        ASSERT_EQ(Run(TALVO_EXE, {"dirs", "set", "DAT", data}, mask).exitCode, 0);
        for (const char* name : {"cust", "cust.idx", "cust.idx-lock", "flat"}) {
            EXPECT_EQ(ModeOf(data + "/" + name), file) << name;
        }
        EXPECT_EQ(ModeOf(scratch_.Path("talvo.ini")), file);

#ifdef ORDELIN_BATCH_EXE
        // A build makes the utility's settings file and its folder, its list file (in a folder
        // beside the program, made once) and its output.
        const RunResult build = Run(
            ORDELIN_BATCH_EXE,
            {data + "/cust", "/DDAT", "--out", "BYNUM", "--key-size", "8", "--key", "0:8"}, mask);
        ASSERT_EQ(build.exitCode, 0) << build.Describe();
        EXPECT_EQ(ModeOf(scratch_.Path("home/share/Corvane Group")), folder);
        EXPECT_EQ(ModeOf(scratch_.Path("home/share/Corvane Group/NAVO.INI")), file);
        const size_t at = build.out.find("list file: ");
        ASSERT_NE(at, std::string::npos) << build.out;
        const std::string list = build.out.substr(at + 11, build.out.find('\n', at) - at - 11);
        EXPECT_EQ(ModeOf(list), file) << list;
        for (const char* name : {"BYNUM", "BYNUM.idx", "BYNUM.idx-lock"}) {
            EXPECT_EQ(ModeOf(data + "/" + name), file) << name;
        }
        fs::remove(list);
#endif

        // A file replaced in place keeps the mode it had.
        fs::permissions(scratch_.Path("talvo.ini"), fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_EQ(Run(TALVO_EXE, {"dirs", "set", "OUT", data}, mask).exitCode, 0);
        EXPECT_EQ(ModeOf(scratch_.Path("talvo.ini")), mode_t{0600});
    }
}

TEST_F(PermissionsTest, ALinkWhereAFileIsMadeIsNotFollowed) {
    fs::create_directories(Data(""));
    WriteFile(scratch_.Path("victim"), "a file of the user's own\n");
    ASSERT_EQ(Run(TALVO_EXE, {"gen", Data("cust"), "--records", "20"}, 022).exitCode, 0);

    // An export replaces a link at its output with the file; the link's target stays.
    fs::create_symlink(scratch_.Path("victim"), Data("flat"));
    ASSERT_EQ(Run(TALVO_EXE, {"export", Data("cust"), "--output", Data("flat")}, 022).exitCode, 0);
    EXPECT_FALSE(fs::is_symlink(Data("flat")));
    EXPECT_EQ(fs::file_size(Data("flat")), 2000u);

    // A new data file is not made through a link, to a file or to a name not yet taken.
    fs::create_symlink(scratch_.Path("victim"), Data("new"));
    fs::create_symlink(scratch_.Path("made-through-a-link"), Data("new2"));
    for (const char* name : {"new", "new2"}) {
        const RunResult r =
            Run(TALVO_EXE, {"create", Data(name), "--type", "1", "--record-size", "8"}, 022);
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_NE(r.err.find("file already exists"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(scratch_.Path("made-through-a-link")));

    // The index's lock file is made by every opener: a link there is refused, not written to.
    fs::remove(Data("cust.idx-lock"));
    fs::create_symlink(scratch_.Path("victim"), Data("cust.idx-lock"));
    const RunResult r = Run(TALVO_EXE, {"stat", Data("cust")}, 022);
    EXPECT_EQ(r.exitCode, 1) << r.Describe();

    // Nor are the files a writer keeps beside the index: the key column and the spilled keys.
    fs::remove(Data("cust.idx-lock"));
    fs::remove(Data("cust.idx-keys"));
    fs::create_symlink(scratch_.Path("victim"), Data("cust.idx-keys"));
    fs::create_symlink(scratch_.Path("victim"), Data("cust.idx-runs"));
    ASSERT_EQ(Run(TALVO_EXE, {"export", Data("cust"), "--output", Data("flat2")}, 022).exitCode, 0);
    ASSERT_EQ(
        Run(TALVO_EXE,
            {"create", Data("copy"), "--type", "4", "--record-size", "100", "--key-size", "8"}, 022)
            .exitCode,
        0);
    fs::create_symlink(scratch_.Path("victim"), Data("copy.idx-keys"));
    fs::create_symlink(scratch_.Path("victim"), Data("copy.idx-runs"));
    RunOptions small = scratch_.Options();
    small.environment.push_back("TALVO_BUDGETS=pending-keys=1K,filter=1K,slot-buffer=1K");
    const RunResult copied =
        RunProgram(TALVO_EXE, {"import", Data("copy"), "--input", Data("flat2")}, small);
    EXPECT_EQ(copied.exitCode, 0) << copied.Describe();
    EXPECT_EQ(Run(TALVO_EXE, {"delete", Data("cust"), "--record", "3"}, 022).exitCode, 0);
    EXPECT_EQ(Run(TALVO_EXE, {"check", Data("copy")}, 022).exitCode, 0);

    EXPECT_EQ(ReadFile(scratch_.Path("victim")), "a file of the user's own\n");
}

}  // namespace
}  // namespace e2e
