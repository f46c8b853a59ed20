// The first records of the input for the record layout window: read in record order on a
// channel of their own that is closed again, the deleted ones marked, the end of the file told
// from a read that fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <stdlib.h>

#include <filesystem>

#include "platform/path.h"
#include "platform/testing/scoped_env.h"
#include "talvo/talvolib.h"
#include "ui/dialog_test_fixture.h"
#include "ui/record_sample.h"

namespace {

class RecordSampleTest : public DialogTest {
  protected:
    // A file of `count` records of `size` bytes: record i holds the letter 'a' + i throughout,
    // and in the records of `deleted` the byte at `markAt` is 0xFE.
    fstest::FakeFile& MakeFile(int32_t type, int32_t size, int count, std::vector<int> deleted = {},
                               int markAt = 6, const std::string& name = "CUST") {
        fstest::FakeFile& file =
            component->AddFile("DAT", name, type, size, type == 1 || type == 2 ? 0 : 2);
        for (int i = 0; i < count; ++i) {
            std::u16string record(static_cast<size_t>(size), static_cast<char16_t>('a' + i));
            for (int d : deleted) {
                if (d == i) record[static_cast<size_t>(markAt)] = 0xFE;
            }
            fstest::ScriptedComponent::AddRecord(
                file,
                type == 1 || type == 2 ? std::u16string()
                                       : std::u16string(2, static_cast<char16_t>('0' + i)),
                record);
        }
        return file;
    }

    RecordSample Read(size_t count, const std::string& name = "CUST") {
        FileDescriptor descriptor{};
        EXPECT_TRUE(client->GetFileDescriptor(name.c_str(), "DAT", descriptor));
        return ReadRecordSample(*client, name, "DAT", descriptor, count);
    }

    static std::vector<int32_t> Numbers(const RecordSample& sample) {
        std::vector<int32_t> numbers;
        for (const SampleRecord& r : sample.records) numbers.push_back(r.number);
        return numbers;
    }
    static std::vector<int32_t> Deleted(const RecordSample& sample) {
        std::vector<int32_t> numbers;
        for (const SampleRecord& r : sample.records) {
            if (r.deleted) numbers.push_back(r.number);
        }
        return numbers;
    }
};

TEST_F(RecordSampleTest, FirstRecordsInRecordOrderWithTheDeletedMarked) {
    MakeFile(4, 10, 5, {2});
    const RecordSample three = Read(3);
    EXPECT_EQ(Numbers(three), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(Deleted(three), (std::vector<int32_t>{2}));
    EXPECT_FALSE(three.endOfFile);
    EXPECT_EQ(three.error, "");
    ASSERT_EQ(three.records[1].bytes.size(), 10u);
    EXPECT_EQ(three.records[1].bytes, std::vector<uint8_t>(10, 'b'));
    EXPECT_EQ(three.records[2].bytes[6], 0xFE);

    // Fewer records than asked for: the end of the file, not a failure.
    const RecordSample all = Read(10);
    EXPECT_EQ(Numbers(all), (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(all.endOfFile);
    EXPECT_EQ(all.error, "");
    // Read on channel 37 alone, which is closed again after each sample.
    for (const fstest::Call& call : component->Calls("ReadRecord")) {
        EXPECT_EQ(call.numbers.at(0), kSampleChannel);
    }
    EXPECT_EQ(component->CallCount("Open"), 2);
    EXPECT_EQ(component->CallCount("Close"), 2);
    EXPECT_FALSE(component->IsOpen(kSampleChannel));
}

TEST_F(RecordSampleTest, TheDeletedMarkIsWhereTheFileTypePutsIt) {
    struct Row {
        int32_t type;
        int32_t size;
        int markAt;
        std::vector<int32_t> deleted;
    };
    const std::vector<Row> rows = {
        {4, 10, 6, {1}},   // keyed: byte 6
        {36, 10, 8, {1}},  // extended keyed: byte 8
        {36, 10, 6, {}},   // 0xFE at byte 6 of a type 36 record is data
        {2, 10, 6, {}},    // records only: no mark at all
        {4, 6, 6, {}},     // a record too short to carry the mark (the byte is beyond it)
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::string name = "FILE" + std::to_string(i);
        MakeFile(row.type, row.size, 3, {1}, std::min(row.markAt, row.size - 1), name);
        EXPECT_EQ(Deleted(Read(3, name)), row.deleted)
            << "type " << row.type << " mark " << row.markAt;
    }
}

TEST_F(RecordSampleTest, FailuresSayWhyAndLeaveNoChannelOpen) {
    MakeFile(4, 10, 3);
    component->failingOperations = {"ReadRecord"};
    const RecordSample unread = Read(3);
    EXPECT_TRUE(unread.records.empty());
    EXPECT_FALSE(unread.endOfFile);
    EXPECT_EQ(unread.error, "ReadRecord failed");
    EXPECT_FALSE(component->IsOpen(kSampleChannel));

    component->failingOperations = {"Open"};
    const RecordSample unopened = Read(3);
    EXPECT_TRUE(unopened.records.empty());
    EXPECT_EQ(unopened.error, "Open failed");
    EXPECT_EQ(component->CallCount("Close"), 1);  // only the one of the failed reads

}

// On the engine's real files: a sample is what the file holds, and a channel 37 that someone
// else opened stays theirs.
TEST(RecordSampleEngineTest, ReadsTheRecordsOfARealFileAndLeavesABusyChannelAlone) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "ordelin-sample-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path root = pattern;
    platform::testing::ScopedEnv config("TALVO_CONFIG", (root / "talvo.ini").c_str());
    platform::testing::ScopedEnv home("XDG_DATA_HOME", root.c_str());
    talvo::RegisterTalvoLib();
    {
        CDornApi client("Ordelin Utility", 100, 51, 0, false);
        ASSERT_TRUE(client.Connect(nullptr, false));
        ASSERT_GE(client.FindOrAddDirectoryEntry("DAT", platform::ToPlatformPath(root.string()).c_str()),
                  0);
        ASSERT_TRUE(client.CreateKeyedFile("CUST", "DAT", 6, 2));
        ASSERT_TRUE(client.OpenFile(1, "CUST", "DAT"));
        for (const char* record : {"K2 two", "K1 one", "K3 tri"}) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(record);
            ASSERT_TRUE(client.WriteKeyed(1, bytes, 6, bytes, 2));
        }
        ASSERT_TRUE(client.CloseChannel(1));
        FileDescriptor descriptor{};
        ASSERT_TRUE(client.GetFileDescriptor("CUST", "DAT", descriptor));

        const RecordSample sample = ReadRecordSample(client, "CUST", "DAT", descriptor, 10);
        EXPECT_EQ(sample.error, "");
        EXPECT_TRUE(sample.endOfFile);
        std::vector<std::string> records;
        for (const SampleRecord& r : sample.records) {
            records.emplace_back(r.bytes.begin(), r.bytes.end());
            EXPECT_FALSE(r.deleted);
        }
        // Record order, not key order.
        EXPECT_EQ(records, (std::vector<std::string>{"K2 two", "K1 one", "K3 tri"}));

        ASSERT_TRUE(client.OpenFile(kSampleChannel, "CUST", "DAT"));
        const RecordSample busy = ReadRecordSample(client, "CUST", "DAT", descriptor, 10);
        EXPECT_TRUE(busy.records.empty());
        EXPECT_NE(busy.error.find("already open"), std::string::npos) << busy.error;
        uint8_t buffer[6];
        int32_t length = 6;
        EXPECT_TRUE(client.ReadByRecordNumber(kSampleChannel, buffer, &length, 1));
        EXPECT_TRUE(client.CloseChannel(kSampleChannel));
    }
    fs::remove_all(root);
}

}  // namespace
