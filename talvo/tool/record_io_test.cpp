#include "talvo/tool/record_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

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

// Serves `good` bytes of a pattern, then fails as a device that cannot be read does.
class FailingBuffer : public std::streambuf {
  public:
    explicit FailingBuffer(size_t good) : left_(good) {}

  protected:
    std::streamsize xsgetn(char* into, std::streamsize n) override {
        if (left_ == 0) throw std::runtime_error("the device failed");
        const auto got = static_cast<size_t>(std::min<std::streamsize>(n, left_));
        for (size_t i = 0; i < got; ++i) into[i] = static_cast<char>('a' + (served_ + i) % 26);
        served_ += got;
        left_ -= got;
        return static_cast<std::streamsize>(got);
    }
    int_type underflow() override {
        if (left_ == 0) throw std::runtime_error("the device failed");
        return traits_type::eof();
    }

  private:
    size_t left_;
    size_t served_ = 0;
};

// Everything a reader hands out up to its first false: the records, then the error.
std::vector<std::string> ReadAll(std::istream& in, uint32_t recordSize, bool readAhead,
                                 size_t most = SIZE_MAX) {
    FlatReader reader(in, FlatFormat::kFixed, recordSize, readAhead);
    std::vector<std::string> seen;
    std::span<const uint8_t> record;
    std::string error;
    while (seen.size() < most && reader.Next(&record, &error)) seen.emplace_back(record.begin(), record.end());
    seen.push_back("end: " + error);
    return seen;
}

// Reading ahead on a thread hands out what reading in place does, record for record, at every
// boundary of its buffers, with the same end and the same errors; a reader dropped halfway
// stops its thread.
TEST(FlatReader, ReadingAheadHandsOutWhatReadingInPlaceDoes) {
    const uint32_t size = 100;
    const size_t perBuffer = (size_t{1} << 20) / size;  // records a buffer holds
    for (size_t records : {size_t{0}, size_t{1}, perBuffer - 1, perBuffer, perBuffer + 1,
                           3 * perBuffer, 3 * perBuffer + 7}) {
        for (size_t tail : {size_t{0}, size_t{37}}) {
            SCOPED_TRACE(std::to_string(records) + " records and " + std::to_string(tail));
            std::string bytes(records * size + tail, '\0');
            for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
            std::istringstream inPlace(bytes);
            std::istringstream ahead(bytes);
            const std::vector<std::string> expected = ReadAll(inPlace, size, false);
            if (tail == 0) {
                ASSERT_EQ(expected.size(), records + 1);
            }
            EXPECT_EQ(ReadAll(ahead, size, true), expected);
            std::istringstream dropped(bytes);
            EXPECT_EQ(ReadAll(dropped, size, true, records / 2).size(),
                      std::min(records / 2, expected.size() - 1) + 1);
        }
    }
    // The failure comes at the start of a read: of the first buffer, the second or the third.
    for (size_t good : {size_t{0}, perBuffer * size, 2 * perBuffer * size}) {
        SCOPED_TRACE(good);
        FailingBuffer inPlaceBuffer(good);
        FailingBuffer aheadBuffer(good);
        std::istream inPlace(&inPlaceBuffer);
        std::istream ahead(&aheadBuffer);
        const std::vector<std::string> expected = ReadAll(inPlace, size, false);
        EXPECT_EQ(expected.back().substr(0, 28), "end: cannot read the input: ");
        const std::vector<std::string> got = ReadAll(ahead, size, true);
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end() - 1, expected.begin()));
        EXPECT_EQ(got.back().substr(0, 28), "end: cannot read the input: ");
    }
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
