// The check of a start chosen in a window, on real files in a temporary folder: what it refuses
// and why, and that what it takes splits into the chosen file and name and is registered by the
// real component, which refuses exactly the names the check refuses.
#include "app/start_choice.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"

namespace {

namespace fs = std::filesystem;
using Field = StartChoiceVerdict::Field;

class StartChoiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-choice-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* file : {"data/cust", "my data/cust", "case/cust", "case/CUST",
                                 "trail/cust ", "quote dir/a\"b", "quote/a\"b"}) {
            fs::create_directories((root / file).parent_path());
            std::ofstream(root / file) << "x";
        }
        setenv("TALVO_CONFIG", (root / "talvo.ini").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    std::string Path(const char* relative) const { return (root / relative).string(); }

    platform::testing::ScopedEnv talvoConfig{"TALVO_CONFIG"};
    fs::path root;
};

TEST_F(StartChoiceTest, RefusesTheAnswerAtFaultAndSaysWhy) {
    struct Row {
        std::string file;
        std::string name;
        Field field;
        std::string problem;  // held by the verdict's text
    };
    const std::string cust = Path("data/cust");
    const Row rows[] = {
        // The file first, whatever the name.
        {"", "", Field::File, "Choose the input data file."},
        {"  ", "DAT", Field::File, "Choose the input data file."},
        {Path("data/none"), "DAT", Field::File, "There is no file \"" + Path("data/none") + "\""},
        {Path("nowhere/cust"), "DAT", Field::File, "There is no file"},
        {Path("data"), "DAT", Field::File, "is a folder: choose a data file in it."},
        {"/dev/null", "DAT", Field::File, "\"/dev/null\" is not a data file."},
        // The utility reads names in upper case: "cust" beside "CUST" would open the other one.
        {Path("case/cust"), "DAT", Field::File,
         "would open \"" + Path("case/CUST") + "\" instead of \"" + Path("case/cust") + "\""},
        // Names that the command line cannot carry whole.
        {Path("trail/cust "), "DAT", Field::File, "cannot be passed to the utility whole"},
        {Path("quote dir/a\"b"), "DAT", Field::File, "cannot be passed to the utility whole"},
        // Then the directory name.
        {cust, "", Field::DirectoryName, "Type a directory name of 1 to 3 characters"},
        {cust, " \t", Field::DirectoryName, "Type a directory name of 1 to 3 characters"},
        {cust, "ABCD", Field::DirectoryName, "\"ABCD\" is longer than 3 characters."},
        {cust, "\xC3\x84\xC3\x96", Field::DirectoryName,
         "is longer than 3 characters (a letter beyond plain ASCII counts as two or more)."},
        {cust, "A B", Field::DirectoryName,
         "\"A B\" holds a space, a control character or one of = [ ] ;."},
        {cust, "A\tB", Field::DirectoryName, "holds a space"},
        {cust, "A=B", Field::DirectoryName, "holds a space"},
        {cust, "[", Field::DirectoryName, "holds a space"},
        {cust, "]", Field::DirectoryName, "holds a space"},
        {cust, "X;", Field::DirectoryName, "holds a space"},
        {cust, "\x7F", Field::DirectoryName, "holds a space"},
        {cust, "\"AB", Field::DirectoryName, "may not begin with a quote"},
        {cust, "\"A\"", Field::DirectoryName, "may not begin with a quote"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("file [" + row.file + "] name [" + row.name + "]");
        const StartChoiceVerdict verdict = CheckStartChoice({row.file, row.name});
        EXPECT_FALSE(verdict.Good());
        EXPECT_EQ(verdict.field, row.field);
        EXPECT_NE(verdict.problem.find(row.problem), std::string::npos) << verdict.problem;
        EXPECT_EQ(verdict.commandLine, "");
    }
}

TEST_F(StartChoiceTest, AGoodChoiceSplitsIntoTheChosenFileAndName) {
    struct Row {
        std::string file;
        std::string name;
        std::string directoryName;  // as the split gives it
    };
    const Row rows[] = {
        {Path("data/cust"), "DAT", "DAT"},
        {Path("data/cust"), "dat", "DAT"},
        {Path("data/cust"), "  ab ", "AB"},
        {Path("my data/cust"), "X", "X"},          // a folder with a space arrives whole
        {Path("case/CUST"), "C", "C"},             // the upper-case one of the two is reached
        {Path("quote/a\"b"), "Q", "Q"},            // a quote without a space is carried whole
        {"Z:" + Path("data/cust"), "DAT", "DAT"},  // a platform path with its drive
        {Path("data/cust"), "A\"", "A\""},
        {Path("data/cust"), "A/B", "A/B"},
        {Path("data/cust"),
         "\xC3\xA4"
         "b",
         "\xC3\xA4"
         "B"},  // three bytes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("file [" + row.file + "] name [" + row.name + "]");
        const StartChoiceVerdict verdict = CheckStartChoice({row.file, row.name});
        ASSERT_TRUE(verdict.Good()) << verdict.problem;
        EXPECT_EQ(verdict.problem, "");
        std::string directory, file, folder;
        ASSERT_TRUE(
            CDornApi::SplitCommandLine(verdict.commandLine.c_str(), &directory, &file, &folder))
            << verdict.commandLine;
        EXPECT_EQ(directory, row.directoryName);
        const std::optional<std::string> reached =
            platform::ToHostPath(platform::JoinPath(folder, file));
        ASSERT_TRUE(reached.has_value());
        const std::string chosen = row.file.rfind("Z:", 0) == 0 ? row.file.substr(2) : row.file;
        EXPECT_TRUE(fs::equivalent(*reached, chosen)) << *reached;
    }
}

// The names are checked here so that the window can ask again; the component has the last word,
// and the two must agree.
TEST_F(StartChoiceTest, TheComponentRegistersExactlyTheNamesTheCheckTakes) {
    talvo::RegisterTalvoLib();
    fstest::ScopedMessageBoxRecorder boxes;
    const std::string cust = Path("data/cust");
    int taken = 0;
    for (const char* name :
         {"DAT", "ab", "Z", "A/B", "A\"",
          "\xC3\xA4"
          "b",
          "ABCD", "A B", "A=B", "[", "]", "X;", "\x01", "\x7F", "\xC3\x84\xC3\x96"}) {
        SCOPED_TRACE(name);
        const StartChoiceVerdict verdict = CheckStartChoice({cust, name});
        // The component is given the name as the split hands it over: in upper case.
        std::string upper = name;
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        CDornApi client("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client.Connect(nullptr, false)) << client.GetErrorText();
        const bool registered =
            client.FindOrAddDirectoryEntry(upper.c_str(), Path("data").c_str()) >= 0;
        EXPECT_EQ(verdict.Good(), registered) << verdict.problem << " / " << client.GetErrorText();
        taken += registered ? 1 : 0;
        client.Disconnect();
    }
    EXPECT_EQ(taken, 6);
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST(SuggestedDirectoryName, TakesUpToThreeLettersOrDigitsOfTheFoldersName) {
    struct Row {
        const char* file;
        const char* suggestion;
    };
    const Row rows[] = {
        {"/data/my cust/CUST", "MYC"},
        {"/data/x/cust", "X"},
        {"/srv/ab1xyz/cust", "AB1"},
        {"Z:\\DATA\\Cust9\\F", "CUS"},
        {"/data//dir-2//cust", "DIR"},
        {"/data/\xC3\x84"
         "bc/cust",
         "BC"},
        {"/data/__/cust", "DAT"},
        {"/cust", "DAT"},
        {"cust", "DAT"},
        {"", "DAT"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SuggestedDirectoryName(row.file), row.suggestion) << row.file;
    }
}

}  // namespace
