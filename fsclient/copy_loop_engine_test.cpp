// A copy as the build makes it, through the client and the real component (PositionByKey, then
// ReadNextKey and ReadByKey of the key just delivered, WriteKeyed on the output; or
// ReadByRecordNumber from 0 upward), against the same copy made through the engine alone
// (SeekKey, Get, ReadRecord, Put). The component reads ahead along the key tree in batches;
// the budget is lowered so that a copy crosses it many times. Both outputs must be the same byte
// for byte: the record slots in the same order, the same keys under the same record numbers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "talvo/engine.h"
#include "talvo/talvolib.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kIn = 38;
constexpr int32_t kOut = 39;
constexpr const char* kDir = "TST";
constexpr size_t kRecordSize = 100;
constexpr size_t kInputKeySize = 10;
constexpr size_t kOutputKeySize = 12;
constexpr size_t kDataStart = 8192;  // the data file's header, before the first slot

uint64_t Mix(uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Record i: its input key at bytes 18..27, the output key's parts at 10..17 and 0..3 (both
// unique), 0x00 and 0xFF among the rest, never the deleted mark at byte 6.
Bytes MakeRecord(uint64_t i) {
    Bytes r(kRecordSize);
    for (size_t j = 0; j < kRecordSize; ++j) r[j] = static_cast<uint8_t>(i * 31 + j * 7);
    const uint64_t out = Mix(i + 17);
    const uint64_t in = Mix(i + 0xABCDEF);
    for (int b = 0; b < 8; ++b) r[10 + b] = static_cast<uint8_t>(out >> (8 * b));
    for (int b = 0; b < 8; ++b) r[18 + b] = static_cast<uint8_t>(in >> (8 * b));
    r[26] = static_cast<uint8_t>(i >> 8);
    r[27] = static_cast<uint8_t>(i);
    r[6] = 0x11;
    r[40] = 0x00;
    r[41] = 0xFF;
    return r;
}

// The build's output key: record bytes 10..17, then 0..3.
Bytes OutputKey(const uint8_t* record) {
    Bytes key(kOutputKeySize);
    std::memcpy(key.data(), record + 10, 8);
    std::memcpy(key.data() + 8, record, 4);
    return key;
}

std::span<const uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every key of a data file in order, with its record number.
std::map<std::string, uint64_t> KeysOf(const std::string& path) {
    talvo::Engine engine;
    std::shared_ptr<talvo::DataFile> file;
    std::map<std::string, uint64_t> keys;
    if (!engine.Open(path, &file).ok()) return keys;
    std::string key;
    uint64_t number = 0;
    for (talvo::Status s = file->SeekKey({}, false, &key, &number); s.ok();
         s = file->SeekKey(Span(key), true, &key, &number)) {
        keys[key] = number;
    }
    (void)engine.Close(file);
    return keys;
}

class CopyLoopEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-copy-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dataDir = root / "data";
        fs::create_directories(dataDir);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
        setenv("TALVO_CONFIG", (root / "talvo.ini").c_str(), 1);
        budgets = talvo::CurrentBudgets();
        // A few dozen keys a batch read ahead; batches of new keys that spill many times.
        ASSERT_TRUE(talvo::SetBudgets("read-ahead=16K,pending-keys=64K,slot-buffer=16K").ok());
        talvo::RegisterTalvoLib();
        api = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(api->Connect(nullptr, false)) << api->GetErrorText();
        ASSERT_EQ(
            api->FindOrAddDirectoryEntry(kDir, platform::ToPlatformPath(dataDir.string()).c_str()),
            0);
    }

    void TearDown() override {
        if (api) {
            api->CloseChannel(kIn);
            api->CloseChannel(kOut);
        }
        api.reset();
        (void)talvo::SetBudgets(budgets);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    std::string HostPath(const char* name) const { return (dataDir / name).string(); }

    // The input: `count` records put in a scattered order under their input keys, then every
    // ninth one deleted, so that record numbers, key order and deleted slots all differ.
    void MakeInput(uint64_t count) {
        talvo::Engine engine;
        ASSERT_TRUE(
            engine.Create(HostPath("IN"), {talvo::FileType::kKeyed, kRecordSize, kInputKeySize, 0})
                .ok());
        std::shared_ptr<talvo::DataFile> file;
        ASSERT_TRUE(engine.Open(HostPath("IN"), &file).ok());
        for (uint64_t n = 0; n < count; ++n) {
            const Bytes record = MakeRecord((n * 7919) % count);
            ASSERT_TRUE(file->Put({record.data() + 18, kInputKeySize}, record).ok());
        }
        for (uint64_t i = 5; i < count; i += 9) {
            const Bytes record = MakeRecord(i);
            ASSERT_TRUE(file->DeleteKey({record.data() + 18, kInputKeySize}).ok());
        }
        ASSERT_TRUE(engine.Close(file).ok());
    }

    // The copy through the client, as the build runs it; returns the records written.
    uint64_t CopyThroughTheClient(bool keyOrder, const char* output) {
        EXPECT_TRUE(api->OpenFile(kIn, "IN", kDir)) << api->GetErrorText();
        EXPECT_TRUE(api->CreateKeyedFile(output, kDir, kRecordSize, kOutputKeySize));
        EXPECT_TRUE(api->OpenFile(kOut, output, kDir)) << api->GetErrorText();
        Bytes record(kRecordSize);
        uint64_t written = 0;
        const auto write = [&]() {
            const Bytes key = OutputKey(record.data());
            if (api->WriteKeyed(kOut, record.data(), kRecordSize, key.data(), kOutputKeySize)) {
                ++written;
            }
        };
        if (keyOrder) {
            const Bytes from(254, 0);
            api->PositionByKey(kIn, from.data(), 254);
            uint8_t key[255];
            int32_t keyLength = kInputKeySize;
            while (api->ReadNextKey(kIn, key, keyLength)) {
                int32_t length = kRecordSize;
                EXPECT_TRUE(api->ReadByKey(kIn, record.data(), &length, key, kInputKeySize))
                    << api->GetErrorText();
                write();
            }
        } else {
            int32_t length = kRecordSize;
            for (int32_t number = 0; api->ReadByRecordNumber(kIn, record.data(), &length, number);
                 ++number, length = kRecordSize) {
                if (record[6] != talvo::kDeletedMark) write();
            }
        }
        EXPECT_TRUE(api->CloseChannel(kIn));
        EXPECT_TRUE(api->CloseChannel(kOut));
        return written;
    }

    // The same copy through the engine alone.
    uint64_t CopyThroughTheEngine(bool keyOrder, const char* output) {
        talvo::Engine engine;
        std::shared_ptr<talvo::DataFile> in;
        std::shared_ptr<talvo::DataFile> out;
        EXPECT_TRUE(engine.Open(HostPath("IN"), &in).ok());
        EXPECT_TRUE(
            engine
                .Create(HostPath(output), {talvo::FileType::kKeyed, kRecordSize, kOutputKeySize, 0})
                .ok());
        EXPECT_TRUE(engine.Open(HostPath(output), &out).ok());
        std::vector<uint8_t> record;
        uint64_t written = 0;
        const auto write = [&]() {
            const Bytes key = OutputKey(record.data());
            if (out->Put(key, record).ok()) ++written;
        };
        if (keyOrder) {
            std::string key;
            for (talvo::Status s = in->SeekKey({}, false, &key); s.ok();
                 s = in->SeekKey(Span(key), true, &key)) {
                EXPECT_TRUE(in->Get(Span(key), &record).ok());
                write();
            }
        } else {
            for (uint64_t number = 0; in->ReadRecord(number, &record).ok(); ++number) {
                if (record[6] != talvo::kDeletedMark) write();
            }
        }
        EXPECT_TRUE(engine.Close(in).ok());
        EXPECT_TRUE(engine.Close(out).ok());
        return written;
    }

    fs::path root;
    fs::path dataDir;
    std::string budgets;
    std::unique_ptr<CDornApi> api;
};

TEST_F(CopyLoopEngineTest, TheClientsCopyIsTheEnginesByteForByteInBothOrders) {
    constexpr uint64_t kCount = 6000;
    MakeInput(kCount);
    const uint64_t live = kCount - (kCount - 5 + 8) / 9;
    for (bool keyOrder : {true, false}) {
        SCOPED_TRACE(keyOrder ? "key order" : "record order");
        const char* viaClient = keyOrder ? "KEYA" : "RECA";
        const char* viaEngine = keyOrder ? "KEYB" : "RECB";
        EXPECT_EQ(CopyThroughTheClient(keyOrder, viaClient), live);
        EXPECT_EQ(CopyThroughTheEngine(keyOrder, viaEngine), live);
        const std::string a = Contents(dataDir / viaClient);
        const std::string b = Contents(dataDir / viaEngine);
        ASSERT_EQ(a.size(), kDataStart + live * kRecordSize);
        ASSERT_EQ(a.size(), b.size());
        EXPECT_TRUE(a.compare(kDataStart, std::string::npos, b, kDataStart, std::string::npos) == 0)
            << "the record slots differ";
        const std::map<std::string, uint64_t> keys = KeysOf(HostPath(viaClient));
        EXPECT_EQ(keys.size(), live);
        EXPECT_EQ(keys, KeysOf(HostPath(viaEngine)));
    }
}

}  // namespace
