#include "talvo/tool/file_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace talvo::tool {
namespace {

// A data file held in memory whose index is a list walked in list order, so that a test can
// damage it in any way.
class FakeFile : public DataFile {
  public:
    FileInfo info;
    std::vector<std::string> records;
    std::vector<std::pair<std::string, uint64_t>> index;

    FileInfo Info() const override { return info; }
    Status ReadRecord(uint64_t n, std::vector<uint8_t>* record) override {
        if (n >= records.size()) return {Error::kNotFound, "no record"};
        record->assign(records[n].begin(), records[n].end());
        return {};
    }
    Status Get(std::span<const uint8_t> key, std::vector<uint8_t>*, uint64_t* n) override {
        std::string k(key.begin(), key.end());
        for (const auto& [ik, in] : index) {
            if (ik == k) {
                *n = in;
                return {};
            }
        }
        return {Error::kNotFound, "no key"};
    }
    Status SeekKey(std::span<const uint8_t> key, bool strictlyAfter, std::string* found,
                   uint64_t* n) override {
        size_t at = 0;
        if (strictlyAfter) {
            std::string k(key.begin(), key.end());
            auto it = std::find_if(index.begin(), index.end(),
                                   [&](const auto& e) { return e.first == k; });
            at = it - index.begin() + 1;
        }
        if (at >= index.size()) return {Error::kEndOfKeys, "end"};
        *found = index[at].first;
        *n = index[at].second;
        return {};
    }
    Status AppendRecord(std::span<const uint8_t>, uint64_t*) override { return Unused(); }
    Status Put(std::span<const uint8_t>, std::span<const uint8_t>, uint64_t*) override {
        return Unused();
    }
    Status DeleteKey(std::span<const uint8_t>) override { return Unused(); }
    Status DeleteRecord(uint64_t) override { return Unused(); }
    Status NewKeyReader(std::unique_ptr<KeyReader>*) override { return Unused(); }
    Status GetSubKey(int, SubKeyDef*) override { return Unused(); }
    Status AddSubKey(const SubKeyDef&, int*) override { return Unused(); }
    Status Flush() override { return Unused(); }
    int NativeHandle() const override { return -1; }

  private:
    static Status Unused() { return {Error::kNotSupported, "not in the fake"}; }
};

// A sound type 36 file: key of 3 bytes at position 1, record 2 deleted (mark at byte 8).
FakeFile SoundFile() {
    FakeFile f;
    f.info.type = FileType::kExtendedKeyed;
    f.info.recordSize = 10;
    f.info.keySize = 3;
    f.info.keyPosition = 1;
    f.records = {"xBBBxxxxxx", "xAAAxxxxxx", "xCCCxxxx\xFEx", "xDDDxxxxxx"};
    f.index = {{"AAA", 1}, {"BBB", 0}, {"DDD", 3}};
    f.info.slotCount = 4;
    f.info.deletedCount = 1;
    f.info.keyCount = 3;
    return f;
}

std::vector<std::string> Check(FakeFile& f, CheckSummary* summary = nullptr) {
    std::vector<std::string> problems;
    CheckSummary local;
    bool sound = CheckDataFile(f, &problems, summary ? summary : &local);
    EXPECT_EQ(sound, problems.empty());
    return problems;
}

TEST(CheckDataFile, SoundFileHasNoProblems) {
    FakeFile f = SoundFile();
    CheckSummary summary;
    EXPECT_EQ(Check(f, &summary), std::vector<std::string>{});
    EXPECT_EQ(summary.slots, 4u);
    EXPECT_EQ(summary.deleted, 1u);
    EXPECT_EQ(summary.keys, 3u);
}

TEST(CheckDataFile, EachKindOfDamageIsNamed) {
    struct Case {
        const char* what;
        std::function<void(FakeFile&)> damage;
        const char* expected;
    };
    const Case cases[] = {
        {"key on a deleted record", [](FakeFile& f) { f.index[2].second = 2; },
         "key \"DDD\" (444444) points to record 2, which is deleted"},
        {"live record without key",
         [](FakeFile& f) {
             f.index.pop_back();
             --f.info.keyCount;
         },
         "record 3 has no key"},
        {"record disagrees with its key", [](FakeFile& f) { f.records[3][2] = 'Z'; },
         "key \"DDD\" (444444) points to record 3, whose key at position 1 is \"DZD\""},
        {"two keys on one record", [](FakeFile& f) { f.index[1].second = 1; },
         "points to record 1, which another key also points to"},
        {"key past the last record", [](FakeFile& f) { f.index[2].second = 9; },
         "points to record 9, past the last record"},
        {"keys out of order", [](FakeFile& f) { std::swap(f.index[0], f.index[1]); },
         "key \"AAA\" (414141) follows \"BBB\" (424242): the index is out of order"},
        {"key count", [](FakeFile& f) { f.info.keyCount = 4; },
         "the index holds 3 keys, but its descriptor counts 4"},
        {"deleted count", [](FakeFile& f) { f.info.deletedCount = 0; },
         "1 records are marked deleted, but the descriptor counts 0"},
        {"slot count", [](FakeFile& f) { f.info.slotCount = 5; },
         "the file holds 4 record slots, but its descriptor counts 5"},
        {"short key", [](FakeFile& f) { f.index[2].first = "DD"; },
         "key \"DD\" (4444) has 2 bytes, not the key size 3"},
        {"short record", [](FakeFile& f) { f.records[0].pop_back(); },
         "record 0 has 9 bytes, not the record size 10"},
    };
    for (const Case& c : cases) {
        FakeFile f = SoundFile();
        c.damage(f);
        std::vector<std::string> problems = Check(f);
        bool found = std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
            return p.find(c.expected) != std::string::npos;
        });
        EXPECT_TRUE(found) << c.what << "; got:\n" << ::testing::PrintToString(problems);
    }
}

TEST(CheckDataFile, RecordsOnlyFileWithAMarkByteIsNotDeleted) {
    FakeFile f;
    f.info.type = FileType::kRecords1;
    f.info.recordSize = 10;
    f.records = {"xxxxxxxx\xFEx", "xxxxxx\xFExxx"};
    f.info.slotCount = 2;
    EXPECT_EQ(Check(f), std::vector<std::string>{});
}

TEST(CheckDataFile, ManyProblemsAreCappedWithACount) {
    FakeFile f = SoundFile();
    f.index.clear();
    f.info.keyCount = 0;
    f.records.assign(kMaxProblemTexts + 10, "xAAAxxxxxx");
    f.info.slotCount = f.records.size();
    f.info.deletedCount = 0;
    std::vector<std::string> problems = Check(f);
    ASSERT_EQ(problems.size(), kMaxProblemTexts + 1);
    EXPECT_EQ(problems.back(), "... and 10 more problems");
}

}  // namespace
}  // namespace talvo::tool
