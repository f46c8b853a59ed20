// Default directories of an installed program: its folder under /usr, or one the user may not
// write to, is never written to; they go to the user's own folder instead.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/testing/other_user.h"
#include "settings/test_home.h"

namespace {

namespace fs = std::filesystem;

class InstalledProgramTest : public TestHome {
  protected:
    // Starts afresh as another process would: no settings file, no cached path.
    void FreshSettings() {
        fs::remove_all(Host("data"));
        fs::create_directories(Host("data"));
        CDornApi::ResetSettingsPathCacheForTesting();
    }
    std::string UserQvTemp() const { return P("data") + "\\Corvane Group\\QVFiles\\QVTEMP"; }
};

TEST_F(InstalledProgramTest, TheListFileDirectoryGoesWhereTheUserMayWrite) {
    const bool usrBinHadQvFiles = fs::exists("/usr/bin/QVFiles");
    const struct {
        std::string program;
        std::string expected;  // the directory QVTEMP resolves to
    } cases[] = {
        {Host("app/ordelin"), P("app") + "\\QVFiles\\QVTEMP"},  // run from a folder of the user's
        {"/usr/bin/ordelin", UserQvTemp()},                     // installed: even root leaves /usr
        {"/usr/local/bin/ordelin", UserQvTemp()},
        {"/usr/lib/ordelin/no/such/folder/ordelin", UserQvTemp()},
    };
    for (const auto& c : cases) {
        SetEnv("ORDELIN_PROGRAM_PATH", c.program);
        FreshSettings();
        std::string path = "$(QVTEMP)\\OL004711.htm";
        ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false)) << c.program;
        EXPECT_EQ(path, c.expected + "\\OL004711.htm") << c.program;
        EXPECT_EQ(CDornApi::GetSetting("Directories", "QVTEMP", nullptr), c.expected) << c.program;
        EXPECT_TRUE(fs::is_directory(*platform::ToHostPath(c.expected))) << c.program;
    }
    EXPECT_EQ(fs::exists("/usr/bin/QVFiles"), usrBinHadQvFiles);
}

TEST_F(InstalledProgramTest, AProgramFolderTheUserMayNotWriteToIsLeftAlone) {
    fs::create_directories(Host("opt/bin"));
    for (const char* folder : {"", "data", "windir"}) {
        ASSERT_EQ(chmod(Host(folder).c_str(), 0777), 0) << folder;
    }
    ASSERT_EQ(chmod(Host("opt").c_str(), 0755), 0);
    ASSERT_EQ(chmod(Host("opt/bin").c_str(), 0555), 0);
    SetEnv("ORDELIN_PROGRAM_PATH", Host("opt/bin/ordelin"));
    EXPECT_TRUE(platform::testing::RunAsOtherUser([&] {
        std::string path = "$(QVTEMP)\\OL000007.htm";
        EXPECT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
        EXPECT_EQ(path, UserQvTemp() + "\\OL000007.htm");
        EXPECT_TRUE(fs::is_directory(Host("data/Corvane Group/QVFiles/QVTEMP")));
    }));
    EXPECT_FALSE(fs::exists(Host("opt/bin/QVFiles")));

    // The same folder, writable again, takes the default directory as before.
    ASSERT_EQ(chmod(Host("opt/bin").c_str(), 0777), 0);
    FreshSettings();
    EXPECT_TRUE(platform::testing::RunAsOtherUser([&] {
        std::string path = "$(QVTEMP)\\OL000007.htm";
        EXPECT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
        EXPECT_EQ(path, P("opt/bin") + "\\QVFiles\\QVTEMP\\OL000007.htm");
    }));
}

TEST_F(InstalledProgramTest, TheUsersFolderIsMadeWithEveryLevelAndKeepsNavoFiles) {
    SetEnv("ORDELIN_PROGRAM_PATH", "/usr/bin/ordelin");

    // A new account: not even the local application data exists yet.
    SetEnv("XDG_DATA_HOME", Host("fresh/.local/share"));
    FreshSettings();
    std::string path = "$(QVTEMP)\\x.htm";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    const std::string fresh = P("fresh/.local/share") + "\\Corvane Group\\QVFiles\\QVTEMP";
    EXPECT_EQ(path, fresh + "\\x.htm");
    EXPECT_TRUE(fs::is_directory(Host("fresh/.local/share/Corvane Group/QVFiles/QVTEMP")));

    // A "Navo Files" folder in the user's folder is preferred, as beside a program.
    SetEnv("XDG_DATA_HOME", Host("data"));
    FreshSettings();
    fs::create_directories(Host("data/Corvane Group/navo files"));
    path = "$(HELP)\\index.htm";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, P("data") + "\\Corvane Group\\Navo Files\\HELP\\index.htm");
}

TEST_F(InstalledProgramTest, AConfiguredDirectoryThatCannotBeMadeStillFails) {
    // Only a default directory moves: a place the user configured is never replaced.
    SetEnv("ORDELIN_PROGRAM_PATH", "/usr/bin/ordelin");
    WriteText(Host("file"), "x");
    const std::string configured = P("file") + "\\temp";
    CDornApi::SetSetting("Directories", "QVTEMP", configured.c_str());
    std::string path = "$(QVTEMP)\\x.htm";
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, "$(QVTEMP)\\x.htm");
    EXPECT_EQ(CDornApi::GetSetting("Directories", "QVTEMP", nullptr), configured);
    EXPECT_FALSE(fs::exists(Host("data/Corvane Group/QVFiles")));
}

TEST_F(InstalledProgramTest, AnUnknownNameStillNeedsForce) {
    SetEnv("ORDELIN_PROGRAM_PATH", "/usr/bin/ordelin");
    std::string path = "$(MYDIR)\\x";
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_FALSE(fs::exists(Host("data/Corvane Group/QVFiles")));
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, true));
    EXPECT_EQ(path, P("data") + "\\Corvane Group\\QVFiles\\MYDIR\\x");
}

}  // namespace
