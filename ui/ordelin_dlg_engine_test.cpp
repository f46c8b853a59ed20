// The main dialog on real data files of the engine, in a temporary folder: opened on a keyed and
// an extended keyed file, a key defined, Build File reached with the state a build reads.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

namespace {

namespace fs = std::filesystem;
using D = COrdelinDlg;

using SavedEnv = platform::testing::ScopedEnv;

class EngineDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-dialog-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directories(root / "data");
        const fs::path config = root / "talvo.ini";
        std::ofstream(config) << "[Directories]\nDAT=" +
                                     platform::ToPlatformPath((root / "data").string()) + "\n";
        setenv("TALVO_CONFIG", config.c_str(), 1);
        setenv("XDG_DATA_HOME", root.c_str(), 1);
        talvo::RegisterTalvoLib();
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
    }

    void TearDown() override {
        host.reset();
        dialog.reset();
        client.reset();
        fs::remove_all(root);
    }

    bool OpenDialog() {
        dialog = std::make_unique<COrdelinDlg>();
        host = std::make_unique<headless::HeadlessHost>();
        dialog->SetInputFile(*client, "cust", "dat");
        return host->Open(*dialog);
    }

    void Enter(int id, const std::string& text) {
        ASSERT_TRUE(host->Type(id, text));
        host->MoveFocus(D::kInputFile);
    }

    SavedEnv savedConfig{"TALVO_CONFIG"};
    SavedEnv savedDataHome{"XDG_DATA_HOME"};
    fs::path root;
    std::unique_ptr<CDornApi> client;
    std::unique_ptr<COrdelinDlg> dialog;
    std::unique_ptr<headless::HeadlessHost> host;
};

TEST_F(EngineDialogTest, KeyedFileToAnExtendedOutputWithTwoFields) {
    ASSERT_TRUE(client->CreateKeyedFile("CUST", "DAT", 120, 12));
    ASSERT_TRUE(OpenDialog());
    EXPECT_TRUE(host->MessageBoxes().empty());
    EXPECT_EQ(host->Text(D::kInputRecordSize), "120");
    EXPECT_EQ(host->Text(D::kInputKeySize), "12");
    EXPECT_EQ(dialog->inputDescriptor.fileType, 4);

    Enter(D::kOutputFile, "CUSTX");
    Enter(D::kFieldPosition, "20");
    Enter(D::kFieldLength, "8");
    ASSERT_TRUE(host->Click(D::kAddKeyField));
    Enter(D::kFieldPosition, "28");
    Enter(D::kFieldLength, "4");
    ASSERT_TRUE(host->Click(D::kAddKeyField));
    Enter(D::kOutputKeyPosition, "0");
    ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, "DAT"));

    EXPECT_TRUE(host->MessageBoxes().empty());
    EXPECT_TRUE(host->Enabled(D::kBuildFile));
    EXPECT_EQ(host->Focus(), D::kBuildFile);
    EXPECT_EQ(dialog->outputFileName, "CUSTX");
    EXPECT_EQ(dialog->outputDirectory, "DAT");
    EXPECT_EQ(dialog->outputRecordSize, 120u);
    EXPECT_EQ(dialog->outputKeySize, 12u);
    EXPECT_TRUE(dialog->extendedOutput);
    EXPECT_EQ(dialog->outputKeyPosition, 0u);
    EXPECT_EQ(host->Items(D::kKeyFieldList), std::vector<std::string>{"0\t12"});
}

TEST_F(EngineDialogTest, ExtendedKeyedFileOpensWithItsKey) {
    ASSERT_TRUE(client->CreateExtendedKeyedFile("CUST", "DAT", 64, 6, 10));
    ASSERT_TRUE(OpenDialog());
    EXPECT_TRUE(host->MessageBoxes().empty());
    EXPECT_EQ(host->Items(D::kKeyFieldList), std::vector<std::string>{"10\t6"});
    EXPECT_EQ(host->Text(D::kInputKeyPosition), "10");
    EXPECT_EQ(dialog->inputKeyPosition, 10);
    EXPECT_EQ(dialog->keyBytesDefined, 6);
}

TEST_F(EngineDialogTest, MissingFileIsNotAValidDataFile) {
    EXPECT_FALSE(OpenDialog());
    ASSERT_EQ(host->MessageBoxes().size(), 1u);
    EXPECT_EQ(host->MessageBoxes()[0].text, "CUST on DAT is not a valid data file");
    EXPECT_EQ(host->Close(), platform::kIdCancel);
}

}  // namespace
