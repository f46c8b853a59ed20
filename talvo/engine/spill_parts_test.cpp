// The pieces that keep a large write within its budgets, each on its own: the batch, the filter,
// the spilled runs and their merge, and the budgets' text form.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/key_filter.h"
#include "talvo/engine/pending_keys.h"
#include "talvo/engine/sorted_source.h"
#include "talvo/engine/spilled_runs.h"
#include "talvo/engine/tuning.h"

namespace talvo::engine {
namespace {

using testing::Span;

// n distinct keys of `size` bytes; with `shared` > 0 every key starts with the same bytes, so
// that the order is decided after them.
std::vector<std::string> MakeKeys(size_t n, size_t size, size_t shared, uint64_t seed) {
    std::mt19937_64 random(seed);
    std::set<std::string> seen;
    std::vector<std::string> keys;
    while (keys.size() < n) {
        std::string key(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            key[i] = i < shared ? 'S' : static_cast<char>(random() & 0xFF);
        }
        if (seen.insert(key).second) keys.push_back(key);
    }
    return keys;
}

const uint8_t* U(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The hash of a key, word by word as the table and the filter have always had it: its tail
// loaded without a library call must give the same words, at every key size and whatever the
// bytes, at any alignment.
TEST(KeyHashTest, SameAsWordByWordAtEverySize) {
    const auto reference = [](const uint8_t* key, size_t size) {
        uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
        size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, key + i, 8);
            h = (h ^ word) * 0xBF58476D1CE4E5B9ull;
            h ^= h >> 31;
        }
        if (i < size) {
            uint64_t word = 0;
            std::memcpy(&word, key + i, size - i);
            h = (h ^ word) * 0x94D049BB133111EBull;
            h ^= h >> 29;
        }
        h *= 0xD6E8FEB86659FD93ull;
        return h ^ (h >> 32);
    };
    std::mt19937_64 random(7);
    std::vector<uint8_t> bytes(300);
    for (int fill = 0; fill < 3; ++fill) {
        for (uint8_t& b : bytes) {
            b = fill == 0 ? 0xFF : fill == 1 ? 0x00 : static_cast<uint8_t>(random());
        }
        for (size_t size = 1; size <= 255; ++size) {
            for (size_t at : {size_t{0}, size_t{3}, 300 - size}) {
                ASSERT_EQ(KeyHash(bytes.data() + at, size), reference(bytes.data() + at, size))
                    << "a key of " << size << " bytes at " << at << ", fill " << fill;
            }
        }
    }
}

TEST(PendingKeysTest, FindsSortsAndStaysWithinItsBudget) {
    struct Case {
        size_t keySize;
        size_t shared;  // leading bytes all keys have in common
        size_t budget;
    };
    for (const Case c : {Case{1, 0, 4096}, Case{3, 0, 20000}, Case{8, 0, 20000}, Case{12, 8, 50000},
                         Case{12, 11, 50000}, Case{255, 250, 200000}}) {
        SCOPED_TRACE(std::to_string(c.keySize) + "/" + std::to_string(c.shared));
        PendingKeys batch(c.keySize, c.budget);
        // As many keys as fit, and as the free bytes can tell apart.
        const size_t free = c.keySize - c.shared;
        const size_t n = std::min<size_t>(batch.capacity(), free == 1 ? 256 : 60000);
        ASSERT_GE(n, 16u);
        const std::vector<std::string> keys = MakeKeys(n, c.keySize, c.shared, c.keySize);
        WorkCounters counters;
        for (int round = 0; round < 2; ++round) {  // a second batch in the memory of the first
            for (size_t i = 0; i < n; ++i) {
                uint64_t number = 0;
                const uint64_t hash = KeyHash(U(keys[i]), c.keySize);
                ASSERT_FALSE(batch.Find(U(keys[i]), hash, &number));
                batch.Add(U(keys[i]), hash, 1000 + i);
                ASSERT_TRUE(batch.Find(U(keys[i]), hash, &number));
                ASSERT_EQ(number, 1000 + i);
            }
            EXPECT_EQ(batch.full(), n == batch.capacity());
            batch.Sort(&counters);
            EXPECT_LE(batch.bytes(), std::max<size_t>(c.budget, 16 * (c.keySize + 24) + 8192));
            std::vector<std::string> sorted = keys;
            std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
                return std::memcmp(a.data(), b.data(), a.size()) < 0;
            });
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(batch.SortedKey(i)), c.keySize),
                          sorted[i]);
                const size_t at = std::find(keys.begin(), keys.end(), sorted[i]) - keys.begin();
                ASSERT_EQ(batch.SortedNumber(i), 1000 + at);
            }
            batch.Clear(&counters);
            EXPECT_TRUE(batch.empty());
            uint64_t number = 0;
            EXPECT_FALSE(batch.Find(U(keys[0]), KeyHash(U(keys[0]), c.keySize), &number));
        }
        EXPECT_EQ(counters.keysSorted, 2 * n);
        EXPECT_GT(counters.bytesCleared, 0u);
    }
}

// Keys of nothing but 0x00 and 0xFF bytes (the byte values where a signed char or a lost
// zero-padding would show), of every length around the eight-byte steps of the sort.
TEST(PendingKeysTest, SortsKeysOfExtremeBytesAsMemcmpDoes) {
    for (size_t size : {size_t{1}, size_t{2}, size_t{7}, size_t{8}, size_t{9}, size_t{15},
                        size_t{16}, size_t{17}, size_t{40}}) {
        SCOPED_TRACE(size);
        std::vector<std::string> keys;
        std::mt19937_64 random(size);
        std::set<std::string> seen;
        const size_t n =
            size == 1 ? 2 : std::min<size_t>(size_t{1} << std::min<size_t>(size, 12), 3000);
        while (keys.size() < n) {
            std::string key(size, '\0');
            // Long keys differ only near their end, so that the sort goes through every step.
            for (size_t i = size > 12 ? size - 12 : 0; i < size; ++i) {
                key[i] = (random() & 1) != 0 ? '\xFF' : '\0';
            }
            if (seen.insert(key).second) keys.push_back(key);
        }
        PendingKeys batch(size, 1 << 20);
        ASSERT_GE(batch.capacity(), n);
        for (size_t i = 0; i < n; ++i) batch.Add(U(keys[i]), KeyHash(U(keys[i]), size), i);
        WorkCounters counters;
        batch.Sort(&counters);
        std::vector<std::string> sorted(seen.begin(), seen.end());  // std::string orders as memcmp
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(std::string(reinterpret_cast<const char*>(batch.SortedKey(i)), size),
                      sorted[i])
                << "at " << i;
            ASSERT_EQ(keys[batch.SortedNumber(i)], sorted[i]);
        }
    }
}

TEST(KeyFilterTest, NeverMissesAKeyAndRarelyLetsANewOneBy) {
    const size_t n = 50000;
    const std::vector<std::string> keys = MakeKeys(2 * n, 12, 0, 9);
    KeyFilter filter;
    EXPECT_FALSE(filter.MayContain(KeyHash(U(keys[0]), 12)));  // no filter yet: nothing in it
    for (uint64_t capacity : {uint64_t{n}, uint64_t{4 * n}}) {
        ASSERT_TRUE(filter.Reset(capacity));
        EXPECT_EQ(filter.bytes(), KeyFilter::BytesFor(capacity));
        EXPECT_EQ(filter.bytes() % KeyFilter::kBlockBytes, 0u);
        std::vector<uint64_t> hashes;
        for (size_t i = 0; i < n; ++i) hashes.push_back(KeyHash(U(keys[i]), 12));
        filter.AddMany(hashes.data(), n / 2);
        for (size_t i = n / 2; i < n; ++i) filter.Add(hashes[i]);
        EXPECT_EQ(filter.size(), n);
        for (uint64_t h : hashes) ASSERT_TRUE(filter.MayContain(h));
        size_t letBy = 0;
        for (size_t i = n; i < 2 * n; ++i) letBy += filter.MayContain(KeyHash(U(keys[i]), 12));
        EXPECT_LT(letBy, n / 500) << "of " << n << " new keys at capacity " << capacity;
    }
    filter.Release();
    EXPECT_EQ(filter.bytes(), 0u);
}

class SpilledRunsTest : public testing::TempDirTest {};

TEST_F(SpilledRunsTest, RunsFindTheirKeysAndMergeInOrder) {
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed spill file" : "named spill file");
        Tuning tuning;
        tuning.unnamedSpillFile = unnamed;
        tuning.runBufferBytes = kMinBudget;  // readers refill often
        const std::string data = PathOf("data");
        const std::vector<std::string> keys = MakeKeys(3000, 12, 0, 3);
        SpilledRuns runs(data, 12);
        PendingKeys batch(12, 200000);
        WorkCounters counters;
        size_t next = 0;
        for (size_t size : {size_t{1}, size_t{700}, size_t{299}, size_t{1000}}) {  // four runs
            for (size_t i = 0; i < size; ++i, ++next) {
                batch.Add(U(keys[next]), KeyHash(U(keys[next]), 12), next);
            }
            batch.Sort(&counters);
            ASSERT_OK(runs.Spill(batch, tuning, &counters));
            batch.Clear(&counters);
        }
        // The spill file has no name while it is in use.
        EXPECT_FALSE(std::filesystem::exists(SpilledRuns::NamedPath(data)));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 0);
        EXPECT_EQ(runs.runCount(), 4u);
        EXPECT_EQ(runs.keyCount(), next);
        EXPECT_EQ(counters.spills, 4u);
        EXPECT_EQ(counters.runBytes, next * 20);
        for (size_t i = 0; i < keys.size(); ++i) {
            bool found = false;
            uint64_t number = 0;
            ASSERT_OK(runs.Find(U(keys[i]), &found, &number, &counters));
            ASSERT_EQ(found, i < next) << i;
            if (found) {
                ASSERT_EQ(number, i);
            }
        }
        // A fifth source, the batch, merged with the runs: every key once, ascending.
        for (size_t i = next; i < keys.size(); ++i)
            batch.Add(U(keys[i]), KeyHash(U(keys[i]), 12), i);
        batch.Sort(&counters);
        std::vector<std::unique_ptr<SortedSource>> sources;
        for (size_t r = 0; r < runs.runCount(); ++r) {
            std::unique_ptr<SortedSource> reader;
            ASSERT_OK(runs.Reader(r, 100, &reader));
            sources.push_back(std::move(reader));
        }
        sources.push_back(std::make_unique<BatchSource>(batch));
        MergedSource merged(std::move(sources), 12);
        ASSERT_OK(merged.Start());
        std::vector<std::string> out;
        std::vector<bool> numbers(keys.size(), false);
        while (merged.valid()) {
            out.emplace_back(reinterpret_cast<const char*>(merged.key()), 12);
            ASSERT_LT(merged.number(), keys.size());
            ASSERT_EQ(keys[merged.number()], out.back());
            numbers[merged.number()] = true;
            ASSERT_OK(merged.Next());
        }
        std::vector<std::string> sorted = keys;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(out, sorted);
        EXPECT_EQ(std::count(numbers.begin(), numbers.end(), true), static_cast<long>(keys.size()));
        runs.Clear();
        EXPECT_TRUE(runs.empty());
    }
}

// The merge tells a key that comes twice, or a source out of order, by the first 8 bytes as a
// number and by the bytes after them where those agree: keys shorter than 8 bytes, keys that
// differ only after their first 8 bytes, and longer ones.
TEST_F(SpilledRunsTest, MergeRefusesAKeyThatComesTwiceOrOutOfOrder) {
    for (const size_t size : {size_t{4}, size_t{12}, size_t{20}}) {
        SCOPED_TRACE("keys of " + std::to_string(size) + " bytes");
        std::vector<std::string> keys = MakeKeys(6, size, size > 8 ? 8 : 0, 5);
        std::sort(keys.begin(), keys.end());
        const auto merge = [&](std::vector<std::vector<size_t>> lists) {
            std::vector<std::vector<IndexEntry>> entries;
            for (const auto& list : lists) {
                entries.emplace_back();
                for (size_t k : list) entries.back().push_back({U(keys[k]), k});
            }
            std::vector<std::unique_ptr<SortedSource>> sources;
            for (const auto& e : entries) sources.push_back(std::make_unique<EntrySource>(e));
            MergedSource merged(std::move(sources), size);
            Status s = merged.Start();
            size_t delivered = 0;
            while (s.ok() && merged.valid()) {
                ++delivered;
                s = merged.Next();
            }
            return std::make_pair(s.code(), delivered);
        };
        EXPECT_EQ(merge({{0, 2, 4}, {1, 3, 5}}), std::make_pair(Error::kOk, size_t{6}));
        EXPECT_EQ(merge({{0, 1}, {1}}).first, Error::kDamaged);           // twice, two sources
        EXPECT_EQ(merge({{0, 3, 3, 5}, {1}}).first, Error::kDamaged);     // twice in one
        EXPECT_EQ(merge({{0, 4, 2}, {1, 3, 5}}).first, Error::kDamaged);  // one out of order
    }
}

TEST_F(SpilledRunsTest, NamedSpillFileNeverTakesTheNameOfAFileOfItsOwn) {
    const std::string data = PathOf("data");
    const std::string named = SpilledRuns::NamedPath(data);
    Tuning tuning;
    tuning.unnamedSpillFile = false;
    PendingKeys batch(4, 4096);
    WorkCounters counters;
    batch.Add(U(std::string("KEY1")), KeyHash(U(std::string("KEY1")), 4), 0);
    batch.Sort(&counters);

    // A spill file left by a writer killed between making and unlinking it: removed.
    std::ofstream(named) << "left behind";
    ASSERT_OK(SpilledRuns::RemoveLeftover(data));
    EXPECT_FALSE(std::filesystem::exists(named));

    // A data file of its own under that name (here: a header copy with the data file magic).
    std::string header(8192, '\0');
    std::memcpy(header.data(), "TLVDATA\x1A", 8);
    std::ofstream(named, std::ios::binary) << header;
    ASSERT_OK(SpilledRuns::RemoveLeftover(data));
    EXPECT_TRUE(std::filesystem::exists(named));
    SpilledRuns runs(data, 4);
    const Status s = runs.Spill(batch, tuning, &counters);
    EXPECT_EQ(s.code(), Error::kFileExists) << s.message();
    EXPECT_EQ(std::filesystem::file_size(named), 8192u);
    EXPECT_TRUE(runs.empty());
}

TEST(BudgetsTest, TextFormIsReadStrictly) {
    struct Case {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"", true},
        {"pending-keys=64M", true},
        {" filter = 1G , run-buffers=4096,index-txn=2k ,mapped=8m", true},
        {"slot-buffer=1024", true},
        {"slot-buffer=1023", false},  // below the least
        {"pending=64M", false},       // no such budget
        {"filter=", false},
        {"filter", false},
        {"filter=-1", false},
        {"filter=12X", false},
        {"filter=1.5M", false},
        {"filter=1025G", false},                    // above 1T
        {"filter=99999999999999999999999", false},  // would overflow
        {"filter=64M,mapped", false},
    };
    for (const Case& c : cases) {
        Tuning tuning;
        tuning.filterBytes = 12345;
        const Status s = ParseBudgets(c.text, &tuning);
        EXPECT_EQ(s.ok(), c.ok) << c.text << ": " << s.message();
        if (!c.ok) {
            EXPECT_EQ(s.code(), Error::kInvalidArgument);
            EXPECT_EQ(tuning.filterBytes, 12345u) << c.text;  // unchanged on failure
        }
    }
    Tuning tuning;
    ASSERT_OK(ParseBudgets(" filter = 1G , run-buffers=4096,index-txn=2k ,mapped=8m,read-ahead=3M",
                           &tuning));
    EXPECT_EQ(tuning.filterBytes, size_t{1} << 30);
    EXPECT_EQ(tuning.runBufferBytes, 4096u);
    EXPECT_EQ(tuning.commitBytes, 2048u);
    EXPECT_EQ(tuning.mappedBytes, size_t{8} << 20);
    EXPECT_EQ(tuning.readAheadBytes, size_t{3} << 20);
    Tuning again;
    ASSERT_OK(ParseBudgets(BudgetsText(tuning), &again));
    EXPECT_EQ(BudgetsText(again), BudgetsText(tuning));
    EXPECT_EQ(BudgetsText(Tuning{}),
              "slot-buffer=1M,pending-keys=16M,filter=64M,run-buffers=16M,index-txn=64M,"
              "mapped=64M,read-ahead=32M");
}

}  // namespace
}  // namespace talvo::engine
