#include "platform/command_line_argv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/path.h"

namespace platform {
namespace {

std::string Assemble(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return AssembleCommandLine(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLineArgvTest, JoinsArgumentsWithTheInputFileInPlatformForm) {
    EXPECT_EQ(Assemble({"ordelin"}), "");
    EXPECT_EQ(AssembleCommandLine(0, nullptr), "");
    EXPECT_EQ(Assemble({"ordelin", "/data/cust", "/DDAT"}), "Z:\\data\\cust /DDAT");
    EXPECT_EQ(Assemble({"ordelin", "/data/cust", "/DDAT", "/NET:srv"}),
              "Z:\\data\\cust /DDAT /NET:srv");
    // A file already named with a drive stays as given.
    EXPECT_EQ(Assemble({"ordelin", "C:\\DATA\\CUST", "/DABC"}), "C:\\DATA\\CUST /DABC");
}

TEST(CommandLineArgvTest, AnInputFileWithADriveGetsBackslashes) {
    EXPECT_EQ(Assemble({"ordelin", "z:/data/cust", "/DABC"}), "z:\\data\\cust /DABC");
    EXPECT_EQ(Assemble({"ordelin", "C:/DATA\\x/CUST", "/DABC"}), "C:\\DATA\\x\\CUST /DABC");
    EXPECT_EQ(Assemble({"ordelin", "z:/my data/cust", "/DAB"}), "\"z:\\my data\\cust\" /DAB");
    // Only the input file is a path: a later argument keeps its slashes.
    EXPECT_EQ(Assemble({"ordelin", "z:/data/cust", "/DABC", "/NET:a/b"}),
              "z:\\data\\cust /DABC /NET:a/b");
}

TEST(CommandLineArgvTest, QuotesArgumentsThatHoldSpaces) {
    EXPECT_EQ(Assemble({"ordelin", "/my data/cust", "/DAB"}), "\"Z:\\my data\\cust\" /DAB");
    EXPECT_EQ(Assemble({"ordelin", "/data/cust", "/DAB", "one two"}),
              "Z:\\data\\cust /DAB \"one two\"");
}

TEST(CommandLineArgvTest, AnOptionQuotesOnlyItsValue) {
    struct Row {
        const char* argument;
        const char* assembled;
    };
    const Row rows[] = {
        {"/Dmy dir", "/D\"my dir\""},
        {"/dmy dir", "/d\"my dir\""},
        {"/D my", "/D\" my\""},
        {"/Dmy\tdir", "/D\"my\tdir\""},
        {"/NET:my srv", "/NET:\"my srv\""},
        {"/net=my srv", "/net=\"my srv\""},
        {"/NET:srv", "/NET:srv"},
        // Already quoted by the user: kept as given.
        {"/D\"my dir\"", "/D\"my dir\""},
        {"/NET:'my srv'", "/NET:'my srv'"},
        // Not an option the system reads: quoted whole.
        {"/NETWORK my", "\"/NETWORK my\""},
        {"/X a b", "\"/X a b\""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Assemble({"ordelin", "/data/cust", row.argument}),
                  std::string("Z:\\data\\cust ") + row.assembled)
            << row.argument;
    }
}

TEST(CommandLineArgvTest, MakesARelativeInputFileAbsolute) {
    const std::string line = Assemble({"ordelin", "cust", "/DABC"});
    EXPECT_EQ(line, ToPlatformPath(std::filesystem::current_path().string() + "/cust") + " /DABC");
    EXPECT_EQ(line.rfind("Z:\\", 0), 0u) << line;
}

}  // namespace
}  // namespace platform
