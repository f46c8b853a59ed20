// From the host's argument vector to what the user reads, with the real component: the command
// line that main() assembles is split and connected as at start-up, and a name the component
// cannot take reaches the user with the component's own reason.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fsclient/dornapi.h"
#include "fsclient/testing/scripted_component.h"
#include "platform/command_line_argv.h"
#include "platform/message_box.h"
#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"

namespace {

namespace fs = std::filesystem;
using platform::testing::ScopedEnv;

class CommandLineEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-cmdline-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "my data");
        setenv("TALVO_CONFIG", (root / "talvo.ini").c_str(), 1);
        talvo::RegisterTalvoLib();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // The command line main() makes of these arguments (the program's name comes first).
    static std::string Assemble(std::vector<std::string> args) {
        args.insert(args.begin(), "ordelin");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        return platform::AssembleCommandLine(static_cast<int>(args.size()), argv.data());
    }

    ScopedEnv talvoConfig{"TALVO_CONFIG"};
    fstest::ScopedMessageBoxRecorder boxes;
    fs::path root;
};

TEST_F(CommandLineEngineTest, NamesWithSpacesArriveWholeAndTheComponentSaysWhyItRefusesThem) {
    const std::string input = (root / "my data" / "cust").string();
    const std::string line = Assemble({input, "/Dmy dir"});
    std::string directory, file, folder;
    ASSERT_TRUE(CDornApi::SplitCommandLine(line.c_str(), &directory, &file, &folder)) << line;
    EXPECT_EQ(directory, "MY DIR");
    EXPECT_EQ(file, "CUST");

    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    ASSERT_TRUE(client.ConnectFromCommandLine(line.c_str())) << client.GetErrorText();
    EXPECT_LT(client.FindOrAddDirectoryEntry(directory.c_str(), folder.c_str()), 0);
    EXPECT_EQ(client.GetErrorText(),
              "invalid argument: directory name \"MY DIR\" is longer than 3 characters");
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(CommandLineEngineTest, AFileWithADriveAndSlashesIsSplitAndRegistered) {
    const std::string input = "z:" + (root / "my data" / "cust").string();
    const std::string line = Assemble({input, "/DDAT"});
    std::string directory, file, folder;
    ASSERT_TRUE(CDornApi::SplitCommandLine(line.c_str(), &directory, &file, &folder)) << line;
    EXPECT_EQ(directory, "DAT");
    EXPECT_EQ(file, "CUST");

    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    ASSERT_TRUE(client.ConnectFromCommandLine(line.c_str())) << client.GetErrorText();
    const int32_t entry = client.FindOrAddDirectoryEntry(directory.c_str(), folder.c_str());
    ASSERT_GE(entry, 0) << client.GetErrorText();
    DirectoryEntry registered{};
    ASSERT_TRUE(client.GetDirectoryEntry(entry, registered));
    // The folder, upper-cased by the split, still names the folder on this host.
    EXPECT_EQ(platform::ToHostPath(registered.path), (root / "my data").string());
}

TEST_F(CommandLineEngineTest, ANetworkNameIsRefusedWithTheComponentsReason) {
    struct Row {
        const char* option;
        const char* shown;  // the network name as the box quotes it
    };
    const Row rows[] = {
        {"/NET:srv1", "\"SRV1\""},
        {"/NET=my srv", "\"MY SRV\""},
    };
    const std::string input = (root / "my data" / "cust").string();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.option);
        const std::string line = Assemble({input, "/DDAT", row.option});
        CDornApi client("Ordelin Utility", 100, 51, 0, false);
        EXPECT_FALSE(client.ConnectFromCommandLine(line.c_str()));
        const std::vector<platform::ShownMessageBox> shown = std::exchange(boxes.sink().boxes, {});
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text,
                  std::string("not supported: this TalvoLib serves local files only and cannot "
                              "connect to the network name ") +
                      row.shown);
        EXPECT_EQ(shown[0].flags, platform::MB_OK | platform::MB_TOPMOST);
        EXPECT_FALSE(client.IsConnected());
    }
    // Without a network name the same command line connects.
    CDornApi client("Ordelin Utility", 100, 51, 0, false);
    EXPECT_TRUE(client.ConnectFromCommandLine(Assemble({input, "/DDAT"}).c_str()));
    EXPECT_TRUE(boxes.boxes().empty());
}

}  // namespace
