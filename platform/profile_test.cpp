#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/path.h"
#include "platform/system_error.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ordelin-profile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        hostFile = root + "/settings.ini";
        file = ToPlatformPath(root) + "\\SETTINGS.INI";
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Get(const char* section, const char* key, const char* def = "",
                    uint32_t size = 4096) {
        std::vector<char> buffer(size + 1, '#');
        const uint32_t n =
            GetPrivateProfileString(section, key, def, buffer.data(), size, file.c_str());
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        EXPECT_EQ(std::strlen(buffer.data()), n);
        return std::string(buffer.data(), n);
    }
    // A name list as delivered, with its zeros, plus the count.
    std::pair<std::string, uint32_t> List(const char* section, uint32_t size) {
        std::vector<char> buffer(size + 1, '#');
        const uint32_t n =
            GetPrivateProfileString(section, nullptr, "", buffer.data(), size, file.c_str());
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        return {std::string(buffer.data(), std::min<uint32_t>(n + 1, size)), n};
    }
    void WriteText(const std::string& text) { std::ofstream(hostFile, std::ios::binary) << text; }
    std::string ReadText() {
        std::ifstream in(hostFile, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> FolderEntries() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(root)) names.push_back(e.path().filename());
        return names;
    }

    std::string root;
    std::string hostFile;  // lower-case on disk
    std::string file;      // upper-case platform path of the same file
};

TEST_F(ProfileTest, FirstWriteCreatesFileAndSectionAndNamesCompareWithoutCase) {
    EXPECT_EQ(Get("Directories", "QVTEMP", "none"), "none");
    ASSERT_TRUE(WritePrivateProfileString("Directories", "QVTEMP", "Z:\\t\\q", file.c_str()));
    // A new file gets the name as given.
    hostFile = root + "/SETTINGS.INI";
    EXPECT_EQ(ReadText(), "[Directories]\nQVTEMP=Z:\\t\\q\n");

    EXPECT_EQ(Get("DIRECTORIES", "qvtemp"), "Z:\\t\\q");
    ASSERT_TRUE(WritePrivateProfileString("directories", "QvTemp", "other", file.c_str()));
    EXPECT_EQ(ReadText(), "[Directories]\nQVTEMP=other\n");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"SETTINGS.INI"}) << "temporary file left";
}

TEST_F(ProfileTest, ValuesDefaultsAndCutting) {
    WriteText("; kept comment\n[A]\nk=value ; not a comment  \nempty=\nlong=0123456789\n");
    EXPECT_EQ(Get("A", "k"), "value ; not a comment");
    EXPECT_EQ(Get("A", "empty", "def"), "");
    EXPECT_EQ(Get("A", "missing", "def"), "def");
    EXPECT_EQ(Get("A", "missing", nullptr), "");
    EXPECT_EQ(Get("B", "k", "def"), "def");
    EXPECT_EQ(Get("A", "long", "", 5), "0123");
    EXPECT_EQ(Get("A", "long", "", 1), "");
    EXPECT_EQ(Get("A", "missing", "defaulted", 4), "def");
    char one = 'x';
    EXPECT_EQ(GetPrivateProfileString("A", "k", "", &one, 0, file.c_str()), 0u);
    EXPECT_EQ(one, 'x');

    ASSERT_TRUE(WritePrivateProfileString("A", "new", "1", file.c_str()));
    EXPECT_NE(ReadText().find("; kept comment"), std::string::npos);
}

TEST_F(ProfileTest, OnePairOfSurroundingQuotesIsDroppedFromAValue) {
    struct Row {
        const char* stored;  // the value as it stands in the file
        const char* read;
    };
    const Row rows[] = {
        {"\"Z:\\data\\tmp\"", "Z:\\data\\tmp"},
        {"'Z:\\data'", "Z:\\data"},
        {"  \" inner spaces stay \"  ", " inner spaces stay "},
        {"\"\"", ""},
        {"''", ""},
        {"\"\"twice\"\"", "\"twice\""},  // one pair only
        {"\"", "\""},                    // a lone quote is no pair
        {"'", "'"},
        {"\"mixed'", "\"mixed'"},
        {"\"a\" b", "\"a\" b"},
        {"a \"b\"", "a \"b\""},
        {"plain", "plain"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        WriteText(std::string("[A]\nk=") + row.stored + "\n");
        EXPECT_EQ(Get("A", "k"), row.read);
    }
    // The quotes go before the value is cut to the buffer.
    WriteText("[A]\nk=\"0123456789\"\n");
    EXPECT_EQ(Get("A", "k", "", 5), "0123");
}

TEST_F(ProfileTest, ARepeatedKeyReadsAsItsFirstValueAndAWriteReplacesAll) {
    WriteText("[A]\nk=first\nk=second\n");
    EXPECT_EQ(Get("A", "k"), "first");
    ASSERT_TRUE(WritePrivateProfileString("A", "K", "only", file.c_str()));
    EXPECT_EQ(Get("A", "k"), "only");
    EXPECT_EQ(ReadText().find("first"), std::string::npos);
}

TEST_F(ProfileTest, SectionAndKeyListsInFileOrder) {
    WriteText("orphan=1\n[One]\nb=1\na=2\n[Two]\n[Three]\nc=3\n");
    EXPECT_EQ(List(nullptr, 100), std::make_pair(std::string("One\0Two\0Three\0\0", 15), 14u));
    EXPECT_EQ(List("ONE", 100), std::make_pair(std::string("b\0a\0\0", 5), 4u));
    EXPECT_EQ(List("Two", 100), std::make_pair(std::string("\0", 1), 0u));
    EXPECT_EQ(List("Nowhere", 100), std::make_pair(std::string("\0", 1), 0u));
    // A list that does not fit is cut and ends with two zeros; the count is size - 2.
    // (The helper shows the count plus one characters.)
    EXPECT_EQ(List(nullptr, 7), std::make_pair(std::string("One\0T\0", 6), 5u));
    EXPECT_EQ(List(nullptr, 6), std::make_pair(std::string("One\0\0", 5), 4u));
    // The first name and its zero take all but the last character: the next name gets no room.
    EXPECT_EQ(List(nullptr, 5), std::make_pair(std::string("One\0", 4), 3u));
    EXPECT_EQ(List("ONE", 3), std::make_pair(std::string("b\0", 2), 1u));
    EXPECT_EQ(List(nullptr, 2), std::make_pair(std::string("\0", 1), 0u));

    fs::remove(hostFile);
    EXPECT_EQ(List(nullptr, 100).second, 0u);
}

TEST_F(ProfileTest, WritesChangeOnlyTheirOwnLines) {
    struct Row {
        const char* what;
        std::string before;
        const char* section;
        const char* key;    // null: remove the section
        const char* value;  // null: remove the key
        std::string after;
    };
    const Row rows[] = {
        {"lines the reader does not understand stay",
         "; comment\n// another program's comment\n[Directories]\nQVTEMP=old\nREM no equals sign\n",
         "Directories", "QVTEMP", "new",
         "; comment\n// another program's comment\n[Directories]\nQVTEMP=new\nREM no equals "
         "sign\n"},
        {"a new key goes after the section's last entry or unknown line",
         "[Directories]\nHELP=h\nnot understood\n\n; about Other\n[Other]\nx=1\n", "directories",
         "QVTEMP", "q",
         "[Directories]\nHELP=h\nnot understood\nQVTEMP=q\n\n; about Other\n[Other]\nx=1\n"},
        {"a new key in a section without entries", "[A]\n; note\n[B]\n", "A", "k", "1",
         "[A]\nk=1\n; note\n[B]\n"},
        {"a new section after a file with an unclosed header", "[Directories\ntext", "Directories",
         "QVTEMP", "x", "[Directories\ntext\n\n[Directories]\nQVTEMP=x\n"},
        {"a header without ']' ends the section above: what follows it is read elsewhere",
         "[A]\r\nk=1\r\n[open\r\n\r\n[B]\r\nx=1\r\n", "A", "n", "2",
         "[A]\r\nk=1\r\nn=2\r\n[open\r\n\r\n[B]\r\nx=1\r\n"},
        {"a new section after a blank line", "[A]\nk=1\n\n", "B", "n", "2",
         "[A]\nk=1\n\n[B]\nn=2\n"},
        {"the file's line breaks", "[A]\r\nk=1\r\n", "B", "n", "2",
         "[A]\r\nk=1\r\n\r\n[B]\r\nn=2\r\n"},
        {"a lone carriage return breaks a line", "[A]\rk=1\r", "A", "k", "2", "[A]\rk=2\r"},
        {"the last line without a line break", "[A]\nk=1", "A", "n", "2", "[A]\nk=1\nn=2\n"},
        {"spacing, indent and spelling of the entry", "[A]\n  Key = 1 ; note\n", "a", "KEY", "2",
         "[A]\n  Key = 2\n"},
        {"an indented header with blanks in the brackets", "  [ A ] trailing\nk=1\n", "a", "k", "2",
         "  [ A ] trailing\nk=2\n"},
        {"a section in two blocks is one section", "[A]\nk=1\n[B]\nb=1\n[a]\nk=2\nm=3\n", "A", "K",
         "9", "[A]\nk=9\n[B]\nb=1\n[a]\nm=3\n"},
        {"an entry inside a comment is no entry", "[A]\n;k=1\n", "A", "k", "2", "[A]\nk=2\n;k=1\n"},
        {"the UTF-8 signature stays", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2",
         "\xEF\xBB\xBF[A]\nk=2\n"},
        {"a key given with blanks is the same key", "[A]\nk=1\n", "A", " k\t", "2", "[A]\nk=2\n"},
        {"removing a key keeps the lines around it", "[A]\nodd\nk=1\n; c\nk=2\n", "A", "k", nullptr,
         "[A]\nodd\n; c\n"},
        {"removing a section keeps the comment of the next one",
         "[A]\nk=1\nodd\n; about B\n[B]\nx=1\n[a]\ny=2\n", "a", nullptr, nullptr,
         "; about B\n[B]\nx=1\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteText(row.before);
        ASSERT_TRUE(WritePrivateProfileString(row.section, row.key, row.value, file.c_str()));
        EXPECT_EQ(ReadText(), row.after);
        // The reader sees what was written.
        if (row.key != nullptr) {
            EXPECT_EQ(Get(row.section, row.key, "gone"), row.value ? row.value : "gone");
        }
    }
}

TEST_F(ProfileTest, NamesThatWouldNotReadBackAreRefused) {
    const std::string before = "[A]\nk=1\n";
    for (const char* key : {"", "  ", "[k", ";k", " #k", "k=x"}) {
        SCOPED_TRACE(key);
        WriteText(before);
        EXPECT_FALSE(WritePrivateProfileString("A", key, "v", file.c_str()));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
        EXPECT_EQ(ReadText(), before);
    }
}

TEST_F(ProfileTest, ChangesTheReaderWouldSeeElsewhereAreRefused) {
    // The reader takes a "[" alone on its line with the name on the next line as one header:
    // a key added under that section by line would be read elsewhere.
    struct Row {
        const char* what;
        std::string before;
        const char* key;    // null: remove the section
        const char* value;  // null: remove the key
    };
    const Row rows[] = {
        {"a changed key", "[\na]\nk=1\n[b]\nx=1\n", "k", "2"},
        {"a changed key after an indented name", "x=0\n[\n a ] tail\nk=1\n", "k", "2"},
        {"a removed key", "[\na]\nk=1\n", "k", nullptr},
        {"a removed section", "[\na]\nk=1\n[b]\nx=1\n", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteText(row.before);
        EXPECT_FALSE(WritePrivateProfileString("a", row.key, row.value, file.c_str()));
        EXPECT_EQ(GetLastError(), 13u);
        EXPECT_EQ(ReadText(), row.before);
    }
    // Changes the reader sees as asked go on in such a file.
    WriteText("[\na]\nk=1\n[b]\nx=1\n");
    EXPECT_TRUE(WritePrivateProfileString("b", "x", "2", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileString("a", "n", "3", file.c_str()));
    EXPECT_EQ(Get("b", "x", "gone"), "2");
    EXPECT_EQ(Get("a", "k", "gone"), "1");
    EXPECT_EQ(Get("a", "n", "gone"), "3");
}

TEST_F(ProfileTest, RemovingKeysAndSections) {
    WriteText("[A]\nx=1\ny=2\n[B]\nz=3\n");
    ASSERT_TRUE(WritePrivateProfileString("a", "X", nullptr, file.c_str()));
    EXPECT_EQ(Get("A", "x", "gone"), "gone");
    EXPECT_EQ(ReadText().find("x="), std::string::npos);
    ASSERT_TRUE(WritePrivateProfileString("b", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(Get("B", "z", "gone"), "gone");
    EXPECT_EQ(Get("A", "y"), "2");
    // Removing what is not there changes nothing and is no failure.
    const std::string before = ReadText();
    EXPECT_TRUE(WritePrivateProfileString("A", "none", nullptr, file.c_str()));
    EXPECT_TRUE(WritePrivateProfileString("None", nullptr, nullptr, file.c_str()));
    EXPECT_EQ(ReadText(), before);
}

TEST_F(ProfileTest, BadFilesNeverCrashAndAreNeverDamaged) {
    // Binary garbage: reads give defaults or whatever parses; a write leaves the file alone.
    const std::string garbage("[\xff\x00\x01]\n=\n[[[\n\0\0key=\0", 20);
    WriteText(garbage);
    EXPECT_EQ(Get("A", "k", "def"), "def");
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", file.c_str()));
    EXPECT_EQ(ReadText(), garbage);

    // Lines the reader does not understand stay as they are; the value is still written.
    const std::string odd = "[A]\ngarbage line\nk=1\n[B\nz=2\n";
    WriteText(odd);
    EXPECT_EQ(Get("A", "k"), "1");
    EXPECT_TRUE(WritePrivateProfileString("A", "k", "v", file.c_str()));
    EXPECT_EQ(ReadText(), "[A]\ngarbage line\nk=v\n[B\nz=2\n");
    EXPECT_EQ(Get("A", "k"), "v");

    // A folder where the file should be.
    fs::remove(hostFile);
    fs::create_directory(hostFile);
    EXPECT_EQ(Get("A", "k", "def"), "def");
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", file.c_str()));
    EXPECT_TRUE(fs::is_directory(hostFile));

    // A missing folder is a missing path.
    const std::string inMissing = ToPlatformPath(root) + "\\NOFOLDER\\X.INI";
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", inMissing.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", "R:\\X.INI"));  // unmapped drive
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", nullptr));
    char buffer[8];
    EXPECT_EQ(GetPrivateProfileString("A", "k", "dd", buffer, sizeof buffer, nullptr), 2u);
}

TEST_F(ProfileTest, LineBreaksCannotSmuggleInSectionsOrKeys) {
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v\n[Evil]\nx=1", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A]\n[B", "k", "v", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A", "k=x", "v", file.c_str()));
    EXPECT_FALSE(fs::exists(hostFile));
}

TEST_F(ProfileTest, RewriteKeepsThePermissionsOfTheFile) {
    WriteText("[A]\nk=1\n");
    fs::permissions(hostFile,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "2", file.c_str()));
    EXPECT_EQ(fs::status(hostFile).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.ini"});
}

TEST_F(ProfileTest, LinksPlantedAtTheTemporaryNamesAreNeverFollowed) {
    // The temporary file is named after the process and a count: a link planted under each
    // name the next writes could take is passed over, never written through.
    WriteText("[A]\nk=1\n");
    const fs::path victim = fs::path(hostFile).parent_path() / "victim";
    std::ofstream(victim) << "the user's own";
    for (int n = 0; n < 200; ++n) {
        fs::create_symlink(victim,
                           hostFile + ".~" + std::to_string(::getpid()) + "-" + std::to_string(n));
    }
    const bool written = WritePrivateProfileString("A", "k", "2", file.c_str());
    EXPECT_EQ(ReadText(), written ? "[A]\nk=2\n" : "[A]\nk=1\n");
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's own");
    EXPECT_FALSE(fs::is_symlink(hostFile));
}

}  // namespace
}  // namespace platform
