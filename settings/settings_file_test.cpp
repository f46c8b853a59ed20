#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fsclient/dornapi.h"
#include "settings/test_home.h"

namespace {

namespace fs = std::filesystem;

const char kMarker[] = "[Debug]\nCreatedBy=DORNAPI\n";

class SettingsFileTest : public TestHome {
  protected:
    std::string MakerFile() const { return P("data") + "\\Corvane Group\\NAVO.INI"; }
    std::string WindowsFile() const { return P("windir") + "\\NAVO.INI"; }
    std::string MakerHost() const { return Host("data/Corvane Group/NAVO.INI"); }
    std::string WindowsHost() const { return Host("windir/NAVO.INI"); }
    // Makes the application data unusable: a file stands where one of its folders belongs.
    void BlockAppData() {
        fs::create_directories(Host("data"));
        WriteText(Host("data/file"), "not a folder");
        SetEnv("XDG_DATA_HOME", Host("data/file/share"));
    }
};

TEST_F(SettingsFileTest, ChoiceOfFile) {
    enum Maker { kUsableWithSection, kUsableWithoutSection, kMissingParent, kFileInTheWay };
    struct Row {
        const char* what;
        Maker maker;
        bool windowsHasSection;
        bool expectMaker;
        bool expectMarker;
    } rows[] = {
        {"maker's file has a section", kUsableWithSection, true, true, false},
        {"only the Windows file has one", kUsableWithoutSection, true, false, false},
        {"neither has one", kUsableWithoutSection, false, true, true},
        {"application data cannot be made", kMissingParent, false, false, false},
        {"application data cannot be made", kMissingParent, true, false, false},
        {"a file stands where the maker's folder belongs", kFileInTheWay, false, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(Host("data"));
        fs::remove_all(Host("windir"));
        fs::create_directories(Host("windir"));
        CDornApi::ResetSettingsPathCacheForTesting();
        SetEnv("XDG_DATA_HOME", Host("data"));
        switch (row.maker) {
            case kUsableWithSection:
                fs::create_directories(Host("data/Corvane Group"));
                WriteText(MakerHost(), "[Directories]\n");
                break;
            case kUsableWithoutSection:
                // The maker's folder does not exist yet: it is made.
                fs::create_directories(Host("data"));
                break;
            case kMissingParent:
                BlockAppData();
                break;
            case kFileInTheWay:
                fs::create_directories(Host("data"));
                WriteText(Host("data/Corvane Group"), "not a folder");
                break;
        }
        // An empty section header counts as a section.
        if (row.windowsHasSection) WriteText(WindowsHost(), "; comment\n[Empty]\n");

        const char* path = CDornApi::GetSettingsFilePath();
        ASSERT_NE(path, nullptr);
        EXPECT_EQ(path, row.expectMaker ? MakerFile() : WindowsFile());
        if (row.expectMarker) {
            EXPECT_EQ(ReadText(MakerHost()), kMarker);
        } else if (row.maker == kUsableWithSection) {
            EXPECT_EQ(ReadText(MakerHost()), "[Directories]\n");
        } else {
            EXPECT_FALSE(fs::exists(MakerHost()) && !fs::is_directory(MakerHost()));
        }
        EXPECT_EQ(fs::exists(WindowsHost()), row.windowsHasSection);
    }
}

TEST_F(SettingsFileTest, AFreshAccountGetsItsSettingsFile) {
    // No application data yet, and no settings for the whole machine.
    SetEnv("XDG_DATA_HOME", std::nullopt);
    SetEnv("ORDELIN_WINDIR", Host("no-windir"));
    const std::string directory = P("app") + "\\QVFiles\\QVTEMP";
    CDornApi::SetSetting("Directories", "QVTEMP", directory.c_str());
    EXPECT_EQ(CDornApi::GetSettingsFilePath(),
              P("home") + "\\.local\\share\\Corvane Group\\NAVO.INI");
    EXPECT_EQ(CDornApi::GetSetting("Directories", "QVTEMP", nullptr), directory);
    const std::string text = ReadText(Host("home/.local/share/Corvane Group/NAVO.INI"));
    EXPECT_EQ(text.rfind(kMarker, 0), 0u) << text;
    EXPECT_NE(text.find("[Directories]\nQVTEMP=" + directory + "\n"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(Host("no-windir")));
}

TEST_F(SettingsFileTest, MarkerIsWrittenOnceAndThePathIsKeptForTheProcess) {
    ASSERT_NE(CDornApi::GetSettingsFilePath(), nullptr);
    const std::string first = CDornApi::GetSettingsFilePath();
    EXPECT_EQ(first, MakerFile());
    CDornApi::SetSetting("Directories", "QVTEMP", "Z:\\somewhere");

    // A Windows-directory file that gains a section later is not noticed by this process...
    WriteText(WindowsHost(), "[Directories]\nQVTEMP=Z:\\elsewhere\n");
    EXPECT_EQ(CDornApi::GetSetting("Directories", "qvtemp", nullptr), "Z:\\somewhere");

    // ...nor by the next one: the maker's file now has sections, and its marker stays single.
    CDornApi::ResetSettingsPathCacheForTesting();
    ASSERT_NE(CDornApi::GetSettingsFilePath(), nullptr);
    EXPECT_EQ(std::string(CDornApi::GetSettingsFilePath()), first);
    EXPECT_EQ(ReadText(MakerHost()),
              std::string(kMarker) + "\n[Directories]\nQVTEMP=Z:\\somewhere\n");
}

TEST_F(SettingsFileTest, NoWindowsDirectoryMeansNoPathUntilOneIsFound) {
    BlockAppData();
    SetEnv("ORDELIN_WINDIR", "");
    EXPECT_EQ(CDornApi::GetSettingsFilePath(), nullptr);
    EXPECT_EQ(CDornApi::GetSetting("Directories", "QVTEMP", "dflt"), "dflt");
    CDornApi::SetSetting("Directories", "QVTEMP", "x");  // goes nowhere, and does not fail

    // Without a Windows directory even a usable maker's folder gives no path while its file
    // holds no section.
    SetEnv("XDG_DATA_HOME", Host("data"));
    EXPECT_EQ(CDornApi::GetSettingsFilePath(), nullptr);

    // Nothing was cached, so the next call tries again.
    SetEnv("ORDELIN_WINDIR", Host("windir"));
    const char* path = CDornApi::GetSettingsFilePath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path, MakerFile());
}

TEST_F(SettingsFileTest, WindowsDirectoryTooLongForTheFileNameLeavesTheMakersFolder) {
    // A Windows directory of 253 characters: with "\\NAVO.INI" the name would pass 259.
    SetEnv("ORDELIN_DRIVE_W", Host("windir"));
    SetEnv("ORDELIN_WINDIR", "W:\\" + std::string(250, 'w'));
    const char* path = CDornApi::GetSettingsFilePath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path, MakerFile());
    EXPECT_EQ(CDornApi::GetSetting("Debug", "CreatedBy", ""), "DORNAPI");

    // Without a usable maker's folder there is no path at all.
    CDornApi::ResetSettingsPathCacheForTesting();
    BlockAppData();
    EXPECT_EQ(CDornApi::GetSettingsFilePath(), nullptr);
}

TEST_F(SettingsFileTest, WindowsDirectoryAtADriveRootGetsNoSecondBackslash) {
    SetEnv("ORDELIN_DRIVE_W", Host("windir"));
    SetEnv("ORDELIN_WINDIR", "W:\\");
    BlockAppData();
    EXPECT_STREQ(CDornApi::GetSettingsFilePath(), "W:\\NAVO.INI");
    CDornApi::SetSetting("Directories", "HELP", "Z:\\help");
    EXPECT_EQ(ReadText(WindowsHost()), "[Directories]\nHELP=Z:\\help\n");
}

TEST_F(SettingsFileTest, LongValuesAreCutAndBadFilesReadAsEmpty) {
    fs::create_directories(Host("data/Corvane Group"));
    WriteText(MakerHost(), "[Directories]\nLONG=" + std::string(5000, 'x') + "\n");
    EXPECT_EQ(CDornApi::GetSetting("Directories", "LONG", nullptr), std::string(4095, 'x'));
    EXPECT_EQ(CDornApi::GetSetting("Directories", "NONE", nullptr), "");

    // Lines the reader does not understand stay, and the value is still written.
    const std::string odd = "[Directories\nthis is not a profile file";
    WriteText(MakerHost(), odd);
    EXPECT_EQ(CDornApi::GetSetting("Directories", "LONG", "d"), "d");
    CDornApi::SetSetting("Directories", "QVTEMP", "x");
    EXPECT_EQ(ReadText(MakerHost()), odd + "\n\n[Directories]\nQVTEMP=x\n");
    EXPECT_EQ(CDornApi::GetSetting("Directories", "QVTEMP", nullptr), "x");

    // A file that is no text at all is never rewritten.
    const std::string binary("[Directories]\nQVTEMP=x\n\0\xff", 25);
    WriteText(MakerHost(), binary);
    CDornApi::SetSetting("Directories", "QVTEMP", "y");
    EXPECT_EQ(ReadText(MakerHost()), binary);
}

TEST_F(SettingsFileTest, HasAnySection) {
    struct Row {
        const char* text;  // null: no file
        bool expected;
    } rows[] = {
        {nullptr, false},
        {"", false},
        {"; only a comment\nkey=1\n", false},
        {"[A]\n", true},
        {"x=1\n[B]\ny=2\n", true},
    };
    for (const Row& row : rows) {
        fs::remove(Host("f.ini"));
        if (row.text) WriteText(Host("f.ini"), row.text);
        EXPECT_EQ(CDornApi::HasAnySection((P() + "\\F.INI").c_str()), row.expected)
            << (row.text ? row.text : "(no file)");
    }
    EXPECT_FALSE(CDornApi::HasAnySection(nullptr));
}

TEST_F(SettingsFileTest, AppDataFolderIsMadeOrRefused) {
    char buffer[260];
    ASSERT_TRUE(CDornApi::GetAppDataFolder(buffer, sizeof buffer));
    EXPECT_EQ(buffer, P("data") + "\\Corvane Group");
    EXPECT_TRUE(fs::is_directory(Host("data/Corvane Group")));

    // Too small a buffer would cut the name: refused, nothing made.
    fs::remove(Host("data/Corvane Group"));
    char small[20];
    EXPECT_FALSE(CDornApi::GetAppDataFolder(small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(fs::exists(Host("data/Corvane Group")));
}

}  // namespace
