#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/folders.h"
#include "platform/path.h"
#include "platform/system_error.h"
#include "platform/testing/scoped_env.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

using testing::ScopedEnv;

class FileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ordelin-fs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        base = ToPlatformPath(root);
        fs::create_directories(root + "/navo files/sub");
        std::ofstream(root + "/navo files/file.txt") << "abc";
    }
    void TearDown() override { fs::remove_all(root); }

    std::string root;  // host form
    std::string base;  // platform form
};

TEST_F(FileSystemTest, LocalAppDataFolderIsMadeWhenMissing) {
    const auto privateFolder = fs::perms::owner_all;
    struct Row {
        const char* what;
        const char* xdgDataHome;  // below root; null: unset, so HOME/.local/share is used
        const char* home;         // below root
        std::vector<const char*> made;
    } rows[] = {
        {"XDG_DATA_HOME", "/fresh/data", "/home", {"/fresh", "/fresh/data"}},
        {"the home's .local/share", nullptr, "/home/user", {"/home/user/.local/share"}},
        {"a home without .local",
         nullptr,
         "/home/other",
         {"/home/other", "/home/other/.local", "/home/other/.local/share"}},
    };
    fs::create_directories(root + "/home/user/.local");
    fs::permissions(root + "/home/user/.local", fs::perms::owner_all | fs::perms::group_read);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScopedEnv data("XDG_DATA_HOME",
                       row.xdgDataHome ? (root + row.xdgDataHome).c_str() : nullptr);
        ScopedEnv home("HOME", (root + row.home).c_str());
        const std::optional<std::string> folder = LocalAppDataFolder();
        ASSERT_TRUE(folder.has_value());
        EXPECT_TRUE(GetFileStatus(*folder).isDirectory) << *folder;
        for (const char* level : row.made) {
            EXPECT_EQ(fs::status(root + level).permissions(), privateFolder) << level;
        }
    }
    // A folder that exists keeps its permissions.
    EXPECT_EQ(fs::status(root + "/home/user/.local").permissions(),
              fs::perms::owner_all | fs::perms::group_read);

    // A file in the way: the folder is still named, nothing is made and nothing breaks.
    std::ofstream(root + "/blocked") << "x";
    ScopedEnv data("XDG_DATA_HOME", (root + "/blocked/data").c_str());
    EXPECT_EQ(LocalAppDataFolder(), base + "\\blocked\\data");
    EXPECT_TRUE(fs::is_regular_file(root + "/blocked"));
}

TEST_F(FileSystemTest, SearchAndStatusFindNamesInAnyCase) {
    ASSERT_TRUE(FindEntry(base + "\\NAVO FILES").has_value());
    EXPECT_TRUE(FindEntry(base + "\\Navo Files")->isDirectory);
    EXPECT_FALSE(FindEntry(base + "\\NAVO FILES\\FILE.TXT")->isDirectory);
    EXPECT_FALSE(FindEntry(base + "\\NAVO FILES\\NONE").has_value());
    EXPECT_FALSE(FindEntry("R:\\X").has_value());
    EXPECT_FALSE(FindEntry("").has_value());

    const FileStatus file = GetFileStatus(base + "\\NAVO FILES\\FILE.TXT");
    EXPECT_EQ(file.error, ERROR_SUCCESS);
    EXPECT_FALSE(file.isDirectory);
    EXPECT_EQ(file.size, 3u);
    EXPECT_TRUE(GetFileStatus(base + "\\navo files\\SUB").isDirectory);
}

TEST_F(FileSystemTest, StatusErrorsTellFileFromPath) {
    struct Row {
        std::string path;
        uint32_t error;
    } rows[] = {
        {base + "\\NAVO FILES\\MISSING", ERROR_FILE_NOT_FOUND},
        {base + "\\NO FOLDER\\MISSING", ERROR_PATH_NOT_FOUND},
        {base + "\\NAVO FILES\\FILE.TXT\\BELOW", ERROR_PATH_NOT_FOUND},
        {"R:\\ANY", ERROR_PATH_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SetLastError(0);
        EXPECT_EQ(GetFileStatus(row.path).error, row.error) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
}

TEST_F(FileSystemTest, CreateDirectoryMakesOneLevelWithTheNameAsGiven) {
    ASSERT_TRUE(CreateDirectory(base + "\\NAVO FILES\\NewOne"));
    EXPECT_TRUE(fs::is_directory(root + "/navo files/NewOne"));

    struct Row {
        std::string path;
        uint32_t error;
    } rows[] = {
        {base + "\\NAVO FILES\\NEWONE", ERROR_ALREADY_EXISTS},    // other case, same entry
        {base + "\\NAVO FILES\\FILE.TXT", ERROR_ALREADY_EXISTS},  // a file of that name
        {base + "\\MISSING\\CHILD", ERROR_PATH_NOT_FOUND},        // parent missing
        {base + "\\NAVO FILES\\FILE.TXT\\CHILD", ERROR_PATH_NOT_FOUND},
        {"R:\\CHILD", ERROR_PATH_NOT_FOUND},  // drive unavailable
    };
    for (const Row& row : rows) {
        SetLastError(0);
        EXPECT_FALSE(CreateDirectory(row.path)) << row.path;
        EXPECT_EQ(GetLastError(), row.error) << row.path;
    }
    EXPECT_FALSE(fs::exists(root + "/MISSING"));
}

TEST_F(FileSystemTest, DriveTypes) {
    ScopedEnv mapped("ORDELIN_DRIVE_Q", root.c_str());
    ScopedEnv gone("ORDELIN_DRIVE_P", (root + "/gone").c_str());
    ScopedEnv unmapped("ORDELIN_DRIVE_R", nullptr);
    struct Row {
        const char* root;
        uint32_t type;
    } rows[] = {
        {"Z:\\", DRIVE_FIXED},   {"z:", DRIVE_FIXED},         {"Q:\\", DRIVE_FIXED},
        {"q:/", DRIVE_FIXED},    {"P:\\", DRIVE_NO_ROOT_DIR}, {"R:\\", DRIVE_NO_ROOT_DIR},
        {"", DRIVE_FIXED},       {"\\\\", DRIVE_UNKNOWN},     {"Z:\\x", DRIVE_UNKNOWN},
        {"1:\\", DRIVE_UNKNOWN},
    };
    for (const Row& row : rows) EXPECT_EQ(GetDriveType(row.root), row.type) << row.root;
}

TEST(FileErrorCauses, MapPlatformErrors) {
    struct Row {
        uint32_t error;
        FileErrorCause cause;
    } rows[] = {
        {0, FileErrorCause::none},
        {ERROR_FILE_NOT_FOUND, FileErrorCause::fileNotFound},
        {ERROR_PATH_NOT_FOUND, FileErrorCause::badPath},
        {ERROR_ACCESS_DENIED, FileErrorCause::accessDenied},
        {ERROR_ALREADY_EXISTS, FileErrorCause::accessDenied},
        {ERROR_SHARING_VIOLATION, FileErrorCause::sharingViolation},
        {ERROR_DISK_FULL, FileErrorCause::diskFull},
        {ERROR_INVALID_NAME, FileErrorCause::badPath},
        {ERROR_FILENAME_EXCED_RANGE, FileErrorCause::badPath},
        {19, FileErrorCause::accessDenied},
        {38, FileErrorCause::endOfFile},
        {12345, FileErrorCause::generic},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FileErrorCauseFromError(row.error), row.cause) << row.error;
    }
}

TEST_F(FileSystemTest, EnvironmentPointsTheFoldersElsewhere) {
    {
        ScopedEnv data("XDG_DATA_HOME", (root + "/srv/data/").c_str());
        EXPECT_EQ(LocalAppDataFolder(), base + "\\srv\\data");
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "relative/ignored");
        ScopedEnv home("HOME", (root + "/home/someone").c_str());
        EXPECT_EQ(LocalAppDataFolder(), base + "\\home\\someone\\.local\\share");
    }
    {
        ScopedEnv windir("ORDELIN_WINDIR", nullptr);
        EXPECT_EQ(WindowsDirectory(), "Z:\\etc\\ordelin");
    }
    {
        ScopedEnv windir("ORDELIN_WINDIR", "Q:\\");
        EXPECT_EQ(WindowsDirectory(), "Q:\\");
    }
    {
        ScopedEnv windir("ORDELIN_WINDIR", "");
        EXPECT_EQ(WindowsDirectory(), std::nullopt);
    }
    {
        ScopedEnv program("ORDELIN_PROGRAM_PATH", "/opt/app/ordelin");
        EXPECT_EQ(ProgramFilePath(), "Z:\\opt\\app\\ordelin");
    }
    ScopedEnv program("ORDELIN_PROGRAM_PATH", nullptr);
    const std::optional<std::string> self = ProgramFilePath();
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(self->substr(0, 3), "Z:\\");
    EXPECT_NE(self->find("ordelin_platform_tests"), std::string::npos);
}

}  // namespace
}  // namespace platform
