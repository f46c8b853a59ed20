#include "platform/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/path.h"
#include "platform/testing/other_user.h"
#include "platform/testing/scoped_env.h"

namespace platform {
namespace {

TEST(InstalledProgramFolders, AreTheFoldersUnderUsrOnly) {
    const testing::ScopedEnv driveQ("ORDELIN_DRIVE_Q", "/usr/lib");
    const testing::ScopedEnv noDriveP("ORDELIN_DRIVE_P", nullptr);
    const struct {
        const char* folder;
        bool installed;
    } cases[] = {
        {"Z:\\usr\\bin\\", true},
        {"Z:\\usr\\bin", true},
        {"Z:\\usr\\local\\bin\\", true},
        {"Z:/usr/lib/ordelin/", true},
        {"\\usr\\bin\\", true},             // the current drive is Z:
        {"Z:\\usr\\", true},                // the tree itself
        {"Q:\\ordelin\\", true},            // a drive that stands for a folder under /usr
        {"Z:\\opt\\..\\usr\\bin\\", true},  // as the host resolves it
        {"Z:\\usr\\..\\home\\me\\", false},
        {"Z:\\usrlocal\\bin\\", false},       // another name that begins with usr
        {"Z:\\home\\me\\usr\\bin\\", false},  // usr further down
        {"Z:\\opt\\ordelin\\bin\\", false},
        {"Z:\\", false},
        {"P:\\usr\\bin\\", false},          // an unavailable drive
        {"\\\\server\\usr\\bin\\", false},  // no network on this host
        {"Z:\\no\\such\\folder\\", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsInstalledProgramFolder(c.folder), c.installed) << c.folder;
    }
}

TEST(InstalledProgramFolders, AreFoldersTheUserMayNotWriteTo) {
    char pattern[] = "/tmp/ordelin-folders-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    std::filesystem::create_directories(root + "/mine");
    std::filesystem::create_directories(root + "/theirs");
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod((root + "/mine").c_str(), 0777), 0);
    ASSERT_EQ(chmod((root + "/theirs").c_str(), 0555), 0);
    EXPECT_TRUE(testing::RunAsOtherUser([&] {
        EXPECT_FALSE(IsInstalledProgramFolder(ToPlatformPath(root + "/mine") + "\\"));
        EXPECT_TRUE(IsInstalledProgramFolder(ToPlatformPath(root + "/theirs") + "\\"));
        EXPECT_TRUE(IsInstalledProgramFolder(ToPlatformPath(root + "/THEIRS")));  // any case
        EXPECT_FALSE(IsInstalledProgramFolder(ToPlatformPath(root + "/missing")));
    }));
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace platform
