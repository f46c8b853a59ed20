#include "app/input_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class InputPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-inputpath-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* name :
             {"my data/cust", "data/cust", "data/Twin", "data/TWIN", "a b", "a b\"c/cust",
              "back/slash/cust", "back\\slash/cust", "y/cust", "x/cust", "lower"}) {
            fs::create_directories((root / name).parent_path());
            std::ofstream(root / name) << name;
        }
        fs::create_directory_symlink(root / "y" / "z", root / "x" / "link");
        fs::create_directories(root / "y" / "z");
    }
    void TearDown() override { fs::remove_all(root); }

    std::optional<std::string> Problem(const std::string& relative) {
        return CommandLineFileProblem((root / relative).string());
    }

    fs::path root;
};

TEST_F(InputPathTest, PathsTheCommandLineCarriesWhole) {
    for (const char* path :
         {"data/cust", "my data/cust", "LOWER", "data/missing", "no/such/file"}) {
        EXPECT_EQ(Problem(path), std::nullopt) << path;
    }
    EXPECT_EQ(CommandLineFileProblem(""), std::nullopt);  // the start-up's split says so
    EXPECT_EQ(CommandLineFileProblem("Z:\\" + (root / "data/cust").string().substr(1)),
              std::nullopt);
}

TEST_F(InputPathTest, PathsThatWouldReachAnotherFileOrNone) {
    const struct {
        const char* path;
        const char* says;
    } rows[] = {
        {"a b\"c/cust", "holds a double quote, which the command line cannot carry"},
        {"a b\"c/missing", "holds a double quote"},
        {"back\\slash/cust", "holds a backslash, which the command line reads as a folder"},
        {"data/cust ", "ends in white space, which the command line drops"},
        {"data/cust\t", "ends in white space"},
        {"data/Twin", "would be read as \""},
        // The link leads to y/z, whose .. is y: the file named is y/cust, not x/cust.
        {"x/link/../cust", "would be read as \""},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> problem = Problem(row.path);
        ASSERT_TRUE(problem.has_value()) << row.path;
        EXPECT_NE(problem->find(row.says), std::string::npos) << *problem;
        EXPECT_NE(problem->find("the input file \"" + (root / row.path).string() + "\""),
                  std::string::npos)
            << *problem;
    }
    EXPECT_NE(Problem("data/Twin")->find((root / "data/TWIN").string()), std::string::npos);
    EXPECT_NE(CommandLineFileProblem("Z:\\tmp\\a\"b\\cust"), std::nullopt);
}

}  // namespace
