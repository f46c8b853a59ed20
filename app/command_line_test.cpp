// CDornApi::SplitCommandLine: the file specification and the "/D" directory name.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "fsclient/dornapi.h"

namespace {

struct SplitCase {
    const char* commandLine;
    bool ok;
    const char* folderPath;
    const char* fileName;
    const char* directoryName;
};

// Test names show the command line rather than the bytes of the case.
void PrintTo(const SplitCase& c, std::ostream* os) { *os << '[' << c.commandLine << ']'; }

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, Splits) {
    const SplitCase& c = GetParam();
    std::string directory = "untouched", file = "untouched", folder = "untouched";
    EXPECT_EQ(CDornApi::SplitCommandLine(c.commandLine, &directory, &file, &folder), c.ok);
    if (c.folderPath) {
        EXPECT_EQ(folder, c.folderPath);
    }
    if (c.fileName) {
        EXPECT_EQ(file, c.fileName);
    }
    if (c.directoryName) {
        EXPECT_EQ(directory, c.directoryName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitCommandLineTest,
    testing::Values(
        SplitCase{R"(C:\DATA\CUST /DABC)", true, R"(C:\DATA)", "CUST", "ABC"},
        SplitCase{R"(z:\data\cust /dabc /NET:srv)", true, R"(Z:\DATA)", "CUST", "ABC"},
        SplitCase{R"("c:\my data\cust" /D"ab")", true, R"(C:\MY DATA)", "CUST", "AB"},
        SplitCase{R"(" C:\MY DATA\CUST " /D" AB ")", true, R"(C:\MY DATA)", "CUST", "AB"},
        SplitCase{R"(Z:\CUST /DABC)", true, "Z:", "CUST", "ABC"},
        // The value after "/D" begins with a space: empty.
        SplitCase{R"(C:\DATA\CUST /D ABC)", false, R"(C:\DATA)", "CUST", ""},
        SplitCase{R"(C:\DATA\CUST /D)", false, R"(C:\DATA)", "CUST", ""},
        SplitCase{"CUST /DABC", false, "untouched", "untouched", "untouched"},
        SplitCase{R"(C:\DATA\ /DABC)", false, R"(C:\DATA)", "", "untouched"},
        SplitCase{R"( C:\DATA\CUST /DABC)", false, "untouched", "untouched", "untouched"},
        SplitCase{"", false, "untouched", "untouched", "untouched"},
        SplitCase{R"("C:\DATA\CUST /DABC)", false, "untouched", "untouched", "untouched"},
        SplitCase{R"(C:\DATA\CUST /D"ABC)", false, R"(C:\DATA)", "CUST", nullptr},
        SplitCase{R"(C:\DATA\CUST)", false, R"(C:\DATA)", "CUST", nullptr},  // no "/D"
        // The first "/D" anywhere counts, also one inside the file specification.
        SplitCase{R"(C:\X/DIR\CUST /DABC)", true, R"(C:\X/DIR)", "CUST", R"(IR\CUST)"},
        // Without a space the whole line is the file specification, untrimmed.
        SplitCase{R"(C:\DATA\CUST/DABC)", true, R"(C:\DATA)", "CUST/DABC", "ABC"}));

TEST(SplitCommandLine, NullOutputsAreSkipped) {
    std::string file;
    EXPECT_TRUE(CDornApi::SplitCommandLine(R"(C:\DATA\CUST)", nullptr, &file, nullptr));
    EXPECT_EQ(file, "CUST");
    EXPECT_TRUE(CDornApi::SplitCommandLine(R"(C:\DATA\CUST /DX)", nullptr, nullptr, nullptr));
    EXPECT_FALSE(CDornApi::SplitCommandLine(nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
