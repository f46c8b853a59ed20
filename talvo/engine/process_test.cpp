// Two processes on one file: a writer killed in the middle of a large write or of the merge that
// commits it, a reader beside a writer that rebuilds the key tree, and a second process that
// tries to write a file another one is writing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lmdb.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/tuning.h"
#include "talvo/tool/file_check.h"

namespace talvo {
namespace {

using engine::testing::Bytes;
using engine::testing::Span;

// Key i: 8 bytes that scatter consecutive i over the key space.
std::string KeyOf(uint64_t i) {
    uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    std::string key(8, '\0');
    for (int b = 0; b < 8; ++b) key[static_cast<size_t>(b)] = static_cast<char>(x >> (8 * b));
    return key;
}
// The record stored under a key: derived from it, so that a reader can check every record.
std::string RecordOf(const std::string& key) {
    return "record::" + key + key + "....";
}

class ProcessTest : public engine::testing::TempDirTest {
  protected:
    // Reads one byte from the pipe, waiting at most a few seconds; false at end or timeout.
    static bool ReadReport(int fd, uint8_t* value) {
        for (int waited = 0; waited < 10000; waited += 10) {
            const ssize_t n = ::read(fd, value, 1);
            if (n == 1) return true;
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
            ::usleep(10000);
        }
        return false;
    }

    // Forks a child that runs `hold` (false: it exits at once) and then stays, holding whatever
    // it opened, until it is killed. Returns its pid once it has got that far, or -1.
    template <typename Hold>
    static pid_t StartHolder(Hold hold) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return -1;
        const pid_t child = ::fork();
        if (child < 0) return -1;
        if (child == 0) {
            ::close(pipeFds[0]);
            if (!hold()) ::_exit(2);
            const uint8_t ready = 1;
            if (::write(pipeFds[1], &ready, 1) != 1) ::_exit(3);
            ::pause();
            ::_exit(0);
        }
        ::close(pipeFds[1]);
        ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
        uint8_t ready = 0;
        const bool started = ReadReport(pipeFds[0], &ready);
        ::close(pipeFds[0]);
        if (!started) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            return -1;
        }
        return child;
    }

    // Forks a child that writes keys 100000..119999 into the file at path with small budgets
    // and closes it; returns its pid once it is about to close (its rebuild to come), or -1.
    static pid_t StartClosingWriter(const std::string& path);
};

TEST_F(ProcessTest, WriterKilledInTheMiddleLeavesAFileThatAgreesWithItself) {
    const std::string path = PathOf("crash");
    {
        Engine engine;
        ASSERT_OK(engine.Create(path, {FileType::kKeyed, 28, 8, 0}));
    }
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes batches of keys without end, committing after each, deleting one committed key
        // per batch, and reports each commit; small budgets add commits inside the batches.
        ::close(pipeFds[0]);
        engine::CurrentTuning().slotBufferBytes = 4096;
        engine::CurrentTuning().pendingKeyBytes = 64 * 1024;
        engine::CurrentTuning().commitBytes = 512 * 1024;
        Engine engine;
        std::shared_ptr<DataFile> file;
        if (!engine.Open(path, &file).ok()) ::_exit(2);
        for (uint64_t i = 0;; ++i) {
            const std::string key = KeyOf(i);
            if (Status p = file->Put(Span(key), Span(RecordOf(key))); !p.ok()) {
                fprintf(stderr, "child: %s\n", p.message().c_str());
                ::_exit(3);
            }
            if (i % 5000 == 4999) {
                // A key of the previous batch (a committed slot), or of the first one.
                const uint64_t victim = i >= 9999 ? i - 5001 : i - 3;
                if (!file->DeleteKey(Span(KeyOf(victim))).ok()) ::_exit(4);
                if (!file->Flush().ok()) ::_exit(5);
                const uint8_t batches = static_cast<uint8_t>((i + 1) / 5000);
                if (::write(pipeFds[1], &batches, 1) != 1) ::_exit(6);
            }
        }
    }
    ::close(pipeFds[1]);
    ASSERT_EQ(::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK), 0);
    uint8_t batches = 0;
    while (batches < 4 && ReadReport(pipeFds[0], &batches)) {
    }
    ::usleep(3000);  // into the next batch
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);
    ASSERT_GE(batches, 4);

    Engine engine;
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));
    const FileInfo info = file->Info();
    EXPECT_GE(info.keyCount, batches * 4999u);  // every reported commit is there
    EXPECT_EQ(info.keyCount + info.deletedCount, info.slotCount);
    // Every key leads to its own live record; every live slot is reached by exactly one key.
    uint64_t keys = 0;
    std::vector<bool> reached(info.slotCount, false);
    std::string key;
    Status s = file->SeekKey({}, false, &key);
    while (s.ok()) {
        std::vector<uint8_t> record;
        uint64_t number = 0;
        ASSERT_OK(file->Get(Span(key), &record, &number));
        ASSERT_EQ(std::string(record.begin(), record.end()), RecordOf(key));
        ASSERT_LT(number, info.slotCount);
        ASSERT_FALSE(reached[number]);
        reached[number] = true;
        ++keys;
        s = file->SeekKey(Span(key), true, &key);
    }
    ASSERT_EQ(s.code(), Error::kEndOfKeys);
    EXPECT_EQ(keys, info.keyCount);
    for (uint64_t n = 0; n < info.slotCount; ++n) {
        std::vector<uint8_t> record;
        ASSERT_OK(file->ReadRecord(n, &record));
        ASSERT_EQ(record[6] == kDeletedMark, !reached[n]) << "slot " << n;
    }
    // And it takes new writes.
    ASSERT_OK(file->Put(Bytes("new key"), Bytes("after the crash")));
    EXPECT_OK(engine.Close(file));
}

// The entries of the index's two key trees, the current one first, read with LMDB itself.
std::pair<uint64_t, uint64_t> TreeEntries(const std::string& indexPath) {
    MDB_env* env = nullptr;
    std::pair<uint64_t, uint64_t> entries{0, 0};
    if (mdb_env_create(&env) != 0) return entries;
    mdb_env_set_maxdbs(env, 3);
    MDB_txn* txn = nullptr;
    if (mdb_env_open(env, indexPath.c_str(), MDB_NOSUBDIR | MDB_RDONLY, 0) == 0 &&
        mdb_txn_begin(env, nullptr, MDB_RDONLY, &txn) == 0) {
        std::string current = "keys";
        MDB_dbi meta;
        if (mdb_dbi_open(txn, "meta", 0, &meta) == 0) {
            MDB_val k{4, const_cast<char*>("tree")};
            MDB_val v{};
            if (mdb_get(txn, meta, &k, &v) == 0)
                current.assign(static_cast<char*>(v.mv_data), v.mv_size);
        }
        for (const char* name : {"keys", "keys1"}) {
            MDB_dbi dbi;
            MDB_stat st{};
            if (mdb_dbi_open(txn, name, 0, &dbi) == 0 && mdb_stat(txn, dbi, &st) == 0) {
                (current == name ? entries.first : entries.second) = st.ms_entries;
            }
        }
        mdb_txn_abort(txn);
    }
    mdb_env_close(env);
    return entries;
}

// Runs `talvo check` on the file: empty when it is sound, else the problems.
std::string CheckProblems(const std::string& path) {
    Engine engine;
    std::shared_ptr<DataFile> file;
    const Status s = engine.Open(path, &file);
    if (!s.ok()) return s.message();
    std::vector<std::string> problems;
    tool::CheckSummary summary;
    tool::CheckDataFile(*file, &problems, &summary);
    (void)engine.Close(file);
    std::string text;
    for (const std::string& p : problems) text += p + "\n";
    return text;
}

// A child that opens the file with small budgets (many runs, a rebuild in many small index
// transactions), puts keys first..first+count-1, tells the pipe it is about to close, and closes.
void WriteAndClose(const std::string& path, uint64_t first, uint64_t count, int reportFd) {
    if (!SetBudgets("pending-keys=16K,run-buffers=16K,index-txn=8K").ok()) ::_exit(2);
    Engine engine;
    std::shared_ptr<DataFile> file;
    if (!engine.Open(path, &file).ok()) ::_exit(3);
    for (uint64_t i = first; i < first + count; ++i) {
        const std::string key = KeyOf(i);
        if (!file->Put(Span(key), Span(RecordOf(key))).ok()) ::_exit(4);
    }
    const uint8_t closing = 1;
    if (::write(reportFd, &closing, 1) != 1) ::_exit(5);
    ::_exit(engine.Close(file).ok() ? 0 : 6);
}

pid_t ProcessTest::StartClosingWriter(const std::string& path) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::close(pipeFds[0]);
        WriteAndClose(path, 100000, 20000, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    uint8_t closing = 0;
    const bool reported = ReadReport(pipeFds[0], &closing);
    ::close(pipeFds[0]);
    if (!reported) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

// A new file at path holding keys 0..1999, committed.
void MakeFileOf2000Keys(const std::string& path) {
    Engine engine;
    (void)engine.Erase(path);
    ASSERT_OK(engine.Create(path, {FileType::kKeyed, 28, 8, 0}));
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));
    for (uint64_t i = 0; i < 2000; ++i)
        ASSERT_OK(file->Put(Span(KeyOf(i)), Span(RecordOf(KeyOf(i)))));
    ASSERT_OK(engine.Close(file));
}

TEST_F(ProcessTest, WriterKilledDuringTheMergeLeavesTheLastCommit) {
    const std::string path = PathOf("merge");
    // Kill the writer later and later into its close until a kill lands inside the rebuild (the
    // new tree partly written); every kill must leave the file as of its last commit.
    bool inRebuild = false;
    for (int delayMs = 0; delayMs < 400 && !inRebuild; delayMs += 10) {
        SCOPED_TRACE(delayMs);
        MakeFileOf2000Keys(path);
        const pid_t child = StartClosingWriter(path);
        ASSERT_GE(child, 0);
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFSIGNALED(status)) {  // the close was over before the kill
            ASSERT_EQ(WEXITSTATUS(status), 0);
            continue;
        }
        const auto [current, other] = TreeEntries(path + ".idx");
        EXPECT_EQ(current, 2000u);
        inRebuild = other != 0;
        // The last commit, whole; nothing left beside the file but its parts.
        EXPECT_EQ(CheckProblems(path), "");
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"merge", "merge.idx", "merge.idx-keys",
                                                   "merge.idx-lock"}));
        Engine engine;
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        EXPECT_EQ(file->Info().keyCount, 2000u);
        std::vector<uint8_t> record;
        EXPECT_EQ(file->Get(Span(KeyOf(100000)), &record).code(), Error::kNotFound);
        // The next writer empties the unfinished tree and carries on.
        EXPECT_EQ(file->Put(Span(KeyOf(7)), Span(RecordOf(KeyOf(7)))).code(), Error::kDuplicateKey);
        ASSERT_OK(file->Put(Span(KeyOf(99999)), Span(RecordOf(KeyOf(99999)))));
        ASSERT_OK(engine.Close(file));
        EXPECT_EQ(TreeEntries(path + ".idx"), (std::pair<uint64_t, uint64_t>{2001, 0}));
        EXPECT_EQ(CheckProblems(path), "");
    }
    EXPECT_TRUE(inRebuild) << "no kill landed inside the rebuild";
}

// Reads the file in key order to its end, checking that every key has its own record; *keys
// receives how many there were.
void ReadEveryKey(DataFile& file, uint64_t* keys) {
    *keys = 0;
    std::string key;
    Status s = file.SeekKey({}, false, &key);
    for (; s.ok(); s = file.SeekKey(Span(key), true, &key)) {
        std::vector<uint8_t> record;
        ASSERT_OK(file.Get(Span(key), &record));
        ASSERT_EQ(std::string(record.begin(), record.end()), RecordOf(key));
        ++*keys;
    }
    ASSERT_EQ(s.code(), Error::kEndOfKeys);
}

TEST_F(ProcessTest, ReaderBesideARebuildSeesOneCommitOrTheNext) {
    const std::string path = PathOf("shared");
    MakeFileOf2000Keys(path);
    const pid_t child = StartClosingWriter(path);
    ASSERT_GE(child, 0);
    // Read the whole file again and again while the writer rebuilds: always 2000 keys or 22000,
    // every key with its own record.
    int reads = 0;
    int status = 0;
    for (bool done = false; !done; ++reads) {
        done = ::waitpid(child, &status, WNOHANG) == child;
        Engine engine;
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        const uint64_t counted = file->Info().keyCount;
        ASSERT_TRUE(counted == 2000 || counted == 22000) << counted;
        uint64_t keys = 0;
        ASSERT_NO_FATAL_FAILURE(ReadEveryKey(*file, &keys));
        ASSERT_EQ(keys, counted);
        ASSERT_OK(engine.Close(file));
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_GT(reads, 1);
    EXPECT_EQ(CheckProblems(path), "");
}

TEST_F(ProcessTest, AReaderKeepsItsSnapshotWhileOtherProcessesOpenAndRewriteTheFile) {
    const std::string path = PathOf("held");
    MakeFileOf2000Keys(path);
    // Two writers, started before the reader opens the file (a child must not inherit an open
    // index), each opening the file once told to and rebuilding its key tree: the pages of the
    // reader's snapshot are freed by the first and would be written over by the second, were the
    // reader not still counted among the readers.
    pid_t children[2];
    int goFds[2][2];
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(::pipe(goFds[round]), 0);
        children[round] = ::fork();
        ASSERT_GE(children[round], 0);
        if (children[round] == 0) {
            // Only the test holds a way to write to this child's pipe: should the test end
            // before it says go, the child reads the end and leaves.
            for (int r = 0; r <= round; ++r) ::close(goFds[r][1]);
            uint8_t go = 0;
            if (::read(goFds[round][0], &go, 1) != 1) ::_exit(7);
            const int report = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            WriteAndClose(path, 100000 + static_cast<uint64_t>(round) * 20000, 20000, report);
        }
        ::close(goFds[round][0]);
    }
    Engine engine;
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));
    ASSERT_EQ(file->Info().keyCount, 2000u);
    for (int round = 0; round < 2; ++round) {
        const uint8_t go = 1;
        ASSERT_EQ(::write(goFds[round][1], &go, 1), 1);
        ::close(goFds[round][1]);
        int status = 0;
        ASSERT_EQ(::waitpid(children[round], &status, 0), children[round]);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    // The reader still sees the file as it opened it: every key with its own record.
    uint64_t keys = 0;
    ASSERT_NO_FATAL_FAILURE(ReadEveryKey(*file, &keys));
    EXPECT_EQ(keys, 2000u);
    ASSERT_OK(engine.Close(file));
    EXPECT_EQ(TreeEntries(path + ".idx"), (std::pair<uint64_t, uint64_t>{42000, 0}));
    EXPECT_EQ(CheckProblems(path), "");
}

TEST_F(ProcessTest, SecondProcessCannotWriteAFileBeingWritten) {
    const std::string path = PathOf("shared");
    {
        Engine engine;
        ASSERT_OK(engine.Create(path, {FileType::kKeyed, 10, 4, 0}));
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        ASSERT_OK(file->Put(Bytes("OLD1"), Bytes("committed")));
        ASSERT_OK(engine.Close(file));
    }
    // A writer with an uncommitted record.
    const pid_t child = StartHolder([&path] {
        // Both stay for the life of the child: it holds the file open until it is killed.
        static Engine engine;
        static std::shared_ptr<DataFile> file;
        return engine.Open(path, &file).ok() && file->Put(Bytes("NEW1"), Bytes("uncommitted")).ok();
    });
    ASSERT_GT(child, 0);

    Engine engine;
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));  // reading is allowed
    std::vector<uint8_t> record;
    EXPECT_OK(file->Get(Bytes("OLD1"), &record));
    EXPECT_EQ(file->Get(Bytes("NEW1"), &record).code(), Error::kNotFound);
    const Status refused = file->Put(Bytes("MINE"), Bytes("x"));
    EXPECT_EQ(refused.code(), Error::kLocked) << refused.message();
    EXPECT_EQ(file->AddSubKey({1, 2, "n"}).code(), Error::kLocked);
    EXPECT_OK(engine.Close(file));
    EXPECT_EQ(engine.Erase(path).code(), Error::kLocked);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_OK(engine.Open(path, &file));
    ASSERT_OK(file->Put(Bytes("MINE"), Bytes("x")));
    EXPECT_EQ(file->Get(Bytes("NEW1"), &record).code(), Error::kNotFound);  // never committed
    EXPECT_EQ(file->Info().keyCount, 2u);
    EXPECT_OK(engine.Close(file));
}

TEST_F(ProcessTest, FileOpenForReadingInAnotherProcessIsNotErased) {
    const std::string path = PathOf("input");
    {
        Engine engine;
        ASSERT_OK(engine.Create(path, {FileType::kKeyed, 10, 4, 0}));
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        ASSERT_OK(file->Put(Bytes("KEY1"), Bytes("kept")));
        ASSERT_OK(engine.Close(file));
    }
    // A reader: opens the file, reads a record, and keeps it open.
    const pid_t child = StartHolder([&path] {
        // Both stay for the life of the child: it holds the file open until it is killed.
        static Engine engine;
        static std::shared_ptr<DataFile> file;
        std::vector<uint8_t> record;
        return engine.Open(path, &file).ok() && file->Get(Bytes("KEY1"), &record).ok();
    });
    ASSERT_GT(child, 0);

    Engine engine;
    const Status refused = engine.Erase(path);
    EXPECT_EQ(refused.code(), Error::kFileInUse) << refused.message();
    EXPECT_TRUE(Engine::Exists(path));
    // Opening it here as well is no obstacle, and closing it again leaves the mark of the
    // other process in place.
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));
    EXPECT_OK(engine.Close(file));
    EXPECT_EQ(engine.Erase(path).code(), Error::kFileInUse);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_OK(engine.Erase(path));
    EXPECT_FALSE(Engine::Exists(path));
}

}  // namespace
}  // namespace talvo
