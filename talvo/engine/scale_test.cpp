// Writes many times the budgets, with budgets lowered: the work counted grows with the records
// written (never with records times a budget), duplicates stay exact across the batch, the
// spilled runs and the index, and every record is where its key says after each way into the
// index (a new tree, in place, both in one commit).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/key_column.h"
#include "talvo/engine/pending_keys.h"
#include "talvo/engine/tuning.h"

namespace talvo {
namespace {

using engine::testing::Bytes;
using engine::testing::Span;

// Key i: 12 bytes that scatter consecutive i over the key space (unique for every i).
std::string KeyOf(uint64_t i) {
    uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    std::string key(12, '\0');
    for (int b = 0; b < 8; ++b) key[static_cast<size_t>(b)] = static_cast<char>(x >> (8 * b));
    for (int b = 8; b < 12; ++b)
        key[static_cast<size_t>(b)] = static_cast<char>('a' + (i + b) % 26);
    return key;
}
// The record under key i: it carries the key where a type 36 file of key position 10 wants it,
// and plain text where the deleted marks of types 4 and 36 go (bytes 6 and 8).
std::string RecordOf(uint64_t i) {
    return "record of " + KeyOf(i) + std::to_string(i);
}

class ScaleTest : public engine::testing::TunedTempDirTest {
  protected:
    void SetUp() override {
        TunedTempDirTest::SetUp();
        // About a thousand keys of 12 bytes a batch; small index transactions; the first
        // filter covers a few batches and grows by rebuilding from the runs.
        ASSERT_OK(
            SetBudgets("slot-buffer=16K,pending-keys=64K,filter=1M,run-buffers=64K,"
                       "index-txn=256K,mapped=64K"));
        batch_ = engine::PendingKeys(12, 64 << 10).capacity();
        ASSERT_GT(batch_, 500u);
        engine::Counters() = {};
    }

    std::shared_ptr<DataFile> Open(const std::string& name) {
        std::shared_ptr<DataFile> file;
        const Status s = engine_.Open(PathOf(name), &file);
        EXPECT_TRUE(s.ok()) << s.message();
        return file;
    }
    std::shared_ptr<DataFile> CreateOpen(const std::string& name, CreateOptions options) {
        const Status s = engine_.Create(PathOf(name), options);
        EXPECT_TRUE(s.ok()) << s.message();
        return Open(name);
    }
    // Puts keys first..first+count-1 in a scattered order.
    static void PutKeys(DataFile& file, uint64_t first, uint64_t count) {
        for (uint64_t n = 0; n < count; ++n) {
            const uint64_t i = first + (n * 7919) % count;
            const Status s = file.Put(Span(KeyOf(i)), Span(RecordOf(i)));
            ASSERT_TRUE(s.ok()) << i << ": " << s.message();
        }
    }
    // Every key of the file in order must be one of `expected` with its own record, every live
    // slot reached once, the counts right.
    static void ExpectHolds(DataFile& file, const std::vector<uint64_t>& expected) {
        std::map<std::string, uint64_t> want;
        for (uint64_t i : expected) want[KeyOf(i)] = i;
        const FileInfo info = file.Info();
        EXPECT_EQ(info.keyCount, want.size());
        if (info.recordSize != 0) {
            EXPECT_EQ(info.slotCount - info.deletedCount, want.size());
        }
        std::string key;
        uint64_t number = 0;
        Status s = file.SeekKey({}, false, &key, &number);
        auto it = want.begin();
        std::vector<bool> reached(info.slotCount, false);
        for (; s.ok(); s = file.SeekKey(Span(key), true, &key, &number), ++it) {
            ASSERT_NE(it, want.end()) << "more keys than written";
            ASSERT_EQ(key, it->first);
            if (info.recordSize == 0) continue;
            ASSERT_LT(number, info.slotCount);
            ASSERT_FALSE(reached[number]);
            reached[number] = true;
            std::vector<uint8_t> record;
            ASSERT_OK(file.ReadRecord(number, &record));
            std::string text = RecordOf(it->second);
            text.resize(info.recordSize, ' ');
            ASSERT_EQ(std::string(record.begin(), record.end()), text);
        }
        EXPECT_EQ(s.code(), Error::kEndOfKeys);
        EXPECT_EQ(it, want.end()) << "keys missing";
    }
    static std::vector<uint64_t> Range(uint64_t first, uint64_t count) {
        std::vector<uint64_t> v(count);
        for (uint64_t i = 0; i < count; ++i) v[i] = first + i;
        return v;
    }

    uint64_t batch_ = 0;  // keys of 12 bytes in a full batch
    Engine engine_;
};

TEST_F(ScaleTest, WorkGrowsLinearlyWithTheRecordsWritten) {
    struct Run {
        uint64_t records;
        engine::WorkCounters work;
    };
    std::vector<Run> runs;
    for (uint64_t records : {25000, 50000, 100000, 200000}) {
        SCOPED_TRACE(records);
        const std::string name = "f" + std::to_string(records);
        engine::Counters() = {};
        auto file = CreateOpen(name, {FileType::kKeyed, 40, 12, 0});
        PutKeys(*file, 0, records);
        ASSERT_OK(engine_.Close(file));
        const engine::WorkCounters work = engine::Counters();
        // Each key sorted once, spilled at most once, written into the index once.
        EXPECT_EQ(work.keysSorted, records);
        EXPECT_EQ(work.runBytes, work.spills * batch_ * 20);
        EXPECT_EQ(work.spills, (records - 1) / batch_);
        EXPECT_EQ(work.merges, 1u);
        EXPECT_EQ(work.treeRebuilds, 1u);
        EXPECT_EQ(work.entriesWritten, records);
        EXPECT_EQ(work.commits, 1u);
        // The filter spares nearly every lookup in the runs (a key it lets by costs a block read
        // in each run); it grows by doubling.
        EXPECT_LT(work.runBlockReads, records * work.spills / 5000);
        // The first filter covers 16 batches; each rebuild doubles it.
        uint64_t doublings = 0;
        while ((16 * batch_ << doublings) < records) ++doublings;
        EXPECT_LE(work.filterRebuilds, doublings);
        runs.push_back({records, work});
        file = Open(name);
        ExpectHolds(*file, Range(0, records));
        EXPECT_OK(engine_.Close(file));
    }
    // Eight times the records: at most about eight times the work, for every count.
    const engine::WorkCounters& small = runs.front().work;
    const engine::WorkCounters& large = runs.back().work;
    auto linear = [](uint64_t a, uint64_t b) { return b <= 8 * a + 8 * a / 10 + 2; };
    EXPECT_TRUE(linear(small.spills, large.spills)) << small.spills << " " << large.spills;
    EXPECT_TRUE(linear(small.runBytes, large.runBytes));
    EXPECT_TRUE(linear(small.bytesCleared, large.bytesCleared))
        << small.bytesCleared << " " << large.bytesCleared;
    EXPECT_TRUE(linear(small.indexTxns, large.indexTxns))
        << small.indexTxns << " " << large.indexTxns;
    EXPECT_GT(large.indexTxns, 8u);  // the rebuild went in many bounded transactions
}

TEST_F(ScaleTest, PagesReadThroughTheMapsAreLetGoAgain) {
    auto file = CreateOpen("m", {FileType::kKeyed, 40, 12, 0});
    PutKeys(*file, 0, 20000);
    ASSERT_OK(engine_.Close(file));
    // Lookups of keys all over the index: each may bring in pages of the index and of the data
    // file; every 64K of them (the mapped budget) they are let go.
    file = Open("m");
    uint64_t releases[2] = {0, 0};
    for (int pass = 0; pass < 2; ++pass) {
        engine::Counters() = {};
        for (uint64_t n = 0; n < 2000u * (pass + 1); ++n) {
            std::vector<uint8_t> record;
            ASSERT_OK(file->Get(Span(KeyOf((n * 7919) % 20000)), &record));
        }
        releases[pass] = engine::Counters().mapReleases;
    }
    EXPECT_GE(releases[0], 2000u * 16384 / 65536 - 1);  // at least the index's
    EXPECT_LE(releases[1], 2 * releases[0] + 2);
    EXPECT_GE(releases[1], 2 * releases[0] - 2);
    ExpectHolds(*file, Range(0, 20000));
    EXPECT_OK(engine_.Close(file));
}

TEST_F(ScaleTest, DuplicatesAreRefusedWhereverTheFirstOneIs) {
    struct Shape {
        CreateOptions options;
        const char* name;
    };
    for (const Shape& shape : {Shape{{FileType::kKeyed, 40, 12, 0}, "type 4"},
                               Shape{{FileType::kExtendedKeyed, 40, 12, 10}, "type 36"},
                               Shape{{FileType::kKeyed, 0, 12, 0}, "key-only"}}) {
        SCOPED_TRACE(shape.name);
        const std::string name = std::string("d") + shape.name;
        auto file = CreateOpen(name, shape.options);
        PutKeys(*file, 0, 3000);
        ASSERT_OK(file->Flush());    // 0..2999 in the index
        PutKeys(*file, 3000, 7000);  // 3000..9999: five runs and a batch
        const engine::WorkCounters before = engine::Counters();
        ASSERT_GE(before.spills, 5u);
        const FileInfo info = file->Info();
        // The first of each key and where it went: the index, the first run, another key of the
        // runs, the batch (the last key put); then a new key put twice in a row.
        for (uint64_t i : {uint64_t{17}, uint64_t{3000}, uint64_t{3000 + 2 * batch_ + 5},
                           uint64_t{3000 + (6999 * 7919) % 7000}}) {
            const Status s = file->Put(Span(KeyOf(i)), Span(RecordOf(i)));
            EXPECT_EQ(s.code(), Error::kDuplicateKey) << i << ": " << s.message();
            std::vector<uint8_t> record;
            uint64_t number = 0;
            ASSERT_OK(file->Get(Span(KeyOf(i)), &record, &number));
            if (shape.options.recordSize != 0) {
                EXPECT_NE(s.message().find("(record " + std::to_string(number) + ")"),
                          std::string::npos)
                    << s.message();
            }
        }
        ASSERT_OK(file->Put(Span(KeyOf(10000)), Span(RecordOf(10000))));
        EXPECT_EQ(file->Put(Span(KeyOf(10000)), Span(RecordOf(10000))).code(),
                  Error::kDuplicateKey);
        // Nothing was written for a refused key.
        EXPECT_EQ(file->Info().slotCount, info.slotCount + (shape.options.recordSize ? 1 : 0));
        EXPECT_EQ(file->Info().keyCount, info.keyCount + 1);
        file = [&] {
            EXPECT_OK(engine_.Close(file));
            return Open(name);
        }();
        ExpectHolds(*file, Range(0, 10001));
        // And against the committed index after a reopen, where nothing is pending.
        EXPECT_EQ(file->Put(Span(KeyOf(9999)), Span(RecordOf(9999))).code(), Error::kDuplicateKey);
        EXPECT_OK(engine_.Close(file));
    }
}

TEST_F(ScaleTest, NewKeysGoInPlaceWhenFewAndIntoANewTreeWhenMany) {
    ASSERT_OK(SetBudgets("index-txn=1M"));
    auto file = CreateOpen("t", {FileType::kKeyed, 40, 12, 0});
    PutKeys(*file, 0, 20000);
    ASSERT_OK(file->Flush());
    EXPECT_EQ(engine::Counters().treeRebuilds, 1u);

    struct Step {
        uint64_t first, count;
        uint64_t rebuilds;  // tree rebuilds it takes
    };
    uint64_t next = 20000;
    for (const Step step : {Step{20000, 100, 0}, Step{20100, 1000, 0}, Step{21100, 12000, 1}}) {
        SCOPED_TRACE(step.first);
        const engine::WorkCounters before = engine::Counters();
        PutKeys(*file, step.first, step.count);
        ASSERT_OK(file->Flush());
        const engine::WorkCounters& after = engine::Counters();
        EXPECT_EQ(after.treeRebuilds - before.treeRebuilds, step.rebuilds);
        EXPECT_EQ(after.entriesWritten - before.entriesWritten,
                  step.rebuilds ? step.first + step.count : step.count);
        next = step.first + step.count;
    }
    // Deletions and keys put in place wait in the write transaction when a rebuild comes: they
    // commit first, then the rebuild.
    std::vector<uint64_t> live = Range(0, next);
    for (uint64_t i = 0; i < 90; i += 3) ASSERT_OK(file->DeleteKey(Span(KeyOf(i))));
    std::string first;
    PutKeys(*file, next, 50);  // a few new keys, then a read: they go in place
    ASSERT_OK(file->SeekKey({}, false, &first));
    PutKeys(*file, next + 50, 15000);  // then many
    live.erase(
        std::remove_if(live.begin(), live.end(), [](uint64_t i) { return i < 90 && i % 3 == 0; }),
        live.end());
    for (uint64_t i = next; i < next + 15050; ++i) live.push_back(i);
    for (int pass = 0; pass < 2; ++pass) {
        ExpectHolds(*file, live);
        EXPECT_EQ(file->Info().deletedCount, 30u);
        ASSERT_OK(engine_.Close(file));
        file = Open("t");
    }
    EXPECT_OK(engine_.Close(file));
}

TEST_F(ScaleTest, ReadsAndDeletionsBetweenSpillsSeeEveryKey) {
    auto file = CreateOpen("r", {FileType::kExtendedKeyed, 40, 12, 10});
    PutKeys(*file, 0, 5000);  // runs and a batch, nothing committed
    std::vector<uint8_t> record;
    uint64_t number = 0;
    for (uint64_t i : {uint64_t{0}, uint64_t{2500}, uint64_t{4999}}) {
        ASSERT_OK(file->Get(Span(KeyOf(i)), &record, &number));  // from runs or the batch
        EXPECT_EQ(std::string(record.begin(), record.begin() + 22), RecordOf(i).substr(0, 22));
    }
    ASSERT_OK(file->DeleteKey(Span(KeyOf(10))));
    ASSERT_OK(file->DeleteRecord(number));  // key 4999's slot
    PutKeys(*file, 5000, 3000);
    std::vector<uint64_t> live;
    for (uint64_t i = 0; i < 8000; ++i) {
        if (i != 10 && i != 4999) live.push_back(i);
    }
    ExpectHolds(*file, live);
    ASSERT_OK(engine_.Close(file));
    file = Open("r");
    ExpectHolds(*file, live);
    EXPECT_OK(engine_.Close(file));
}

TEST_F(ScaleTest, FilterFullCommitsInsteadOfSpilling) {
    // A filter budget of 2048 bytes covers 682 keys: less than two batches.
    ASSERT_OK(SetBudgets("filter=2K"));
    auto file = CreateOpen("c", {FileType::kKeyed, 40, 12, 0});
    PutKeys(*file, 0, 20000);
    ASSERT_OK(engine_.Close(file));
    const engine::WorkCounters& work = engine::Counters();
    EXPECT_EQ(work.spills, 0u);
    EXPECT_EQ(work.merges, 20000u / batch_ + 1);  // every full batch went into the index
    file = Open("c");
    ExpectHolds(*file, Range(0, 20000));
    EXPECT_OK(engine_.Close(file));
}

TEST_F(ScaleTest, RecordNumberFindsItsKeyWithoutAWalk) {
    auto file = CreateOpen("k", {FileType::kKeyed, 40, 12, 0});
    PutKeys(*file, 0, 6000);
    ASSERT_OK(engine_.Close(file));
    const std::string column = engine::KeyColumn::PathFor(PathOf("k"));
    ASSERT_TRUE(std::filesystem::exists(column));

    // The record number of each key, and the keys deleted by their record number.
    std::map<uint64_t, uint64_t> keyOfSlot;
    file = Open("k");
    for (uint64_t i = 0; i < 6000; ++i) {
        std::vector<uint8_t> record;
        uint64_t number = 0;
        ASSERT_OK(file->Get(Span(KeyOf(i)), &record, &number));
        keyOfSlot[number] = i;
    }
    std::vector<uint64_t> deleted;
    auto deleteSlot = [&](uint64_t slot) {
        ASSERT_OK(file->DeleteRecord(slot));
        deleted.push_back(keyOfSlot.at(slot));
    };
    engine::Counters() = {};
    for (uint64_t slot = 5; slot < 6000; slot += 97) deleteSlot(slot);
    PutKeys(*file, 6000, 100);  // uncommitted slots 6000..6099, their keys in the batch
    keyOfSlot[6000] = 6000;     // the first one put (the scattered order starts at 0)
    deleteSlot(6000);
    EXPECT_EQ(engine::Counters().indexWalks, 0u);

    // A file whose column is missing (as one written before there were columns), or wrong:
    // the first deletion fills the column in with walks over the index, the next ones need none.
    struct Damage {
        const char* what;
        uint64_t slots[3];  // deleted by number, the first one with walks
    };
    for (const Damage damage : {Damage{"missing", {3, 4, 5999}}, Damage{"wrong", {6, 7, 5998}}}) {
        SCOPED_TRACE(damage.what);
        ASSERT_OK(engine_.Close(file));
        if (std::string(damage.what) == "missing") {
            std::filesystem::remove(column);
        } else {
            std::fstream f(column, std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(64);
            f << std::string(6100 * 12, 'x');
        }
        file = Open("k");
        engine::Counters() = {};
        deleteSlot(damage.slots[0]);
        // One walk per window of slots that the run buffers hold (64K / 12 bytes = 5461).
        EXPECT_EQ(engine::Counters().indexWalks, 2u);
        deleteSlot(damage.slots[1]);
        deleteSlot(damage.slots[2]);
        EXPECT_EQ(engine::Counters().indexWalks, 2u);
    }
    std::vector<uint64_t> live;
    for (uint64_t i = 0; i < 6100; ++i) {
        if (std::find(deleted.begin(), deleted.end(), i) == deleted.end()) live.push_back(i);
    }
    ExpectHolds(*file, live);
    EXPECT_EQ(file->Info().deletedCount, deleted.size());
    EXPECT_OK(engine_.Close(file));
}

TEST_F(ScaleTest, PartsBesideTheDataFileComeAndGoWithIt) {
    // A data file of its own where the key column of "p" would go: left alone, and "p" works
    // without a column.
    {
        auto other = CreateOpen("p.idx-keys", {FileType::kRecords1, 8, 0, 0});
        ASSERT_OK(other->AppendRecord(Bytes("precious"), nullptr));
        ASSERT_OK(engine_.Close(other));
    }
    const auto otherBytes = std::filesystem::file_size(PathOf("p.idx-keys"));
    // A spill file left behind by a writer killed at the wrong moment.
    std::ofstream(PathOf("p.idx-runs")) << "left behind";
    auto file = CreateOpen("p", {FileType::kKeyed, 40, 12, 0});
    EXPECT_FALSE(std::filesystem::exists(PathOf("p.idx-runs")));
    std::ofstream(PathOf("p.idx-runs")) << "left behind again";  // the next writer removes it
    PutKeys(*file, 0, 3000);
    EXPECT_FALSE(std::filesystem::exists(PathOf("p.idx-runs")));
    ASSERT_OK(file->DeleteRecord(7));
    ASSERT_OK(engine_.Close(file));
    EXPECT_EQ(std::filesystem::file_size(PathOf("p.idx-keys")), otherBytes);

    // Erase takes the column with it, never the other file.
    auto q = CreateOpen("q", {FileType::kKeyed, 40, 12, 0});
    PutKeys(*q, 0, 10);
    ASSERT_OK(engine_.Close(q));
    ASSERT_TRUE(std::filesystem::exists(PathOf("q.idx-keys")));
    ASSERT_OK(engine_.Erase(PathOf("q")));
    ASSERT_OK(engine_.Erase(PathOf("p")));
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"p.idx-keys"});
}

}  // namespace
}  // namespace talvo
