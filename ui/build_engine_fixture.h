// The fixture of the build's tests on real files: a temporary folder with the data directories
// DAT (inputs), OUT (outputs) and BAD (a folder that does not exist) in the component's table, a
// settings file whose QVTEMP is the folder temp/, a fixed clock and time zone (list file
// OL029101.htm, dated 01/03/2026 09:05), a recording shell, the real engine behind a connected
// client, and the dialog on a headless host.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/local_time.h"
#include "platform/path.h"
#include "platform/shell.h"
#include "platform/testing/scoped_env.h"
#include "talvo/engine.h"
#include "talvo/talvolib.h"
#include "ui/headless/headless_host.h"
#include "ui/ordelin_dlg.h"

namespace builder::testing {

namespace fs = std::filesystem;

// 2026-01-03 09:05:00 UTC; srand with it makes rand() give 29101 first.
constexpr int64_t kNow = 1767431100;
constexpr char kListFile[] = "OL029101.htm";

struct ShellRecorder : platform::ShellOpenSink {
    std::vector<std::string> opened;
    bool Open(const std::string& path, int /*showCommand*/) override {
        opened.push_back(path);
        return true;
    }
};

// An input record: its bytes, and (types 4 and 36) its key and whether it is deleted.
struct InputRecord {
    std::string bytes;
    std::string key;
    bool deleted = false;
};

class EngineBuildTest : public ::testing::Test {
  protected:
    using D = COrdelinDlg;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-build-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        for (const char* dir : {"data", "out", "temp", "home", "windir", "app"}) {
            fs::create_directories(root / dir);
        }
        std::ofstream(root / "talvo.ini")
            << "[Directories]\nDAT=" << platform::ToPlatformPath((root / "data").string())
            << "\nOUT=" << platform::ToPlatformPath((root / "out").string())
            << "\nBAD=" << platform::ToPlatformPath((root / "missing").string()) << "\n";
        setenv("TALVO_CONFIG", (root / "talvo.ini").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "home").c_str(), 1);
        setenv("ORDELIN_WINDIR", (root / "windir").c_str(), 1);
        setenv("ORDELIN_PROGRAM_PATH", (root / "app" / "ordelin").c_str(), 1);
        setenv("TZ", "UTC0", 1);
        tzset();
        CDornApi::ResetSettingsPathCacheForTesting();
        CDornApi::SetSetting("Directories", "QVTEMP",
                             platform::ToPlatformPath((root / "temp").string()).c_str());
        formerClock = platform::SetClock([] { return kNow; });
        shell = std::make_shared<ShellRecorder>();
        formerShell = platform::SetShellOpenSink(shell);

        talvo::RegisterTalvoLib();
        client = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client->Connect(nullptr, false));
    }

    void TearDown() override {
        host.reset();
        dialog.reset();
        client.reset();
        platform::SetShellOpenSink(formerShell);
        platform::SetClock(std::move(formerClock));
        CDornApi::ResetSettingsPathCacheForTesting();
        fs::remove_all(root);
        tzset();
    }

    fs::path Data(const std::string& name) const { return root / "data" / name; }
    fs::path Out(const std::string& name) const { return root / "out" / name; }

    // Makes DAT\<name> through the engine.
    void MakeInput(talvo::FileType type, uint32_t recordSize, uint32_t keySize,
                   uint32_t keyPosition, const std::vector<InputRecord>& records,
                   const std::vector<talvo::SubKeyDef>& subKeys = {},
                   const std::string& name = "cust") {
        talvo::Engine engine;
        const std::string path = Data(name).string();
        ASSERT_TRUE(engine.Create(path, {type, recordSize, keySize, keyPosition}).ok());
        std::shared_ptr<talvo::DataFile> file;
        ASSERT_TRUE(engine.Open(path, &file).ok());
        const bool keyed = keySize != 0;
        for (const InputRecord& r : records) {
            const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(r.bytes.data()),
                                                 r.bytes.size());
            const std::span<const uint8_t> key(reinterpret_cast<const uint8_t*>(r.key.data()),
                                               r.key.size());
            const talvo::Status put =
                keyed ? file->Put(key, bytes) : file->AppendRecord(bytes, nullptr);
            ASSERT_TRUE(put.ok()) << put.message();
            if (r.deleted) {
                ASSERT_TRUE(file->DeleteKey(key).ok());
            }
        }
        for (const talvo::SubKeyDef& def : subKeys) ASSERT_TRUE(file->AddSubKey(def).ok());
        ASSERT_TRUE(engine.Close(file).ok());
    }

    // Opens the dialog on DAT\<name> (handed over in lower case, as start-up does).
    bool OpenDialog(const std::string& name = "cust") {
        host.reset();
        dialog = std::make_unique<COrdelinDlg>();
        host = std::make_unique<headless::HeadlessHost>();
        dialog->SetInputFile(*client, name, "dat");
        return host->Open(*dialog);
    }

    // Types into an edit and leaves it for the read-only input file edit.
    void Enter(int id, const std::string& text) {
        ASSERT_TRUE(host->Type(id, text)) << "control " << id;
        host->MoveFocus(D::kInputFile);
    }

    // Describes the output as a user would: name, record size (unless -1), key size and fields;
    // a key position (unless -1) then makes it extended keyed, the fields collapsing into one
    // at the position. Chooses the directory last.
    void Describe(const std::string& name, int recordSize,
                  const std::vector<std::pair<int, int>>& fields, int keyPosition = -1,
                  const std::string& directory = "OUT") {
        Enter(D::kOutputFile, name);
        if (recordSize >= 0) Enter(D::kOutputRecordSize, std::to_string(recordSize));
        while (!host->Items(D::kKeyFieldList).empty()) {
            ASSERT_TRUE(host->SelectListItem(D::kKeyFieldList, 0));
            ASSERT_TRUE(host->Click(D::kRemoveKeyField));
        }
        if (keyPosition < 0) Enter(D::kOutputKeyPosition, "");
        int keySize = 0;
        for (const auto& field : fields) keySize += field.second;
        Enter(D::kOutputKeySize, std::to_string(keySize));
        for (const auto& [position, length] : fields) {
            Enter(D::kFieldPosition, std::to_string(position));
            Enter(D::kFieldLength, std::to_string(length));
            ASSERT_TRUE(host->Click(D::kAddKeyField));
        }
        if (keyPosition >= 0) Enter(D::kOutputKeyPosition, std::to_string(keyPosition));
        ASSERT_TRUE(host->ChooseComboItem(D::kOutputDirectory, directory));
        ASSERT_TRUE(host->Enabled(D::kBuildFile)) << "the key is not complete";
    }

    // Clicks Build File; returns the boxes it showed.
    std::vector<platform::ShownMessageBox> Build() {
        host->TakeMessageBoxes();
        EXPECT_TRUE(host->Click(D::kBuildFile));
        return host->TakeMessageBoxes();
    }

    // The output's live records read back through the engine, in key order: key -> record.
    std::vector<std::pair<std::string, std::string>> ReadBack(const std::string& name) {
        std::vector<std::pair<std::string, std::string>> found;
        talvo::Engine engine;
        std::shared_ptr<talvo::DataFile> file;
        const talvo::Status opened = engine.Open(Out(name).string(), &file);
        EXPECT_TRUE(opened.ok()) << opened.message();
        if (!opened.ok()) return found;
        std::string key;
        bool after = false;
        std::vector<uint8_t> record;
        while (file->SeekKey(std::span(reinterpret_cast<const uint8_t*>(key.data()), key.size()),
                             after, &key)
                   .ok()) {
            after = true;
            EXPECT_TRUE(
                file->Get(std::span(reinterpret_cast<const uint8_t*>(key.data()), key.size()),
                          &record)
                    .ok());
            found.emplace_back(key, std::string(record.begin(), record.end()));
        }
        engine.Close(file);
        return found;
    }

    talvo::FileInfo OutputInfo(const std::string& name) {
        talvo::Engine engine;
        std::shared_ptr<talvo::DataFile> file;
        EXPECT_TRUE(engine.Open(Out(name).string(), &file).ok());
        if (!file) return {};
        talvo::FileInfo info = file->Info();
        engine.Close(file);
        return info;
    }

    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Every regular file below a folder with its bytes (LMDB's lock file aside, whose reader
    // table any reader may touch).
    std::map<std::string, std::string> Snapshot(const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().lexically_relative(folder).string();
            if (entry.is_regular_file() && name.find("lock") == std::string::npos) {
                files[name] = ReadFile(entry.path());
            }
        }
        return files;
    }

    std::string ListFileText() { return ReadFile(root / "temp" / kListFile); }

    platform::testing::ScopedEnv savedConfig{"TALVO_CONFIG"};
    platform::testing::ScopedEnv savedDataHome{"XDG_DATA_HOME"};
    platform::testing::ScopedEnv savedWindir{"ORDELIN_WINDIR"};
    platform::testing::ScopedEnv savedProgram{"ORDELIN_PROGRAM_PATH"};
    platform::testing::ScopedEnv savedZone{"TZ"};
    fs::path root;
    platform::Clock formerClock;
    std::shared_ptr<ShellRecorder> shell;
    std::shared_ptr<platform::ShellOpenSink> formerShell;
    std::unique_ptr<CDornApi> client;
    std::unique_ptr<COrdelinDlg> dialog;
    std::unique_ptr<headless::HeadlessHost> host;
};

}  // namespace builder::testing
