#include "platform/locked_text_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", root / "full.htm");
    LockedTextFile out;
    ASSERT_TRUE(out.Create(ToPlatformPath((root / "full.htm").string())));
    // Past the buffer the failure shows while writing, and sticks.
    bool written = true;
    for (int i = 0; i < 10000 && written; ++i) written = out.WriteLine(std::string(100, 'x'));
    EXPECT_FALSE(written);
    EXPECT_FALSE(out.WriteLine("more"));
    EXPECT_FALSE(out.Close());
    EXPECT_EQ(out.WriteError(), ERROR_DISK_FULL);
}

}  // namespace
}  // namespace platform
