// Reads by record number in order, which a thread reads ahead once they have come in order long
// enough: record for record and error for error what the same reads give out of order (which are
// never read ahead), across many chunks (the budget lowered), at the smallest and largest record
// sizes, and while the file changes under the reading. The chunks read grow with the records.
#include "talvo/engine/slot_read_ahead.h"

#include <gtest/gtest.h>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/open_data_file.h"
#include "talvo/engine/tuning.h"

namespace talvo {
namespace {

using engine::OpenDataFile;
using engine::SlotReadAhead;
using engine::testing::Span;

// One read by number: its outcome and its record.
struct Read {
    Error code = Error::kOk;
    std::string record;
    bool operator==(const Read&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Read& r) {
    return out << static_cast<int>(r.code) << " record of " << r.record.size();
}

// Reads served from the records at hand (ReadOne with atHand), for the tests to see that they
// were.
uint64_t gReadsAtHand = 0;

// As the component reads: with atHand, the record at hand when there is one, ReadRecord
// otherwise.
Read ReadOne(DataFile& file, uint64_t number, bool atHand = false) {
    if (atHand) {
        if (const uint8_t* at = file.RecordAtHand(number)) {
            ++gReadsAtHand;
            return {Error::kOk,
                    std::string(reinterpret_cast<const char*>(at), file.Info().recordSize)};
        }
    }
    std::vector<uint8_t> record;
    Read read;
    read.code = file.ReadRecord(number, &record).code();
    if (read.code == Error::kOk) read.record.assign(record.begin(), record.end());
    return read;
}

std::string RecordOf(uint64_t i, uint32_t size) {
    std::string record(size, static_cast<char>(i % 3 == 0   ? 0x00
                                               : i % 3 == 1 ? 0xFF
                                                            : 'a' + i % 26));
    if (size > 8) record.replace(0, 8, std::to_string(10000000 + i));
    return record;
}

class SlotReadAheadTest : public engine::testing::TunedTempDirTest {
  protected:
    // A keyed file of `count` records, one in five deleted again (through the index, so that
    // the mark comes from the index's overlay or the data file, as the engine has it).
    std::shared_ptr<DataFile> MakeFile(const std::string& name, uint32_t recordSize,
                                       uint64_t count) {
        CreateOptions options;
        options.recordSize = recordSize;
        options.keySize = 8;
        EXPECT_OK(engine_.Create(PathOf(name), options));
        std::shared_ptr<DataFile> file;
        EXPECT_OK(engine_.Open(PathOf(name), &file));
        for (uint64_t i = 0; i < count; ++i) {
            const std::string key = std::to_string(10000000 + (i * 7919) % 89999999);
            EXPECT_OK(file->Put(Span(key), Span(RecordOf(i, recordSize))));
        }
        EXPECT_OK(file->Flush());
        for (uint64_t i = 2; recordSize > 6 && i < count; i += 5) EXPECT_OK(file->DeleteRecord(i));
        EXPECT_OK(file->Flush());
        EXPECT_OK(engine_.Close(file));
        EXPECT_OK(engine_.Open(PathOf(name), &file));
        return file;
    }

    // Every record from the last to the first (never in order), then one past the end.
    static std::vector<Read> ReadBackwards(DataFile& file, uint64_t count) {
        std::vector<Read> reads(count + 1);
        reads[count] = ReadOne(file, count);
        for (uint64_t n = count; n-- > 0;) reads[n] = ReadOne(file, n);
        return reads;
    }

    Engine engine_;
};

TEST_F(SlotReadAheadTest, ReadsInOrderGiveWhatReadsOutOfOrderGive) {
    struct Case {
        uint32_t recordSize;
        uint64_t count;
        size_t readAheadBytes;
    };
    for (const Case c : {Case{1, 5000, 4 * 64}, Case{100, 3000, 4 * 1000}, Case{100, 3000, 1024},
                         Case{65535, 80, 1024}}) {
        SCOPED_TRACE(std::to_string(c.recordSize) + " bytes, " + std::to_string(c.count));
        engine::CurrentTuning().readAheadBytes = c.readAheadBytes;
        const std::string name =
            "in-order-" + std::to_string(c.recordSize) + "-" + std::to_string(c.readAheadBytes);
        std::shared_ptr<DataFile> file = MakeFile(name, c.recordSize, c.count);
        const std::vector<Read> expected = ReadBackwards(*file, c.count);
        engine::Counters() = {};
        for (uint64_t n = 0; n <= c.count; ++n) {
            ASSERT_EQ(ReadOne(*file, n), expected[n]) << "record " << n;
        }
        // From the first read in order after kInOrderRun of them, chunk after chunk.
        const size_t chunkRecords = std::max<size_t>(
            1, std::min(OpenDataFile::kSlotChunkBytes, c.readAheadBytes / SlotReadAhead::kChunks) /
                   c.recordSize);
        const uint64_t ahead = c.count - OpenDataFile::kInOrderRun;
        EXPECT_EQ(engine::Counters().slotChunksReadAhead,
                  (ahead + chunkRecords - 1) / chunkRecords);
        // Read again in order, taking the records at hand where there are: the same records.
        gReadsAtHand = 0;
        for (uint64_t n = 0; n <= c.count; ++n) {
            ASSERT_EQ(ReadOne(*file, n, true), expected[n]) << "record " << n << ", again";
        }
        EXPECT_EQ(gReadsAtHand, ahead);
        EXPECT_OK(engine_.Close(file));
    }
}

// A change of the file drops what was read ahead, before the change is made: the records read
// after it are the file's as it is then. Jumps and reads past the end stop the reading ahead
// without changing what is read.
TEST_F(SlotReadAheadTest, ChangesAndJumpsStopTheReadingAhead) {
    engine::CurrentTuning().readAheadBytes = 4 * 500;
    constexpr uint32_t kSize = 50;
    constexpr uint64_t kCount = 2000;
    std::shared_ptr<DataFile> file = MakeFile("changes", kSize, kCount);
    std::vector<Read> expected = ReadBackwards(*file, kCount);
    // Every read as the component reads: the record at hand first.
    gReadsAtHand = 0;
    uint64_t n = 0;
    for (; n < 500; ++n) ASSERT_EQ(ReadOne(*file, n, true), expected[n]) << n;
    ASSERT_GT(engine::Counters().slotChunksReadAhead, 0u);

    // Records just ahead deleted, and one added: the deleted ones read as deleted.
    for (uint64_t d : {n, n + 3, n + 40}) {
        ASSERT_OK(file->DeleteRecord(d));
        expected[d] = ReadOne(*file, d, true);
        ASSERT_EQ(static_cast<uint8_t>(expected[d].record[6]), kDeletedMark);
    }
    ASSERT_OK(file->Put(Span(std::string("zzzzzzzz")), Span(RecordOf(7, kSize))));
    expected.back() = ReadOne(*file, kCount, true);
    ASSERT_EQ(expected.back().code, Error::kOk);
    expected.push_back(ReadOne(*file, kCount + 1, true));
    for (; n < 1000; ++n) ASSERT_EQ(ReadOne(*file, n, true), expected[n]) << n;

    // Committed, the reading ahead starts again; a jump back and one forward stop it.
    ASSERT_OK(file->Flush());
    for (; n < 1400; ++n) ASSERT_EQ(ReadOne(*file, n, true), expected[n]) << n;
    ASSERT_EQ(ReadOne(*file, 10, true), expected[10]);
    ASSERT_EQ(ReadOne(*file, 1900, true), expected[1900]);
    for (n = 1400; n <= kCount + 1; ++n) ASSERT_EQ(ReadOne(*file, n, true), expected[n]) << n;
    EXPECT_GT(gReadsAtHand, 1000u);
    EXPECT_OK(engine_.Close(file));
    // Closed while reading ahead: reads fail as they do on any closed file.
    EXPECT_EQ(ReadOne(*file, 0, true).code, Error::kNotOpen);
}

}  // namespace
}  // namespace talvo
