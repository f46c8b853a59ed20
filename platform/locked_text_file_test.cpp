#include "platform/locked_text_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/path.h"
#include "platform/system_error.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class LockedTextFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-textfile-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path root;
};

TEST_F(LockedTextFileTest, LinesEndInCarriageReturnAndLineFeed) {
    const fs::path file = root / "Report.htm";
    std::ofstream(file) << "an older, longer report that must not show through\n";

    LockedTextFile out;
    ASSERT_TRUE(out.Create(ToPlatformPath(file.string())));
    EXPECT_TRUE(out.IsOpen());
    EXPECT_TRUE(out.WriteLine("<HTML>"));
    EXPECT_TRUE(out.WriteLine(""));
    EXPECT_TRUE(out.WriteLine("a & b"));
    EXPECT_TRUE(out.Close());
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(out.WriteError(), 0u);
    EXPECT_EQ(Read(file), "<HTML>\r\n\r\na & b\r\n");

    // Closed: nothing more is written.
    EXPECT_FALSE(out.WriteLine("late"));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(Read(file), "<HTML>\r\n\r\na & b\r\n");
}

TEST_F(LockedTextFileTest, NothingIsWrittenThroughALinkAndAPipeDoesNotHoldItUp) {
    const fs::path victim = root / "victim.txt";
    std::ofstream(victim) << "the user's own file\n";
    const fs::path fifo = root / "OL000003.htm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char* what;
        fs::path path;
    };
    fs::create_symlink(victim, root / "OL000001.htm");
    fs::create_symlink(root / "made-through-a-link", root / "OL000002.htm");
    fs::create_directory(root / "OL000004.htm");
    for (const Case& c : {Case{"a link to a file", root / "OL000001.htm"},
                          Case{"a link to a file to be made", root / "OL000002.htm"},
                          Case{"a pipe, which would hold the open up", fifo},
                          Case{"a folder", root / "OL000004.htm"}}) {
        SCOPED_TRACE(c.what);
        LockedTextFile out;
        EXPECT_FALSE(out.Create(ToPlatformPath(c.path.string())));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        EXPECT_FALSE(out.IsOpen());
    }
    EXPECT_EQ(Read(victim), "the user's own file\n");
    EXPECT_FALSE(fs::exists(root / "made-through-a-link"));
}

TEST_F(LockedTextFileTest, ASecondWriterIsRefusedAndLeavesTheFileAlone) {
    const std::string path = ToPlatformPath((root / "OL000007.htm").string());
    LockedTextFile first;
    ASSERT_TRUE(first.Create(path));
    ASSERT_TRUE(first.WriteLine("first"));
    ASSERT_TRUE(first.Close());
    ASSERT_TRUE(first.Create(path));  // the same object again, emptying its own file
    first.WriteLine("first again");

    LockedTextFile second;
    SetLastError(0);
    EXPECT_FALSE(second.Create(path));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(second.WriteLine("second"));

    ASSERT_TRUE(first.Close());
    EXPECT_EQ(Read(root / "OL000007.htm"), "first again\r\n");

    // Once the first writer is gone, a second one may write.
    ASSERT_TRUE(second.Create(path));
    second.WriteLine("second");
    ASSERT_TRUE(second.Close());
    EXPECT_EQ(Read(root / "OL000007.htm"), "second\r\n");
}

TEST_F(LockedTextFileTest, CreationFailuresSetTheLastError) {
    unsetenv("ORDELIN_DRIVE_Q");
    const std::pair<std::string, uint32_t> rows[] = {
        {ToPlatformPath((root / "missing" / "x.htm").string()), ERROR_PATH_NOT_FOUND},
        {"Q:\\unmapped\\x.htm", ERROR_PATH_NOT_FOUND},
        {ToPlatformPath(root.string()), ERROR_ACCESS_DENIED},  // a folder
    };
    for (const auto& [path, error] : rows) {
        LockedTextFile out;
        SetLastError(0);
        EXPECT_FALSE(out.Create(path)) << path;
        EXPECT_EQ(GetLastError(), error) << path;
        EXPECT_FALSE(out.IsOpen());
    }
}

TEST_F(LockedTextFileTest, AFullDiskIsKeptAndReportedAtClose) {
    // A file that may grow no further fails its writes as a full disk does: the writer runs in a
    // child process with a file size limit (a link to a full device is no longer followed).
    const std::string path = ToPlatformPath((root / "full.htm").string());
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(9);
        LockedTextFile out;
        if (!out.Create(path)) ::_exit(10);
        // Past the buffer the failure shows while writing, and sticks.
        bool written = true;
        for (int i = 0; i < 10000 && written; ++i) written = out.WriteLine(std::string(100, 'x'));
        if (written) ::_exit(11);
        if (out.WriteLine("more")) ::_exit(12);
        if (out.Close()) ::_exit(13);
        ::_exit(out.WriteError() == ERROR_DISK_FULL ? 0 : 14);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    // 10: not created; 11: every line written; 12: a line after the failure; 13: Close
    // reported success; 14: another error than a full disk.
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fs::file_size(root / "full.htm"), 4096u);
}

TEST_F(LockedTextFileTest, CreateNewMakesOnlyAFileThatIsNotThere) {
    const fs::path taken = root / "Taken.htm";
    std::ofstream(taken) << "another run's report\n";
    fs::create_symlink(root / "elsewhere", root / "Link.htm");  // a dangling link counts too
    fs::create_directory(root / "Folder.htm");
    LockedTextFile out;
    for (const char* name : {"Taken.htm", "TAKEN.HTM", "Link.htm", "Folder.htm"}) {
        SCOPED_TRACE(name);
        SetLastError(0);
        EXPECT_FALSE(out.CreateNew(ToPlatformPath((root / name).string())));
        EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
        EXPECT_FALSE(out.IsOpen());
    }
    EXPECT_EQ(Read(taken), "another run's report\n");
    EXPECT_FALSE(fs::exists(root / "elsewhere"));

    ASSERT_TRUE(out.CreateNew(ToPlatformPath((root / "New.htm").string())));
    EXPECT_TRUE(out.WriteLine("new"));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(Read(root / "New.htm"), "new\r\n");
}

}  // namespace
}  // namespace platform
