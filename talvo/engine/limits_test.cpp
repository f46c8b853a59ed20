// Files under a limit of the address space: the map of an index is sized to the file and grows
// with it, a process that opened a file before another one made it grow writes on, and a real
// shortage of memory is told as memory and loses nothing that was committed. The children that
// run under a limit are forked, so that the limit stays theirs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/tuning.h"
#include "talvo/tool/file_check.h"

// The address sanitizer reserves terabytes of address space for its shadow: under a limit of
// the address space nothing would run.
#if defined(__SANITIZE_ADDRESS__)
#define TALVO_ADDRESS_LIMITS 0
#else
#define TALVO_ADDRESS_LIMITS 1
#endif

namespace talvo {
namespace {

using engine::testing::Span;

constexpr uint64_t kGiB = uint64_t{1} << 30;

std::string KeyOf(uint64_t i) {
    char text[16];
    std::snprintf(text, sizeof text, "%010llu",
                  static_cast<unsigned long long>((i * 2654435761u) % 10000000000ull));
    return text;
}

std::string RecordOf(const std::string& key) {
    return key + "/record/" + key;
}

// Runs `body` in a child process under an address-space limit (none: 0); its exit status (0
// when body returned true), or -1 when it did not exit.
int RunLimited(uint64_t addressSpace, const std::function<bool()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (addressSpace != 0) {
            const struct rlimit limit = {addressSpace, addressSpace};
            if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(90);
        }
        const bool ok = body();
        std::fflush(nullptr);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Puts keys first..first+count-1; false (telling why on standard error) on the first failure.
bool PutKeys(DataFile& file, uint64_t first, uint64_t count) {
    for (uint64_t i = first; i < first + count; ++i) {
        const std::string key = KeyOf(i);
        const Status s = file.Put(Span(key), Span(RecordOf(key)));
        if (!s.ok()) {
            std::fprintf(stderr, "put %llu: %s\n", static_cast<unsigned long long>(i),
                         s.message().c_str());
            return false;
        }
    }
    return true;
}

class LimitsTest : public engine::testing::TempDirTest {
  protected:
    void TearDown() override {
        engine::CurrentTuning() = engine::Tuning();
        TempDirTest::TearDown();
    }

    // A new file holding keys 0..count-1, committed.
    void MakeFile(const std::string& path, uint64_t count) {
        Engine engine;
        ASSERT_OK(engine.Create(path, {FileType::kKeyed, 32, 10, 0}));
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        ASSERT_TRUE(PutKeys(*file, 0, count));
        ASSERT_OK(engine.Close(file));
    }

    // `talvo check`'s problems with the file (empty: sound) and its key count.
    static std::string Problems(const std::string& path, uint64_t* keys) {
        Engine engine;
        std::shared_ptr<DataFile> file;
        const Status s = engine.Open(path, &file);
        if (!s.ok()) return s.message();
        std::vector<std::string> problems;
        tool::CheckSummary summary;
        tool::CheckDataFile(*file, &problems, &summary);
        *keys = file->Info().keyCount;
        (void)engine.Close(file);
        std::string text;
        for (const std::string& p : problems) text += p + "\n";
        return text;
    }
};

TEST_F(LimitsTest, TheMapGrowsWithTheIndexInTransactionsOfEverySize) {
    // Small transactions and large ones: each must find room in the map, through many growths
    // of it, in place, by rebuilds and with deletions.
    for (const char* budgets : {"index-txn=64K,pending-keys=64K", "index-txn=4M"}) {
        SCOPED_TRACE(budgets);
        ASSERT_OK(SetBudgets(budgets));
        const std::string path = PathOf(std::string("grow") + budgets);
        MakeFile(path, 1000);
        const uint64_t growthsBefore = engine::Counters().mapGrowths;
        Engine engine;
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        for (uint64_t round = 0; round < 6; ++round) {
            ASSERT_TRUE(PutKeys(*file, 1000 + round * 50000, 50000));
            for (uint64_t i = round * 997; i < round * 997 + 40; ++i) {
                ASSERT_OK(file->DeleteKey(Span(KeyOf(i))));
            }
            ASSERT_OK(file->Flush());
        }
        ASSERT_OK(engine.Close(file));
        EXPECT_GT(engine::Counters().mapGrowths, growthsBefore + 1);
        uint64_t keys = 0;
        EXPECT_EQ(Problems(path, &keys), "");
        EXPECT_EQ(keys, 1000u + 6 * 50000 - 6 * 40);
    }
}

TEST_F(LimitsTest, AProcessWritesOnAfterAnotherMadeTheFileOutgrowItsMap) {
    const std::string path = PathOf("shared");
    MakeFile(path, 100);
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Opened while the file is small: its map is small.
        ::close(go[1]);
        Engine engine;
        std::shared_ptr<DataFile> file;
        if (!engine.Open(path, &file).ok()) ::_exit(2);
        uint8_t byte = 0;
        if (::read(go[0], &byte, 1) != 1) ::_exit(3);
        if (!PutKeys(*file, 500000, 10)) ::_exit(4);
        ::_exit(engine.Close(file).ok() ? 0 : 5);
    }
    ::close(go[0]);
    ::usleep(100000);  // the child has opened the file
    {
        Engine engine;
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        ASSERT_TRUE(PutKeys(*file, 100, 200000));
        ASSERT_OK(engine.Close(file));
    }
    ASSERT_EQ(::write(go[1], "x", 1), 1);
    ::close(go[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    uint64_t keys = 0;
    EXPECT_EQ(Problems(path, &keys), "");
    EXPECT_EQ(keys, 200110u);
}

TEST_F(LimitsTest, FilesOpenAndFillUnderAnAddressSpaceLimit) {
    if (!TALVO_ADDRESS_LIMITS) GTEST_SKIP() << "the sanitizer needs more address space";
    const std::string path = PathOf("limited");
    MakeFile(path, 1000);
    const int status = RunLimited(2 * kGiB, [&] {
        Engine engine;
        std::shared_ptr<DataFile> file;
        Status s = engine.Open(path, &file);
        if (!s.ok()) {
            std::fprintf(stderr, "open: %s\n", s.message().c_str());
            return false;
        }
        if (!PutKeys(*file, 1000, 300000)) return false;
        s = engine.Close(file);
        if (!s.ok()) std::fprintf(stderr, "close: %s\n", s.message().c_str());
        const std::string made = path + "-new";
        s = s.ok() ? engine.Create(made, {FileType::kExtendedKeyed, 40, 10, 5}) : s;
        if (!s.ok()) std::fprintf(stderr, "create: %s\n", s.message().c_str());
        return s.ok();
    });
    EXPECT_EQ(status, 0);
    uint64_t keys = 0;
    EXPECT_EQ(Problems(path, &keys), "");
    EXPECT_EQ(keys, 301000u);
}

TEST_F(LimitsTest, AShortageOfMemoryIsToldAsMemoryAndKeepsTheLastCommit) {
    if (!TALVO_ADDRESS_LIMITS) GTEST_SKIP() << "the sanitizer needs more address space";
    const std::string path = PathOf("short");
    MakeFile(path, 1000);
    struct Case {
        const char* budgets;  // a budget the limit cannot give
        uint64_t limit;
    } cases[] = {
        // The batch of new keys is taken when the first key comes.
        {"pending-keys=1G", 256 << 20},
        // Records waiting to be written out.
        {"slot-buffer=1G", 256 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.budgets);
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const int status = RunLimited(c.limit, [&] {
            if (!SetBudgets(c.budgets).ok()) return false;
            Engine engine;
            std::shared_ptr<DataFile> file;
            if (!engine.Open(path, &file).ok()) return false;
            Status s;
            for (uint64_t i = 1000; s.ok() && i < 2000000; ++i) {
                s = file->Put(Span(KeyOf(i)), Span(RecordOf(KeyOf(i))));
            }
            const std::string text = s.message();
            if (::write(report[1], text.data(), text.size()) < 0) return false;
            (void)engine.Close(file);
            return s.code() == Error::kOutOfMemory;
        });
        ::close(report[1]);
        char text[512] = {};
        const ssize_t got = ::read(report[0], text, sizeof text - 1);
        ::close(report[0]);
        EXPECT_EQ(status, 0) << std::string(text, got > 0 ? static_cast<size_t>(got) : 0);
        EXPECT_NE(std::string(text).find("not enough memory"), std::string::npos) << text;
        uint64_t keys = 0;
        EXPECT_EQ(Problems(path, &keys), "");
        EXPECT_EQ(keys, 1000u);
    }
}

}  // namespace
}  // namespace talvo
