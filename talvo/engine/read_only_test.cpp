// Files that can be read but not written here: in a folder this user may not write (its index's
// lock file cannot be made), on a read-only file system, on a network file system (faked through
// the file-system type probe). Each opens and reads; writing is refused with the reason; a
// process that reads without a lock file keeps writers away, and the other way round.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "talvo/engine.h"
#include "talvo/engine/engine_test_support.h"
#include "talvo/engine/file_system.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using engine::testing::Bytes;
using engine::testing::Span;

constexpr uint64_t kNfs = 0x6969;

uint64_t AllOnNfs(int) {
    return kNfs;
}

std::string KeyOf(int i) {
    char text[8];
    std::snprintf(text, sizeof text, "K%04d", i);
    return text;
}

// Runs `body` in a child process (as the user nobody when this one is root); its exit status,
// 0 when body returned true, or -1 when it did not exit.
int RunChild(const std::function<bool()>& body, bool asNobody) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (asNobody && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
             ::setresuid(65534, 65534, 65534) != 0)) {
            ::_exit(90);
        }
        const bool ok = body();
        std::fflush(nullptr);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads every key and its record; false when one fails or the count is not `expected`.
bool ReadsAll(DataFile& file, uint64_t expected) {
    std::string key;
    uint64_t count = 0;
    Status s = file.SeekKey({}, false, &key);
    for (; s.ok(); s = file.SeekKey(Span(key), true, &key)) {
        std::vector<uint8_t> record;
        if (!file.Get(Span(key), &record).ok() || record.size() != 16) return false;
        ++count;
    }
    return s.code() == Error::kEndOfKeys && count == expected;
}

class ReadOnlyTest : public engine::testing::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    }
    void TearDown() override {
        engine::SetFileSystemTypeProbe(nullptr);
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        TempDirTest::TearDown();
    }

    // A keyed file of 50 records of 16 bytes, committed.
    void MakeFile(const std::string& path) {
        Engine engine;
        ASSERT_OK(engine.Create(path, {FileType::kKeyed, 16, 5, 0}));
        std::shared_ptr<DataFile> file;
        ASSERT_OK(engine.Open(path, &file));
        for (int i = 0; i < 50; ++i) {
            ASSERT_OK(file->Put(Span(KeyOf(i)), Span(KeyOf(i) + " record")));
        }
        ASSERT_OK(engine.Close(file));
    }

    // Opens, reads everything, then tries each kind of change: true when every read worked and
    // every change was refused with kReadOnly and a text holding `reason`.
    static bool ReadsButRefusesChanges(const std::string& path, const std::string& reason) {
        Engine engine;
        std::shared_ptr<DataFile> file;
        Status s = engine.Open(path, &file);
        if (!s.ok()) {
            std::fprintf(stderr, "open: %s\n", s.message().c_str());
            return false;
        }
        bool ok = ReadsAll(*file, 50);
        std::vector<uint8_t> record;
        ok = ok && file->ReadRecord(49, &record).ok();
        const Status changes[] = {file->Put(Bytes("NEW01"), Bytes("new record")),
                                  file->DeleteKey(Bytes(KeyOf(3))), file->DeleteRecord(4),
                                  file->AddSubKey({1, 2, "SUB"})};
        for (const Status& c : changes) {
            if (c.code() != Error::kReadOnly || c.message().find(reason) == std::string::npos) {
                std::fprintf(stderr, "change: %s\n", c.message().c_str());
                ok = false;
            }
        }
        ok = ReadsAll(*file, 50) && ok;
        s = engine.Close(file);
        return s.ok() && ok;
    }
};

TEST_F(ReadOnlyTest, AFileInAFolderTheUserCannotWriteIsReadAndNotWritten) {
    const std::string path = PathOf("cust");
    const std::string lock = path + ".idx-lock";
    struct Case {
        const char* name;
        bool lockFile;       // the index's lock file is there (the owner's, not writable)
        bool filesWritable;  // the data file and the index may be written by anyone
        const char* reason;
    } cases[] = {
        {"no lock file", false, false, "may not be written by this user"},
        {"the owner's lock file", true, false, "may not be written by this user"},
        {"writable files, no lock file", false, true, "cust.idx-lock cannot be made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Engine().Erase(path);
        MakeFile(path);
        fs::remove(lock);
        if (c.lockFile) {
            const int fd = ::open(lock.c_str(), O_CREAT | O_WRONLY, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
        const mode_t mode = c.filesWritable ? 0666 : 0644;
        for (const char* part : {"cust", "cust.idx", "cust.idx-keys"}) {
            ASSERT_EQ(::chmod(PathOf(part).c_str(), mode), 0);
        }
        ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
        EXPECT_EQ(RunChild([&] { return ReadsButRefusesChanges(path, c.reason); }, true), 0);
        ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
        EXPECT_EQ(fs::exists(lock), c.lockFile);
    }
}

TEST_F(ReadOnlyTest, KeyedFilesOnANetworkFileSystemAreReadNeverWrittenOrMade) {
    const std::string path = PathOf("cust");
    MakeFile(path);
    fs::remove(path + ".idx-lock");
    engine::SetFileSystemTypeProbe(&AllOnNfs);
    EXPECT_TRUE(ReadsButRefusesChanges(path, "lies on a network file system (nfs)"));
    // Read without a lock file, which is not made either.
    EXPECT_FALSE(fs::exists(path + ".idx-lock"));

    Engine engine;
    const Status made = engine.Create(PathOf("new"), {FileType::kKeyed, 16, 5, 0});
    EXPECT_EQ(made.code(), Error::kReadOnly);
    EXPECT_NE(made.message().find("network file system (nfs)"), std::string::npos)
        << made.message();
    EXPECT_FALSE(fs::exists(PathOf("new")));
    EXPECT_FALSE(fs::exists(PathOf("new.idx")));

    // A file of records alone has no index to share: it is written there as anywhere.
    ASSERT_OK(engine.Create(PathOf("flat"), {FileType::kRecords1, 8, 0, 0}));
    std::shared_ptr<DataFile> flat;
    ASSERT_OK(engine.Open(PathOf("flat"), &flat));
    EXPECT_OK(flat->AppendRecord(Bytes("12345678"), nullptr));
    EXPECT_OK(engine.Close(flat));

    // Nor removed: an overwrite would lose it and then be refused the new one.
    const Status erased = engine.Erase(path);
    EXPECT_EQ(erased.code(), Error::kReadOnly) << erased.message();
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(fs::exists(path + ".idx"));
    EXPECT_OK(engine.Erase(PathOf("flat")));

    engine::SetFileSystemTypeProbe(nullptr);
    EXPECT_OK(engine.Erase(path));
}

TEST_F(ReadOnlyTest, AReaderWithoutALockFileAndAWriterKeepEachOtherAway) {
    const std::string path = PathOf("cust");
    MakeFile(path);
    // Both readers read as on a network file system: no reader of the index is registered. They
    // are started before this process opens the file, whose open files a child would share.
    int ready[2];
    int done[2];
    int go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    ASSERT_EQ(::pipe(go), 0);
    std::fflush(nullptr);
    const pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        engine::SetFileSystemTypeProbe(&AllOnNfs);
        Engine engine;
        std::shared_ptr<DataFile> file;
        if (!engine.Open(path, &file).ok()) ::_exit(2);
        if (::write(ready[1], "r", 1) != 1) ::_exit(3);
        char byte = 0;
        if (::read(done[0], &byte, 1) != 1) ::_exit(4);
        // Nothing changed under it meanwhile.
        ::_exit(ReadsAll(*file, 50) && engine.Close(file).ok() ? 0 : 5);
    }
    const pid_t late = ::fork();
    ASSERT_GE(late, 0);
    if (late == 0) {
        // Comes while the file is being written: refused.
        engine::SetFileSystemTypeProbe(&AllOnNfs);
        char byte = 0;
        if (::read(go[0], &byte, 1) != 1) ::_exit(2);
        Engine engine;
        std::shared_ptr<DataFile> file;
        const Status s = engine.Open(path, &file);
        if (s.code() != Error::kLocked) std::fprintf(stderr, "late: %s\n", s.message().c_str());
        ::_exit(s.code() == Error::kLocked ? 0 : 3);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    Engine engine;
    std::shared_ptr<DataFile> file;
    ASSERT_OK(engine.Open(path, &file));
    const Status refused = file->Put(Bytes("NEW01"), Bytes("new record"));
    EXPECT_EQ(refused.code(), Error::kFileInUse);
    EXPECT_NE(refused.message().find("cannot register its reads"), std::string::npos)
        << refused.message();
    ASSERT_EQ(::write(done[1], "d", 1), 1);
    int status = 0;
    ::waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Once the reader is gone, the file is written.
    ASSERT_OK(file->Put(Bytes("NEW01"), Bytes("new record")));
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ::waitpid(late, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_OK(engine.Close(file));
    for (int fd : {ready[0], ready[1], done[0], done[1], go[0], go[1]}) ::close(fd);
}

}  // namespace
}  // namespace talvo
