// The channel, directory-table and descriptor operations against the real component, on real
// files in a temporary folder: byte-exact round trips of keys and records, key order, erase,
// sub-key copies, the directory table's last entry and the data file's length via its handle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/path.h"
#include "talvo/talvolib.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kIn = 38;
constexpr int32_t kOut = 39;
constexpr const char* kDir = "TST";

class ChannelsEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-chan-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dataDir = root / "data";
        fs::create_directories(dataDir);
        setenv("HOME", root.c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "share").c_str(), 1);
        setenv("TALVO_CONFIG", (root / "talvo.ini").c_str(), 1);
        talvo::RegisterTalvoLib();
        api = std::make_unique<CDornApi>("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(api->Connect(nullptr, false)) << api->GetErrorText();
        dataPath = platform::ToPlatformPath(dataDir.string());
        ASSERT_EQ(api->FindOrAddDirectoryEntry(kDir, dataPath.c_str()), 0) << api->GetErrorText();
    }

    void TearDown() override {
        if (api) {
            api->CloseChannel(kIn);
            api->CloseChannel(kOut);
        }
        api.reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // Writes each record under its key on channel `channel`; every write must succeed.
    void WriteAll(int32_t channel, const std::vector<std::pair<Bytes, Bytes>>& rows) {
        for (const auto& [key, record] : rows) {
            ASSERT_TRUE(api->WriteKeyed(channel, record.data(), static_cast<int32_t>(record.size()),
                                        key.data(), static_cast<int32_t>(key.size())))
                << api->GetErrorText();
        }
    }

    fs::path root;
    fs::path dataDir;
    std::string dataPath;
    std::unique_ptr<CDornApi> api;
};

// A record of `size` bytes whose every byte is distinct from its neighbours and that holds 0x00
// and 0xFF, but never the deleted mark at bytes 6 or 8.
Bytes MakeRecord(uint8_t seed, size_t size) {
    Bytes r(size);
    for (size_t i = 0; i < size; ++i) r[i] = static_cast<uint8_t>(seed + i * 37);
    r[0] = 0x00;
    r[1] = 0xFF;
    r[6] = 0x11;
    r[8] = 0x22;
    return r;
}

TEST_F(ChannelsEngineTest, KeysAndRecordsSurviveByteForByte) {
    constexpr int32_t kRecordSize = 24;
    ASSERT_TRUE(api->CreateKeyedFile("CUST", kDir, kRecordSize, 4)) << api->GetErrorText();
    ASSERT_TRUE(api->OpenFile(kOut, "CUST", kDir)) << api->GetErrorText();
    const std::vector<std::pair<Bytes, Bytes>> rows = {
        {{0x41, 0x42, 0x43, 0x44}, MakeRecord(1, kRecordSize)},
        {{0x00, 0x00, 0x00, 0x00}, MakeRecord(2, kRecordSize)},
        {{0xFF, 0xFF, 0xFF, 0xFF}, MakeRecord(3, kRecordSize)},
        {{0x00, 0xFF, 0x00, 0xFF}, MakeRecord(4, kRecordSize)},
        {{0x80, 0x00, 0x7F, 0xFE}, MakeRecord(5, kRecordSize)},
    };
    WriteAll(kOut, rows);
    // A key that is already there is refused.
    EXPECT_FALSE(
        api->WriteKeyed(kOut, rows[0].second.data(), kRecordSize, rows[1].first.data(), 4));
    ASSERT_TRUE(api->CloseChannel(kOut));

    // Read back through a fresh open, so the bytes went through the files on disk.
    ASSERT_TRUE(api->OpenFile(kIn, "cust", kDir)) << api->GetErrorText();
    for (const auto& [key, record] : rows) {
        Bytes got(kRecordSize + 10, 0xAA);
        int32_t length = static_cast<int32_t>(got.size());
        ASSERT_TRUE(api->ReadByKey(kIn, got.data(), &length, key.data(), 4));
        ASSERT_EQ(length, kRecordSize);
        got.resize(kRecordSize);
        EXPECT_EQ(got, record);
    }
    // Records by number, in the order they were written.
    for (size_t n = 0; n < rows.size(); ++n) {
        Bytes got(kRecordSize);
        int32_t length = kRecordSize;
        ASSERT_TRUE(api->ReadByRecordNumber(kIn, got.data(), &length, static_cast<int32_t>(n)));
        EXPECT_EQ(got, rows[n].second) << "record " << n;
    }
    int32_t none = kRecordSize;
    Bytes scratch(kRecordSize);
    EXPECT_FALSE(
        api->ReadByRecordNumber(kIn, scratch.data(), &none, static_cast<int32_t>(rows.size())));
    const Bytes missing = {0x00, 0x00, 0x00, 0x01};
    EXPECT_FALSE(api->ReadByKey(kIn, nullptr, nullptr, missing.data(), 4));
    EXPECT_TRUE(api->ReadByKey(kIn, nullptr, nullptr, rows[2].first.data(), 4));

    // Key order from a position: every key not below 00 FF 00 00, ascending, then nothing.
    const Bytes from = {0x00, 0xFF, 0x00, 0x00};
    ASSERT_TRUE(api->PositionByKey(kIn, from.data(), 4));
    const std::vector<Bytes> expected = {{0x00, 0xFF, 0x00, 0xFF},
                                         {0x41, 0x42, 0x43, 0x44},
                                         {0x80, 0x00, 0x7F, 0xFE},
                                         {0xFF, 0xFF, 0xFF, 0xFF}};
    for (const Bytes& want : expected) {
        Bytes key(8, 0xAA);
        int32_t keyLength = 8;
        ASSERT_TRUE(api->ReadNextKey(kIn, key.data(), keyLength));
        ASSERT_EQ(keyLength, 4);
        EXPECT_EQ(Bytes(key.begin(), key.begin() + 4), want);
        EXPECT_EQ(key[4], 0xAA) << "nothing is written after the key";
    }
    Bytes key(4);
    int32_t keyLength = 4;
    EXPECT_FALSE(api->ReadNextKey(kIn, key.data(), keyLength));
    EXPECT_EQ(keyLength, 0);
}

TEST_F(ChannelsEngineTest, DescriptorOfCreatedFiles) {
    ASSERT_TRUE(api->CreateKeyedFile("KEYED", kDir, 100, 12)) << api->GetErrorText();
    ASSERT_TRUE(api->CreateExtendedKeyedFile("EXT", kDir, 80, 10, 20)) << api->GetErrorText();

    FileDescriptor d{};
    ASSERT_TRUE(api->GetFileDescriptor("KEYED", kDir, d)) << api->GetErrorText();
    EXPECT_EQ(+d.fileType, 4);
    EXPECT_EQ(+d.recordSize, 100);
    EXPECT_EQ(+d.keySize, 12);
    EXPECT_EQ(std::string(d.nameText), "KEYED");
    EXPECT_EQ(std::string(d.directoryText), kDir);
    for (char c : d.dateTime1) EXPECT_TRUE(c >= '0' && c <= '9');

    FileDescriptor e{};
    ASSERT_TRUE(api->GetFileDescriptor("ext", kDir, e)) << api->GetErrorText();
    EXPECT_EQ(+e.fileType, 36);
    EXPECT_EQ(+e.recordSize, 80);
    EXPECT_EQ(+e.keySize, 10);
    EXPECT_EQ(+e.keyPosition, 20);

    FileDescriptor none{};
    EXPECT_FALSE(api->GetFileDescriptor("NOSUCH", kDir, none));
}

TEST_F(ChannelsEngineTest, EraseRemovesTheFileButNotWhileItIsOpen) {
    ASSERT_TRUE(api->CreateKeyedFile("GONE", kDir, 10, 2));
    ASSERT_TRUE(api->OpenFile(kOut, "GONE", kDir));
    EXPECT_FALSE(api->EraseFile("GONE", kDir)) << "an open file is never erased";
    EXPECT_FALSE(api->CreateKeyedFile("GONE", kDir, 10, 2));
    ASSERT_TRUE(api->CloseChannel(kOut));
    EXPECT_TRUE(api->EraseFile("GONE", kDir)) << api->GetErrorText();
    EXPECT_FALSE(api->OpenFile(kOut, "GONE", kDir));
    EXPECT_FALSE(api->EraseFile("GONE", kDir));
    // The name is free again.
    EXPECT_TRUE(api->CreateKeyedFile("GONE", kDir, 10, 2)) << api->GetErrorText();
}

TEST_F(ChannelsEngineTest, SubordinateKeysCopyFromOneFileToAnother) {
    ASSERT_TRUE(api->CreateExtendedKeyedFile("SRC", kDir, 40, 4, 10));
    const struct {
        int32_t first;
        int32_t second;
        std::string name;
    } defs[] = {{1, 2, "BY NAME"}, {12, 4, "BY TOWN"}, {0, 40, std::string(31, 'Z')}};
    for (const auto& def : defs) {
        ASSERT_TRUE(api->AddSubordinateKey("SRC", kDir, def.first, def.second, def.name.c_str()))
            << api->GetErrorText();
    }
    ASSERT_TRUE(api->CreateExtendedKeyedFile("DST", kDir, 40, 4, 10));

    // The copy as the build does it: indices from 1 until the first that fails.
    ASSERT_TRUE(api->OpenFile(kIn, "SRC", kDir));
    int copied = 0;
    for (int32_t index = 1; index <= 99; ++index) {
        int32_t first = 0;
        int32_t second = 0;
        char name[32];
        if (!api->GetSubordinateKey(kIn, index, first, second, name, sizeof name)) break;
        api->AddSubordinateKey("DST", kDir, first, second, name);
        ++copied;
    }
    EXPECT_EQ(copied, 3);

    ASSERT_TRUE(api->OpenFile(kOut, "DST", kDir));
    for (int32_t index = 1; index <= 3; ++index) {
        int32_t first = -1;
        int32_t second = -1;
        char name[32];
        ASSERT_TRUE(api->GetSubordinateKey(kOut, index, first, second, name, sizeof name));
        EXPECT_EQ(first, defs[index - 1].first);
        EXPECT_EQ(second, defs[index - 1].second);
        EXPECT_EQ(std::string(name), defs[index - 1].name);
    }
    int32_t first = 0;
    int32_t second = 0;
    char name[32];
    EXPECT_FALSE(api->GetSubordinateKey(kOut, 4, first, second, name, sizeof name));
}

TEST_F(ChannelsEngineTest, DirectoryTableFillsToItsLastEntryAndThenReplacesIt) {
    // Entry 0 holds kDir. Fill 1..99 with new names.
    for (int32_t i = 1; i < 100; ++i) {
        const std::string name = "D" + std::to_string(i);
        ASSERT_EQ(api->FindOrAddDirectoryEntry(name.c_str(), dataPath.c_str()), i);
    }
    DirectoryEntry entry{};
    ASSERT_TRUE(api->GetDirectoryEntry(99, entry));
    EXPECT_STREQ(entry.name, "D99");
    EXPECT_FALSE(api->GetDirectoryEntry(100, entry));
    EXPECT_STREQ(entry.name, "D99") << "a failed read leaves the entry as it was";

    // A full table: a new name overwrites the last entry.
    const std::string other = platform::ToPlatformPath(root.string());
    EXPECT_EQ(api->FindOrAddDirectoryEntry("NEW", other.c_str()), 99);
    ASSERT_TRUE(api->GetDirectoryEntry(99, entry));
    EXPECT_STREQ(entry.name, "NEW");
    EXPECT_EQ(std::string(entry.path), other);

    // A known name, in another letter case, keeps its index and takes the new path.
    EXPECT_EQ(api->FindOrAddDirectoryEntry("d42", other.c_str()), 42);
    ASSERT_TRUE(api->GetDirectoryEntry(42, entry));
    EXPECT_EQ(std::string(entry.path), other);
    EXPECT_EQ(api->FindOrAddDirectoryEntry("tst", dataPath.c_str()), 0);
}

TEST_F(ChannelsEngineTest, HandleAndSeekFromTheEndGiveTheDataFileLength) {
    constexpr int32_t kRecordSize = 50;
    ASSERT_TRUE(api->CreateKeyedFile("SIZED", kDir, kRecordSize, 3));
    ASSERT_TRUE(api->OpenFile(kOut, "SIZED", kDir));
    std::vector<std::pair<Bytes, Bytes>> rows;
    for (uint8_t i = 0; i < 7; ++i) rows.push_back({{i, 0xFF, i}, MakeRecord(i, kRecordSize)});
    WriteAll(kOut, rows);
    ASSERT_TRUE(api->CloseChannel(kOut));

    ASSERT_TRUE(api->OpenFile(kIn, "SIZED", kDir));
    int64_t handle = -1;
    int32_t second = 0;
    ASSERT_TRUE(api->GetChannelHandle(kIn, handle, &second));
    int64_t position = 0;
    ASSERT_TRUE(api->SeekHandle(handle, position, 2));

    // The data file is the one of that name in the directory (the index lies beside it).
    uintmax_t onDisk = 0;
    for (const auto& item : fs::directory_iterator(dataDir)) {
        std::string n = item.path().filename().string();
        for (char& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (n == "SIZED" && item.is_regular_file()) onDisk = item.file_size();
    }
    ASSERT_GT(onDisk, 0u);
    EXPECT_EQ(static_cast<uintmax_t>(position), onDisk);
    EXPECT_GE(position, 7 * kRecordSize);
}

}  // namespace
