#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "settings/test_home.h"

namespace {

namespace fs = std::filesystem;

class DirectoryMacrosTest : public TestHome {
  protected:
    std::string Recorded(const char* name) {
        return CDornApi::GetSetting("Directories", name, nullptr);
    }
    // The settings file as a text, or "(none)" when it has not been made.
    std::string SettingsText() {
        const std::string file = Host("data/Corvane Group/NAVO.INI");
        return fs::exists(file) ? ReadText(file) : "(none)";
    }
};

TEST_F(DirectoryMacrosTest, PathsWithoutAMacroStayAsTheyAre) {
    const char* unchanged[] = {
        "",                       // empty
        "Z:\\tmp\\$(QVTEMP)\\x",  // the macro in the middle
        "$(Q)\\file",             // a name of one character
        "$()\\file",
        "$(QVTEMP\\file",  // no closing parenthesis
        "(QVTEMP)\\file",
    };
    for (const char* text : unchanged) {
        std::string path = text;
        EXPECT_TRUE(CDornApi::ExpandDirectoryMacro(path, false)) << text;
        EXPECT_EQ(path, text);
    }
    EXPECT_EQ(SettingsText(), "(none)") << "the settings file is not even looked for";
}

TEST_F(DirectoryMacrosTest, QvTempIsMadeUnderTheProgramsFolderAndRecorded) {
    std::string path = "$(QVTEMP)\\OL004711.htm";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    const std::string directory = P("app") + "\\QVFiles\\QVTEMP";
    EXPECT_EQ(path, directory + "\\OL004711.htm");
    EXPECT_TRUE(fs::is_directory(Host("app/QVFiles/QVTEMP")));
    EXPECT_EQ(Recorded("QVTEMP"), directory);
    EXPECT_EQ(SettingsText(),
              "[Debug]\nCreatedBy=DORNAPI\n\n[Directories]\nQVTEMP=" + directory + "\n");

    // A second process finds the directory in the settings file. Its program lies elsewhere,
    // so a default directory made there would not match.
    fs::create_directories(Host("app2"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("ORDELIN_PROGRAM_PATH", Host("app2/ordelin").c_str(), 1);
        setenv("ORDELIN_TEST_EXPECTED_PATH", (directory + "\\OL004711.htm").c_str(), 1);
        execl("/proc/self/exe", "ordelin_settings_tests",
              "--gtest_filter=SecondProcess.DISABLED_FindsTheRecordedDirectory",
              "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(Host("app2/QVFiles")));
}

// Run only by the test above, as a process of its own.
TEST(SecondProcess, DISABLED_FindsTheRecordedDirectory) {
    const char* expected = std::getenv("ORDELIN_TEST_EXPECTED_PATH");
    if (expected == nullptr) GTEST_SKIP() << "started by another test";
    std::string path = "$(QVTEMP)\\OL004711.htm";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, expected);
}

TEST_F(DirectoryMacrosTest, NamesAreUsedInUpperCaseAndFoldersFoundInAnyCase) {
    fs::create_directories(Host("app/navo files"));  // lower case on disk
    std::string path = "$(qvtools)\\x.txt";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    const std::string directory = P("app") + "\\Navo Files\\QVTOOLS";
    EXPECT_EQ(path, directory + "\\x.txt");
    EXPECT_TRUE(fs::is_directory(Host("app/navo files/QVTOOLS")));
    EXPECT_FALSE(fs::exists(Host("app/Navo Files")));
    EXPECT_EQ(Recorded("QVTOOLS"), directory);
    EXPECT_EQ(SettingsText().find("qvtools"), std::string::npos);

    // The recorded directory is found again, in whatever case it was written.
    CDornApi::SetSetting("Directories", "QVTOOLS", (P("APP") + "\\NAVO FILES\\QVTOOLS").c_str());
    path = "$(QVTools)\\y";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, P("APP") + "\\NAVO FILES\\QVTOOLS\\y");
}

TEST_F(DirectoryMacrosTest, AConfiguredDirectoryThatIsGoneIsMadeAgainWhereConfigured) {
    const std::string configured = P("elsewhere") + "\\Deep\\Temp";
    CDornApi::SetSetting("Directories", "HELP", configured.c_str());
    std::string path = "$(HELP)\\index.htm";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, configured + "\\index.htm");
    EXPECT_TRUE(fs::is_directory(Host("elsewhere/Deep/Temp")));
    EXPECT_FALSE(fs::exists(Host("app/QVFiles")));
    EXPECT_EQ(Recorded("HELP"), configured);
}

TEST_F(DirectoryMacrosTest, AQuotedConfiguredDirectoryIsUsedWithoutItsQuotes) {
    fs::create_directories(Host("my temp"));
    const std::string configured = P("my temp");
    fs::create_directories(Host("data/Corvane Group"));
    WriteText(Host("data/Corvane Group/NAVO.INI"),
              "[Directories]\nQVTEMP=\"" + configured + "\"\nHELP='" + configured + "'\n");
    const std::string before = SettingsText();
    // A value taken with its quotes would name a folder relative to the current directory.
    {
        struct InRoot {
            explicit InRoot(const std::string& dir) { fs::current_path(dir); }
            ~InRoot() { fs::current_path(startedIn); }
            fs::path startedIn = fs::current_path();
        } inRoot(root);
        for (const char* name : {"QVTEMP", "HELP"}) {
            std::string path = std::string("$(") + name + ")\\OL004711.htm";
            EXPECT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
            EXPECT_EQ(path, configured + "\\OL004711.htm");
        }
    }
    // The existing folder was found: nothing made, nothing written back.
    EXPECT_EQ(SettingsText(), before);
    EXPECT_FALSE(fs::exists(Host("app/QVFiles")));
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        EXPECT_EQ(entry.path().string().find_first_of("\"'"), std::string::npos) << entry.path();
    }
}

TEST_F(DirectoryMacrosTest, UnknownNamesNeedForceUnlessConfigured) {
    std::string path = "$(MYDIR)\\x";
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, "$(MYDIR)\\x");
    EXPECT_EQ(Recorded("MYDIR"), "");
    EXPECT_FALSE(fs::exists(Host("app/QVFiles")));

    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, true));
    EXPECT_EQ(path, P("app") + "\\QVFiles\\MYDIR\\x");
    EXPECT_EQ(Recorded("MYDIR"), P("app") + "\\QVFiles\\MYDIR");

    // Once configured and existing, no force is needed.
    path = "$(mydir)\\y";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, P("app") + "\\QVFiles\\MYDIR\\y");
}

TEST_F(DirectoryMacrosTest, ProgramOffAFixedDriveUsesTheWindowsDirectory) {
    // The program on an unavailable drive: the Windows directory (longer than a root) is used.
    SetEnv("ORDELIN_PROGRAM_PATH", "Y:\\APP\\ORDELIN.EXE");
    std::string path = "$(INSTALL)\\setup.log";
    ASSERT_TRUE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, P("windir") + "\\QVFiles\\INSTALL\\setup.log");
    EXPECT_TRUE(fs::is_directory(Host("windir/QVFiles/INSTALL")));

    // A Windows directory that is a drive root is not used; the program's folder cannot be
    // made, so the macro stays and nothing is recorded.
    SetEnv("ORDELIN_DRIVE_W", Host("windir"));
    SetEnv("ORDELIN_WINDIR", "W:\\");
    path = "$(QVTEMP)\\x";
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, "$(QVTEMP)\\x");
    EXPECT_EQ(Recorded("QVTEMP"), "");
}

TEST_F(DirectoryMacrosTest, FoldersThatCannotBeMadeLeaveThePathAndSettingsAlone) {
    WriteText(Host("app/QVFiles"), "a file where a folder belongs");
    std::string path = "$(QVTEMP)\\x";
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, "$(QVTEMP)\\x");
    EXPECT_EQ(Recorded("QVTEMP"), "");

    // A result past 259 characters is refused rather than cut.
    const std::string longFolder = "Z:\\" + std::string(200, 'a');
    CDornApi::SetSetting("Directories", "HELP", (P("app")).c_str());
    path = "$(HELP)\\" + std::string(250, 'b');
    EXPECT_FALSE(CDornApi::ExpandDirectoryMacro(path, false));
    EXPECT_EQ(path, "$(HELP)\\" + std::string(250, 'b'));
    std::string directory = longFolder + "\\" + std::string(58, 'c');  // 262 with the backslash
    EXPECT_FALSE(CDornApi::MakeDefaultDirectory(directory, "HELP", false));
    EXPECT_EQ(directory, longFolder + "\\" + std::string(58, 'c'));
}

TEST_F(DirectoryMacrosTest, CreateDirectoryPathCodes) {
    fs::create_directories(Host("a/b"));
    WriteText(Host("a/file"), "x");
    const auto before = fs::last_write_time(Host("a"));
    struct Row {
        std::string path;
        int code;
    } rows[] = {
        {P("A") + "\\B\\", 0},              // every level exists (in another case)
        {P("a") + "\\FILE\\sub\\", 5},      // a file where a level should be
        {"\\\\server", 3},                  // a server without a share
        {"R:\\new\\", 3},                   // an unavailable drive
        {std::string(300, 'x') + "\\", 3},  // longer than a path may be
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CDornApi::CreateDirectoryPath(row.path.c_str()), row.code) << row.path;
    }
    EXPECT_EQ(fs::last_write_time(Host("a")), before) << "nothing was created";
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(Host("a")), {}).size(), 2u);

    // Missing levels are made; the text after the last backslash is not a level.
    EXPECT_EQ(CDornApi::CreateDirectoryPath((P("A") + "\\New\\Deeper\\not-a-level").c_str()), 0);
    EXPECT_TRUE(fs::is_directory(Host("a/New/Deeper")));
    EXPECT_FALSE(fs::exists(Host("a/New/Deeper/not-a-level")));

    if (geteuid() != 0) {
        fs::permissions(Host("a/b"), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(CDornApi::CreateDirectoryPath((P("a") + "\\b\\c\\").c_str()), 5);
        fs::permissions(Host("a/b"), fs::perms::owner_all);
    }
}

TEST_F(DirectoryMacrosTest, PathExistsAndFixedDrives) {
    SetEnv("ORDELIN_DRIVE_Q", root);
    WriteText(Host("f"), "x");
    EXPECT_TRUE(CDornApi::PathExists((P() + "\\F").c_str()));
    EXPECT_TRUE(CDornApi::PathExists((P() + "\\APP").c_str()));
    EXPECT_TRUE(CDornApi::PathExists("Q:\\APP"));
    EXPECT_FALSE(CDornApi::PathExists((P() + "\\NONE").c_str()));
    EXPECT_FALSE(CDornApi::PathExists(nullptr));

    EXPECT_TRUE(CDornApi::IsFixedDrive("Z:\\anything"));
    EXPECT_TRUE(CDornApi::IsFixedDrive("q:\\x"));
    EXPECT_FALSE(CDornApi::IsFixedDrive("R:\\x"));
    EXPECT_FALSE(CDornApi::IsFixedDrive("\\\\server\\share\\x"));
    EXPECT_FALSE(CDornApi::IsFixedDrive("relative\\x"));
    EXPECT_FALSE(CDornApi::IsFixedDrive(""));
}

}  // namespace
