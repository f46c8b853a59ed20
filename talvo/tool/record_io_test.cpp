#include "talvo/tool/record_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace talvo::tool {
namespace {

std::string AllRecords(const FlatRecords& r) {
    return {r.bytes.begin(), r.bytes.end()};
}

TEST(ReadFlatRecords, LinesArePaddedAndLineEndsDropped) {
    std::istringstream in("ab\r\n\nabcd\nxyz");
    FlatRecords records;
    std::string error;
    ASSERT_TRUE(ReadFlatRecords(in, FlatFormat::kLines, 4, &records, &error)) << error;
    EXPECT_EQ(records.count(), 4u);
    EXPECT_EQ(AllRecords(records), "ab      abcdxyz ");
    EXPECT_EQ(records.refusedCount, 0u);
}

TEST(ReadFlatRecords, OverLongLinesAreListedByLineNumber) {
    std::string text = "ok\ntoo long\nok\r\n";
    for (size_t i = 0; i < kMaxRefusalTexts + 5; ++i) text += "much too long\n";
    std::istringstream in(text);
    FlatRecords records;
    std::string error;
    ASSERT_TRUE(ReadFlatRecords(in, FlatFormat::kLines, 3, &records, &error));
    EXPECT_EQ(records.refusedCount, kMaxRefusalTexts + 6);
    ASSERT_EQ(records.refused.size(), kMaxRefusalTexts);
    EXPECT_EQ(records.refused[0], "line 2: 8 bytes, longer than the record size 3");
    EXPECT_EQ(records.refused[1].substr(0, 8), "line 4: ");
}

TEST(ReadFlatRecords, FixedInputMustEndOnARecordBoundary) {
    std::istringstream whole(std::string("abcdef\0\xFF", 8));
    FlatRecords records;
    std::string error;
    ASSERT_TRUE(ReadFlatRecords(whole, FlatFormat::kFixed, 4, &records, &error));
    EXPECT_EQ(AllRecords(records), std::string("abcdef\0\xFF", 8));

    std::istringstream cut("abcdefghij");
    EXPECT_FALSE(ReadFlatRecords(cut, FlatFormat::kFixed, 4, &records, &error));
    EXPECT_EQ(error, "the input ends inside record 3 (2 of 4 bytes)");
}

class OutputSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/talvo_sink_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    size_t FileCount() { return std::distance(std::filesystem::directory_iterator(dir_), {}); }
    std::string dir_;
};

TEST_F(OutputSinkTest, TargetChangesOnlyOnCommit) {
    std::string path = dir_ + "/out";
    std::ofstream(path) << "old";
    std::string error;
    {
        OutputSink sink;
        ASSERT_TRUE(sink.Open(path, &error)) << error;
        ASSERT_TRUE(sink.Write("new", &error));
        EXPECT_EQ(Read(path), "old");
    }  // abandoned
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(FileCount(), 1u);

    OutputSink sink;
    ASSERT_TRUE(sink.Open(path, &error));
    ASSERT_TRUE(sink.Write("new", &error));
    ASSERT_TRUE(sink.Commit(&error)) << error;
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(OutputSinkTest, APipeOrDeviceIsWrittenToNotReplaced) {
    // Renamed over, /dev/null (as root) or a named pipe would become a plain file.
    const std::string path = dir_ + "/pipe";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    {
        OutputSink sink;
        ASSERT_TRUE(sink.Open(path, &error)) << error;
        ASSERT_TRUE(sink.Write("records", &error)) << error;
        ASSERT_TRUE(sink.Commit(&error)) << error;
    }
    char buffer[16] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer), "records");
    ::close(reader);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(FileCount(), 1u);  // no temporary file beside it

    // A folder stays an error, as before.
    OutputSink folder;
    std::filesystem::create_directory(dir_ + "/folder");
    ASSERT_TRUE(folder.Open(dir_ + "/folder", &error));
    EXPECT_FALSE(folder.Commit(&error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST_F(OutputSinkTest, MissingFolderIsAnError) {
    OutputSink sink;
    std::string error;
    EXPECT_FALSE(sink.Open(dir_ + "/no/such/out", &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

}  // namespace
}  // namespace talvo::tool
