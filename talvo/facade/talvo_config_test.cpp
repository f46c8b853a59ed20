#include "talvo/facade/talvo_config.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/testing/scoped_env.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;

class TalvoConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "talvo-config-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        config_ = (dir_ / "sub" / "talvo.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Content() const {
        std::ifstream in(config_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string& text) {
        fs::create_directories(fs::path(config_).parent_path());
        std::ofstream(config_) << text;
    }
    std::vector<DirectoryConfigEntry> Load() {
        std::vector<DirectoryConfigEntry> entries;
        Status s = LoadDirectoryConfig(config_, &entries);
        EXPECT_TRUE(s.ok()) << s.message();
        return entries;
    }

    fs::path dir_;
    std::string config_;
};

using SavedEnv = platform::testing::ScopedEnv;

TEST_F(TalvoConfigTest, PathComesFromTheEnvironmentInOrder) {
    SavedEnv savedConfig("TALVO_CONFIG"), savedDataHome("XDG_DATA_HOME"), savedHome("HOME");
    struct Case {
        const char* talvoConfig;
        const char* dataHome;
        const char* home;
        const char* expected;  // nullptr: no path
    } cases[] = {
        {"/etc/t.ini", "/xdg", "/home/u", "/etc/t.ini"},
        {"", "/xdg", "/home/u", "/xdg/Talvo/talvo.ini"},
        {nullptr, "relative", "/home/u", "/home/u/.local/share/Talvo/talvo.ini"},
        {nullptr, nullptr, "/home/u", "/home/u/.local/share/Talvo/talvo.ini"},
        {nullptr, nullptr, nullptr, nullptr},
    };
    auto put = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    for (const Case& c : cases) {
        put("TALVO_CONFIG", c.talvoConfig);
        put("XDG_DATA_HOME", c.dataHome);
        put("HOME", c.home);
        std::string path = "unchanged";
        Status s = TalvoConfigPath(&path);
        if (c.expected) {
            EXPECT_TRUE(s.ok()) << s.message();
            EXPECT_EQ(path, c.expected);
        } else {
            EXPECT_EQ(s.code(), Error::kInvalidArgument);
            EXPECT_EQ(path, "unchanged");
        }
    }
}

TEST_F(TalvoConfigTest, MissingFileGivesNoEntries) {
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(fs::exists(config_));
}

TEST_F(TalvoConfigTest, AFileThatCannotBeReadIsToldApartFromAMissingOne) {
    EXPECT_TRUE(CheckDirectoryConfigReadable(config_).ok());  // missing: an empty table
    Write("[Directories]\nDAT=/data\n");
    EXPECT_TRUE(CheckDirectoryConfigReadable(config_).ok());
    // A folder where the file should be reads as empty, and is told apart.
    fs::remove(config_);
    fs::create_directories(config_);
    EXPECT_TRUE(Load().empty());
    const Status s = CheckDirectoryConfigReadable(config_);
    EXPECT_EQ(s.code(), Error::kIoError);
    EXPECT_NE(s.message().find(config_), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("directory"), std::string::npos) << s.message();
    EXPECT_FALSE(SetDirectoryConfig(config_, "DAT", "/data").ok());
    EXPECT_TRUE(fs::is_directory(config_));
}

TEST_F(TalvoConfigTest, SetKeepsFileOrderReplacesInPlaceAndRemoves) {
    ASSERT_TRUE(SetDirectoryConfig(config_, "DAT", "Z:\\data").ok());  // makes the folder too
    ASSERT_TRUE(SetDirectoryConfig(config_, "tmp", "/tmp/x y").ok());
    ASSERT_TRUE(SetDirectoryConfig(config_, "OUT", "/out").ok());
    ASSERT_TRUE(SetDirectoryConfig(config_, "Tmp", "/tmp/new").ok());  // same name, other case

    std::vector<DirectoryConfigEntry> entries = Load();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "DAT");
    EXPECT_EQ(entries[0].path, "Z:\\data");
    EXPECT_EQ(entries[1].name, "tmp");
    EXPECT_EQ(entries[1].path, "/tmp/new");
    EXPECT_EQ(entries[2].name, "OUT");

    ASSERT_TRUE(RemoveDirectoryConfig(config_, "dat").ok());
    entries = Load();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "tmp");
    EXPECT_EQ(RemoveDirectoryConfig(config_, "DAT").code(), Error::kNotFound);
}

TEST_F(TalvoConfigTest, WritesKeepOtherSectionsAndComments) {
    Write("; made by hand\n[Other]\nkeep=1\n[Directories]\nA=/a\n");
    ASSERT_TRUE(SetDirectoryConfig(config_, "B", "/b").ok());
    std::string text = Content();
    EXPECT_NE(text.find("; made by hand"), std::string::npos) << text;
    EXPECT_NE(text.find("keep"), std::string::npos) << text;
    std::vector<DirectoryConfigEntry> entries = Load();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "/a");
    EXPECT_EQ(entries[1].path, "/b");
}

TEST_F(TalvoConfigTest, BadNamesAndPathsAreRefusedAndChangeNothing) {
    Write("[Directories]\nA=/a\n");
    const std::string before = Content();
    const std::pair<const char*, const char*> bad[] = {
        {"", "/x"},   {"ABCD", "/x"}, {"A B", "/x"}, {"A=", "/x"}, {"[A", "/x"},
        {"A;", "/x"}, {"B", ""},      {"B", " /x"},  {"B", "/x "}, {"B", "/x\ny"},
    };
    for (const auto& [name, path] : bad) {
        Status s = SetDirectoryConfig(config_, name, path);
        EXPECT_EQ(s.code(), Error::kInvalidArgument) << name << " = " << path;
        EXPECT_FALSE(s.message().empty());
    }
    EXPECT_EQ(Content(), before);
}

}  // namespace
}  // namespace talvo
