// The reader of keys in order against SeekKey and Get, which it must match key for key, record
// for record and error for error: across many batches read ahead (the budget lowered), while the
// file changes under it, from any starting key, over damaged indexes, and after its file closed.
// Its work (batches, reads, bytes read) grows with the keys read.
#include "talvo/engine/key_reader.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <map>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/key_index.h"
#include "talvo/engine/tuning.h"

namespace talvo {
namespace {

using engine::BatchedKeyReader;
using engine::testing::Bytes;
using engine::testing::Span;

// Key i of `size` bytes: scattered over the key space (so that record numbers and key order
// differ), zero bytes and 0xFF bytes in it; unique for i below 2^24 (size 1: below 256).
std::string KeyOf(uint64_t i, size_t size) {
    uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    std::string key(size, '\0');
    if (size == 1) {
        key[0] = static_cast<char>((i * 167) & 0xFF);
        return key;
    }
    for (size_t b = 0; b < size; ++b) key[b] = static_cast<char>(b % 5 == 4 ? 0xFF : 0);
    key[0] = static_cast<char>(x >> 8);
    key[size - 1] = static_cast<char>(x);
    key[size / 2] = static_cast<char>(x >> 16);
    if (size > 3) key[1] = static_cast<char>(i >> 16), key[2] = static_cast<char>(i >> 8);
    key[size - 1] = static_cast<char>(i);
    return key;
}

// What one step of reading gives: a key and its record, or where reading stopped.
struct Step {
    Error next = Error::kOk;
    std::string key;
    Error get = Error::kOk;
    std::string record;
    bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Step& s) {
    return out << "next " << static_cast<int>(s.next) << " key of " << s.key.size() << " get "
               << static_cast<int>(s.get) << " record of " << s.record.size();
}

// Reads up to `most` keys as the facade did before there was a reader: SeekKey from the last key
// delivered, then Get of that key.
std::vector<Step> ReadDirectly(DataFile& file, std::string from, bool after, size_t most) {
    std::vector<Step> steps;
    for (size_t n = 0; n < most; ++n) {
        Step step;
        std::string key;
        const Status s = file.SeekKey(Span(from), after, &key);
        step.next = s.code();
        if (s.ok()) {
            step.key = key;
            std::vector<uint8_t> record;
            step.get = file.Get(Span(key), &record).code();
            step.record.assign(record.begin(), record.end());
            from = key;
            after = true;
        }
        steps.push_back(step);
        if (!s.ok()) break;
    }
    return steps;
}

// Reads up to `most` keys with their records from the reader. Where it has a record at hand
// (counted in *atHand), that record must be the one Get then delivers: a step where it is not
// reads as damaged.
std::vector<Step> ReadWith(KeyReader& reader, size_t most, size_t* atHand = nullptr) {
    std::vector<Step> steps;
    for (size_t n = 0; n < most; ++n) {
        Step step;
        std::span<const uint8_t> key;
        const Status s = reader.Next(&key);
        step.next = s.code();
        if (s.ok()) {
            step.key.assign(key.begin(), key.end());
            const uint8_t* at = reader.RecordAtHand(key);
            std::vector<uint8_t> record;
            step.get = reader.Get(key, &record).code();
            step.record.assign(record.begin(), record.end());
            if (at != nullptr) {
                if (atHand != nullptr) ++*atHand;
                if (!std::equal(record.begin(), record.end(), at)) step.get = Error::kDamaged;
            }
        }
        steps.push_back(step);
        if (!s.ok()) break;
    }
    return steps;
}

class KeyReaderTest : public engine::testing::TunedTempDirTest {
  protected:
    // A file of `count` keys put in a scattered order, every seventh one deleted again.
    // Keys in an order unlike the records'; one in seven deleted unless `deletions` is false.
    std::shared_ptr<DataFile> MakeFile(const std::string& name, CreateOptions options,
                                       uint64_t count, bool deletions = true) {
        EXPECT_OK(engine_.Create(PathOf(name), options));
        std::shared_ptr<DataFile> file;
        EXPECT_OK(engine_.Open(PathOf(name), &file));
        for (uint64_t n = 0; n < count; ++n) {
            const uint64_t i = (n * 7919) % count;
            const std::string key = KeyOf(i, options.keySize);
            std::string record(options.recordSize, static_cast<char>('a' + i % 26));
            if (options.type == FileType::kExtendedKeyed) {
                record.replace(options.keyPosition, key.size(), key);
            }
            if (record.size() > 8) record.replace(0, 6, std::to_string(100000 + i % 900000));
            EXPECT_OK(file->Put(Span(key), Span(record)));
        }
        EXPECT_OK(file->Flush());
        for (uint64_t i = 3; deletions && i < count; i += 7)
            EXPECT_OK(file->DeleteKey(Span(KeyOf(i, options.keySize))));
        EXPECT_OK(engine_.Close(file));
        EXPECT_OK(engine_.Open(PathOf(name), &file));
        return file;
    }
    std::unique_ptr<KeyReader> ReaderOf(DataFile& file) {
        std::unique_ptr<KeyReader> reader;
        EXPECT_OK(file.NewKeyReader(&reader));
        return reader;
    }

    Engine engine_;
};

TEST_F(KeyReaderTest, ReadsWhatSeekKeyAndGetReadAcrossManyBatches) {
    struct Case {
        const char* name;
        CreateOptions options;
        uint64_t count;
        const char* budget;
    };
    // With the budget lowered, batches of a few dozen keys or fewer, swept from the start (the
    // batches are as large as they get); with more budget the first batches are few keys spread
    // over many slots, each read by itself, before the sweeps.
    const Case cases[] = {
        {"type 4", {FileType::kKeyed, 40, 12, 0}, 3000, "read-ahead=16K"},
        {"type 36", {FileType::kExtendedKeyed, 40, 12, 10}, 3000, "read-ahead=16K"},
        {"key-only", {FileType::kKeyed, 0, 12, 0}, 3000, "read-ahead=16K"},
        {"keys of one byte", {FileType::kKeyed, 9, 1, 0}, 256, "read-ahead=16K"},
        {"long keys and records", {FileType::kKeyed, 4000, 255, 0}, 600, "read-ahead=16K"},
        {"reads of their own, then sweeps", {FileType::kKeyed, 100, 12, 0}, 50000, "read-ahead=4M"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_OK(SetBudgets(c.budget));
        engine::Counters() = {};
        auto file = MakeFile(c.name, c.options, c.count);
        const std::vector<Step> expected = ReadDirectly(*file, "", false, c.count + 1);
        ASSERT_EQ(expected.back().next, Error::kEndOfKeys);
        engine::Counters() = {};
        auto reader = ReaderOf(*file);
        size_t atHand = 0;
        EXPECT_EQ(ReadWith(*reader, c.count + 1, &atHand), expected);
        const engine::WorkCounters work = engine::Counters();
        // The first keys come one at a time; the rest from batches, each record read once (in a
        // read of its own, with others close by, or in a sweep's pass over the slots) and at
        // hand as its key comes.
        const uint64_t ahead = expected.size() - 1 - BatchedKeyReader::kDirectRun;
        if (c.options.recordSize != 0) {
            EXPECT_EQ(atHand, ahead);
        }
        EXPECT_GE(work.readAheadBatches, c.count >= 600 ? 8u : 1u);
        if (c.options.recordSize != 0) {
            EXPECT_GE(work.readAheadReads, 1u);
            EXPECT_LE(work.readAheadReads, ahead);
            EXPECT_GE(work.readAheadBytes, ahead * c.options.recordSize);
            EXPECT_GE(work.readAheadSweeps, 1u);
            // Every record swept went through the unnamed file once, there and back, and so did
            // its key and number: the batches do not read the index again.
            EXPECT_LE(work.readAheadSpillBytes, 2 * ahead * (c.options.recordSize + 4));
            EXPECT_EQ(work.readAheadSpillBytes % (c.options.recordSize + 4), 0u);
            const uint64_t keyEntry = c.options.keySize + sizeof(uint64_t);
            EXPECT_EQ(work.readAheadKeySpillBytes % keyEntry, 0u);
            EXPECT_EQ(work.readAheadKeySpillBytes / keyEntry,
                      work.readAheadSpillBytes / (c.options.recordSize + 4));
        } else {
            EXPECT_EQ(work.readAheadReads, 0u);
            EXPECT_EQ(work.readAheadSweeps, 0u);
        }
        EXPECT_FALSE(static_cast<BatchedKeyReader&>(*reader).readingAhead());  // the keys ran out
        reader.reset();
        EXPECT_OK(engine_.Close(file));
    }
}

// Where the system will not map the slots, a sweep's pass reads them through its buffer, a part
// at a time, and hands out the same keys and records.
TEST_F(KeyReaderTest, SweepsReadTheSlotsThemselvesWhereTheyCannotBeMapped) {
    ASSERT_OK(SetBudgets("read-ahead=16K"));
    const CreateOptions options{FileType::kKeyed, 100, 12, 0};
    const uint64_t count = 5000;
    uint64_t reads[2] = {0, 0};
    uint64_t spilled[2] = {0, 0};
    for (const bool maps : {true, false}) {
        SCOPED_TRACE(maps ? "through maps" : "read");
        engine::CurrentTuning().sweepMaps = maps;
        auto file = MakeFile(maps ? "m" : "r", options, count);
        const std::vector<Step> expected = ReadDirectly(*file, "", false, count + 1);
        ASSERT_EQ(expected.back().next, Error::kEndOfKeys);
        engine::Counters() = {};
        auto reader = ReaderOf(*file);
        EXPECT_EQ(ReadWith(*reader, count + 1), expected);
        const engine::WorkCounters work = engine::Counters();
        EXPECT_GE(work.readAheadSweeps, 2u);
        EXPECT_GE(work.readAheadBytes, (expected.size() - 1 - BatchedKeyReader::kDirectRun) * 100);
        reads[maps ? 0 : 1] = work.readAheadReads;
        spilled[maps ? 0 : 1] = work.readAheadSpillBytes;
        reader.reset();
        EXPECT_OK(engine_.Close(file));
    }
    // A map sees many buffers' worth of slots at once; either way every record swept goes
    // through the unnamed file (none is left to Get).
    EXPECT_GT(reads[1], 4 * reads[0]) << reads[0] << " " << reads[1];
    EXPECT_EQ(spilled[1], spilled[0]);
    EXPECT_GT(spilled[0], count * 100);
}

TEST_F(KeyReaderTest, ReadAheadWorkGrowsLinearlyWithTheKeysRead) {
    ASSERT_OK(SetBudgets("read-ahead=64K"));
    std::vector<uint64_t> batches;
    for (uint64_t count : {4000, 8000, 16000, 32000}) {
        SCOPED_TRACE(count);
        auto file = MakeFile("f" + std::to_string(count), {FileType::kKeyed, 100, 10, 0}, count);
        engine::Counters() = {};
        auto reader = ReaderOf(*file);
        const std::vector<Step> steps = ReadWith(*reader, count + 1);
        ASSERT_EQ(steps.back().next, Error::kEndOfKeys);
        const uint64_t keys = steps.size() - 1;
        ASSERT_EQ(keys, count - (count - 4) / 7 - 1);
        const engine::WorkCounters work = engine::Counters();
        // At most one read a record; a read joins records only across small gaps, and a sweep
        // reads the slots once for many keys, at most the join gap a key: the bytes read stay
        // within the records' bytes and those gaps. What is swept goes through the unnamed file
        // once, there and back.
        EXPECT_LE(work.readAheadReads, keys);
        EXPECT_GE(work.readAheadBytes, (keys - BatchedKeyReader::kDirectRun) * 100);
        EXPECT_LE(work.readAheadBytes, keys * (100 + BatchedKeyReader::kJoinGapBytes));
        EXPECT_GE(work.readAheadSweeps, 2u);
        EXPECT_LE(work.readAheadSpillBytes, 2 * keys * 104);
        batches.push_back(work.readAheadBatches);
        reader.reset();
        EXPECT_OK(engine_.Close(file));
    }
    // Batches of a size the budget sets, once the first few have doubled up to it: eight times
    // the keys, about eight times the batches.
    EXPECT_GE(batches.front(), 4u);
    EXPECT_LE(batches.back(), 8 * batches.front() + 4) << batches.front() << " " << batches.back();
    EXPECT_GE(batches.back(), 6 * batches.front()) << batches.front() << " " << batches.back();
}

// A sweep's pass reads every slot, so each must be worth it: at least one key for every join gap
// of the file's bytes. Whatever the count, the keys left at the end are not swept on their own
// when they are few (they are read batch by batch, or join the segment before).
TEST_F(KeyReaderTest, EverySweepReadsTheSlotsForManyKeys) {
    ASSERT_OK(SetBudgets("read-ahead=16K"));
    const CreateOptions options{FileType::kKeyed, 100, 10, 0};
    for (uint64_t count = 3000; count <= 6000; count += 37) {
        SCOPED_TRACE(count);
        auto file = MakeFile("s" + std::to_string(count), options, count, false);
        engine::Counters() = {};
        auto reader = ReaderOf(*file);
        const std::vector<Step> steps = ReadWith(*reader, count + 1);
        ASSERT_EQ(steps.size(), count + 1);
        ASSERT_EQ(steps.back().next, Error::kEndOfKeys);
        const engine::WorkCounters work = engine::Counters();
        EXPECT_GE(work.readAheadSweeps, 2u);
        EXPECT_GE(work.readAheadFewestSwept * BatchedKeyReader::kJoinGapBytes, count * 100)
            << work.readAheadSweeps << " sweeps, the smallest of " << work.readAheadFewestSwept
            << " keys";
        reader.reset();
        EXPECT_OK(engine_.Close(file));
    }
}

TEST_F(KeyReaderTest, ChangesWhileReadingAreSeenAsSeekKeySeesThem) {
    ASSERT_OK(SetBudgets("read-ahead=8K"));
    const CreateOptions options{FileType::kKeyed, 40, 12, 0};
    auto file = MakeFile("c", options, 2000);
    auto reader = ReaderOf(*file);
    std::vector<Step> read = ReadWith(*reader, 300);  // reading ahead by now
    while (static_cast<uint8_t>(read.back().key.back()) == 0xFF) read = ReadWith(*reader, 1);
    ASSERT_EQ(read.back().next, Error::kOk);
    ASSERT_TRUE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    std::string last = read.back().key;

    // A key put just after the last one read, the key after that deleted, a record read by
    // another key in between: the reader goes on as SeekKey does.
    std::string after;
    ASSERT_OK(file->SeekKey(Span(last), true, &after));
    std::string inserted = last;
    inserted.back() = static_cast<char>(inserted.back() + 1);
    ASSERT_LT(inserted, after);
    ASSERT_OK(file->Put(Span(inserted), Bytes("new record")));
    ASSERT_OK(file->DeleteKey(Span(after)));
    std::vector<Step> expected = ReadDirectly(*file, last, true, 50);
    EXPECT_EQ(expected.front().key, inserted);
    std::vector<Step> got = ReadWith(*reader, 50);
    EXPECT_EQ(got, expected);
    // Committed, the file may be read ahead again; a change between a key and its record still
    // gives the record as Get gives it.
    ASSERT_OK(file->Flush());
    last = got.back().key;
    expected = ReadDirectly(*file, last, true, 400);
    got = ReadWith(*reader, 200);
    EXPECT_TRUE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    std::span<const uint8_t> key;
    ASSERT_OK(reader->Next(&key));
    got.push_back({Error::kOk, std::string(key.begin(), key.end())});
    ASSERT_OK(file->DeleteKey(key));
    std::vector<uint8_t> record;
    got.back().get = reader->Get(key, &record).code();
    EXPECT_EQ(got.back().get, Error::kNotFound);
    expected.resize(got.size());
    expected.back().get = Error::kNotFound;
    expected.back().record.clear();
    EXPECT_EQ(got, expected);
    reader.reset();
    EXPECT_OK(engine_.Close(file));
}

TEST_F(KeyReaderTest, SeekStartsAnywhereAndShortKeysArePadded) {
    ASSERT_OK(SetBudgets("read-ahead=8K"));
    auto file = MakeFile("s", {FileType::kKeyed, 40, 12, 0}, 1000);
    auto reader = ReaderOf(*file);
    std::vector<Step> all = ReadDirectly(*file, "", false, 2000);
    for (size_t at : {size_t{0}, size_t{1}, size_t{400}, all.size() - 2}) {
        SCOPED_TRACE(at);
        const std::string& key = all[at].key;
        for (bool after : {false, true}) {
            reader->Seek(Span(key), after);
            EXPECT_EQ(ReadWith(*reader, 100), ReadDirectly(*file, key, after, 100));
        }
        // A key that is not in the file, shorter than the key size: zero-padded.
        const std::string part = key.substr(0, 5);
        reader->Seek(Span(part), false);
        EXPECT_EQ(ReadWith(*reader, 100), ReadDirectly(*file, part, false, 100));
    }
    // Get of any other key than the one just delivered is Get's answer, not the batch's.
    reader->Seek({}, false);
    std::string previous = all[0].key;
    for (size_t i = 0; i < 300; ++i) {
        std::span<const uint8_t> next;
        ASSERT_OK(reader->Next(&next));
        std::vector<uint8_t> got;
        std::vector<uint8_t> want;
        ASSERT_OK(reader->Get(Span(previous), &got));
        ASSERT_OK(file->Get(Span(previous), &want));
        ASSERT_EQ(got, want) << i;
        previous.assign(next.begin(), next.end());
    }
    EXPECT_TRUE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    // Nor of the key just delivered given shorter: that stands for itself zero-padded.
    for (size_t i = 0; i < 50; ++i) {
        std::span<const uint8_t> next;
        ASSERT_OK(reader->Next(&next));
        const std::string cut(next.begin(), next.end() - 1);
        std::vector<uint8_t> got;
        std::vector<uint8_t> want;
        EXPECT_EQ(reader->RecordAtHand(Span(cut)), nullptr);
        ASSERT_EQ(reader->Get(Span(cut), &got).code(), file->Get(Span(cut), &want).code()) << i;
        ASSERT_EQ(got, want) << i;
    }
    EXPECT_TRUE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    // The record of a key given shorter, zero-padded, is the padded key's.
    ASSERT_OK(file->Put(Bytes("AB"), Bytes("padded")));
    ASSERT_OK(file->Flush());
    reader->Seek(Bytes("AB"), false);
    std::span<const uint8_t> key;
    ASSERT_OK(reader->Next(&key));
    EXPECT_EQ(std::string(key.begin(), key.end()), std::string("AB") + std::string(10, '\0'));
    std::vector<uint8_t> record;
    ASSERT_OK(reader->Get(Bytes("AB"), &record));
    EXPECT_EQ(std::string(record.begin(), record.begin() + 6), "padded");
    EXPECT_EQ(reader->Get(Span(std::string(13, 'A')), &record).code(), Error::kKeyTooLong);
    reader.reset();
    EXPECT_OK(engine_.Close(file));
}

TEST_F(KeyReaderTest, DamagedIndexesGiveTheErrorsSeekKeyAndGetGive) {
    ASSERT_OK(SetBudgets("read-ahead=4K"));
    const CreateOptions options{FileType::kKeyed, 40, 12, 0};
    struct Damage {
        const char* name;
        bool oddSize;      // a key of 13 bytes in the middle
        bool pastTheEnd;   // a key pointing past the last record
        bool markInIndex;  // a deletion committed in the index but not in the data file
    };
    for (const Damage d : {Damage{"a key of another size", true, false, false},
                           Damage{"a record past the last", false, true, false},
                           Damage{"a deleted mark not yet written", false, false, true}}) {
        SCOPED_TRACE(d.name);
        const std::string name = std::string("d") + std::to_string(d.oddSize) +
                                 std::to_string(d.pastTheEnd) + std::to_string(d.markInIndex);
        auto file = MakeFile(name, options, 600);
        const std::vector<Step> before = ReadDirectly(*file, "", false, 1000);
        ASSERT_OK(engine_.Close(file));
        const std::string& victim = before[300].key;
        {
            engine::KeyIndex index;
            engine::IndexMeta meta;
            ASSERT_OK(index.Open(PathOf(name) + ".idx", true, &meta));
            uint64_t number = 0;
            bool found = false;
            ASSERT_OK(index.Find(Span(victim), &found, &number));
            ASSERT_TRUE(found);
            ASSERT_OK(index.BeginWrite());
            if (d.oddSize) {
                const std::string odd = victim + "x";
                const engine::IndexEntry entry{reinterpret_cast<const uint8_t*>(odd.data()),
                                               number};
                ASSERT_OK(index.InsertSorted({&entry, 1}, odd.size()));
            }
            if (d.pastTheEnd) {
                ASSERT_OK(index.Erase(Span(victim)));
                const engine::IndexEntry entry{reinterpret_cast<const uint8_t*>(victim.data()),
                                               1000000};
                ASSERT_OK(index.InsertSorted({&entry, 1}, victim.size()));
            }
            if (d.markInIndex) {
                ASSERT_OK(index.Erase(Span(victim)));
                ASSERT_OK(index.AddMark(number));
                meta.deletedCount += 1;
                meta.keyCount -= 1;
            }
            ASSERT_OK(index.Commit(meta));
        }
        ASSERT_OK(engine_.Open(PathOf(name), &file));
        const std::vector<Step> expected = ReadDirectly(*file, "", false, 1000);
        auto reader = ReaderOf(*file);
        EXPECT_EQ(ReadWith(*reader, 1000), expected);
        reader.reset();
        ASSERT_OK(engine_.Close(file));
    }
}

// A sweep whose unnamed file refuses some of its writes (here: past a limit on the size of the
// files this process writes, as a full disk would) reads the keys of such a segment along the
// index again and leaves such records to Get: what comes out is the same.
TEST_F(KeyReaderTest, SweepsWhoseWritesFailGiveWhatSeekKeyAndGetGive) {
    ASSERT_OK(SetBudgets("read-ahead=16K"));
    const CreateOptions options{FileType::kKeyed, 100, 10, 0};
    auto file = MakeFile("w", options, 5000);
    const std::vector<Step> expected = ReadDirectly(*file, "", false, 5001);
    ASSERT_EQ(expected.back().next, Error::kEndOfKeys);
    engine::Counters() = {};
    ReadWith(*ReaderOf(*file), 5001);
    const uint64_t keyBytes = engine::Counters().readAheadKeySpillBytes;
    ASSERT_GT(keyBytes, 0u);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    // Every write refused; then the records' halves taken, but not the keys after them.
    for (const rlim_t limit : {rlim_t{1}, rlim_t{100000}}) {
        SCOPED_TRACE(limit);
        struct rlimit low = saved;
        low.rlim_cur = limit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
        engine::Counters() = {};
        const std::vector<Step> steps = ReadWith(*ReaderOf(*file), 5001);
        const engine::WorkCounters work = engine::Counters();
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        EXPECT_EQ(steps, expected);
        EXPECT_GE(work.readAheadSweeps, 1u);
        EXPECT_LT(work.readAheadKeySpillBytes, keyBytes);
    }
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(KeyReaderTest, AReaderThatOutlivesItsFileSaysSo) {
    ASSERT_OK(SetBudgets("read-ahead=8K"));
    auto file = MakeFile("o", {FileType::kKeyed, 40, 12, 0}, 1000);
    auto reader = ReaderOf(*file);
    ASSERT_EQ(ReadWith(*reader, 100).size(), 100u);
    ASSERT_TRUE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    ASSERT_OK(engine_.Close(file));  // the last hold: the file commits and closes
    EXPECT_FALSE(static_cast<BatchedKeyReader&>(*reader).readingAhead());
    std::span<const uint8_t> key;
    EXPECT_EQ(reader->Next(&key).code(), Error::kNotOpen);
    std::vector<uint8_t> record;
    EXPECT_EQ(reader->Get(Bytes("AB"), &record).code(), Error::kNotOpen);
    // Files without keys have no reader.
    ASSERT_OK(engine_.Create(PathOf("r"), {FileType::kRecords2, 10, 0, 0}));
    ASSERT_OK(engine_.Open(PathOf("r"), &file));
    std::unique_ptr<KeyReader> none;
    EXPECT_EQ(file->NewKeyReader(&none).code(), Error::kWrongFileType);
    EXPECT_OK(engine_.Close(file));
}

}  // namespace
}  // namespace talvo
