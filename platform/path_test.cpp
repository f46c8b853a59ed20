#include "platform/path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/testing/scoped_env.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

using testing::ScopedEnv;

class PathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/ordelin-path-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::create_directories(root + "/data/cust dir");
        std::ofstream(root + "/data/cust") << "x";
    }
    void TearDown() override { fs::remove_all(root); }

    std::string root;  // host path of the temporary tree
};

TEST_F(PathTest, UpperCaseNamesFindLowerCaseEntries) {
    const std::string platformRoot = ToPlatformPath(root);
    struct Row {
        std::string in;
        std::string out;
    } rows[] = {
        {platformRoot + "\\DATA\\CUST", root + "/data/cust"},
        {platformRoot + "/Data/Cust", root + "/data/cust"},
        {platformRoot + "\\DATA\\CUST DIR\\", root + "/data/cust dir/"},
        {platformRoot + "\\\\DATA\\\\CUST", root + "/data/cust"},
        // Names that do not exist stay as given, and so does everything below them.
        {platformRoot + "\\DATA\\NewDir\\CUST", root + "/data/NewDir/CUST"},
        {platformRoot + "\\DATA\\CUST\\X", root + "/data/cust/X"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ToHostPath(row.in), row.out) << row.in;
    }
}

TEST_F(PathTest, ExactNameWinsOverOtherCase) {
    fs::create_directory(root + "/Abc");
    fs::create_directory(root + "/abc");
    const std::string platformRoot = ToPlatformPath(root);
    EXPECT_EQ(ToHostPath(platformRoot + "\\abc"), root + "/abc");
    EXPECT_EQ(ToHostPath(platformRoot + "\\Abc"), root + "/Abc");
    // Without an exact match the choice is stable: the first name in byte order.
    EXPECT_EQ(ToHostPath(platformRoot + "\\ABC"), root + "/Abc");
}

TEST_F(PathTest, DrivesMapToHostDirectories) {
    ScopedEnv mapped("ORDELIN_DRIVE_Q", root.c_str());
    ScopedEnv unmapped("ORDELIN_DRIVE_R", nullptr);
    ScopedEnv empty("ORDELIN_DRIVE_S", "");
    EXPECT_EQ(ToHostPath("Q:\\DATA\\CUST"), root + "/data/cust");
    EXPECT_EQ(ToHostPath("q:/data"), root + "/data");
    EXPECT_EQ(ToHostPath("Q:\\"), root + "/");
    EXPECT_EQ(ToHostPath("Q:DATA"), root + "/data");
    EXPECT_EQ(ToHostPath("R:\\DATA"), std::nullopt);
    EXPECT_EQ(ToHostPath("S:\\DATA"), std::nullopt);
    EXPECT_EQ(ToHostPath("\\\\server\\share\\x"), std::nullopt);
    EXPECT_EQ(ToHostPath("Z:\\"), "/");
    EXPECT_EQ(ToHostPath("z:"), "/");
    EXPECT_EQ(ToHostPath("\\"), "/");
}

TEST_F(PathTest, RelativePathsStartAtTheCurrentDirectory) {
    const fs::path saved = fs::current_path();
    ASSERT_EQ(chdir(root.c_str()), 0);
    EXPECT_EQ(ToHostPath("DATA\\CUST"), "data/cust");
    EXPECT_EQ(ToHostPath(".\\DATA\\..\\DATA\\CUST"), "./data/../data/cust");
    EXPECT_EQ(ToPlatformPath("data/cust"), ToPlatformPath(root) + "\\data\\cust");
    EXPECT_EQ(ToPlatformPath(""), ToPlatformPath(root));
    fs::current_path(saved);
}

TEST(PathConversion, PlatformFormOfHostPaths) {
    struct Row {
        const char* host;
        const char* platform;
    } rows[] = {
        {"/", "Z:\\"},
        {"/data/cust", "Z:\\data\\cust"},
        {"/data//cust/", "Z:\\data\\cust"},
        {"/a/./b/../c", "Z:\\a\\c"},
        {"/../a", "Z:\\a"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ToPlatformPath(row.host), row.platform) << row.host;
        // Every platform form maps back to a host path of the same place.
        EXPECT_TRUE(ToHostPath(row.platform).has_value());
    }
    EXPECT_EQ(ToHostPath(ToPlatformPath("/usr/lib")), "/usr/lib");
}

TEST(PathConversion, JoinPutsOneBackslashBetween) {
    EXPECT_EQ(JoinPath("Z:\\data", "cust"), "Z:\\data\\cust");
    EXPECT_EQ(JoinPath("Z:\\data\\", "cust"), "Z:\\data\\cust");
    EXPECT_EQ(JoinPath("Z:\\data", "\\cust"), "Z:\\data\\cust");
    EXPECT_EQ(JoinPath("Z:\\", "NAVO.INI"), "Z:\\NAVO.INI");
    EXPECT_EQ(JoinPath("", "cust"), "cust");
}

}  // namespace
}  // namespace platform
