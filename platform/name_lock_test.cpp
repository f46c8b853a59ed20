#include "platform/name_lock.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/other_user.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using Outcome = NameLock::Outcome;

class NameLockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ordelin-namelock-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        // Like a shared folder: everyone may make files, only their owner removes them.
        ::chmod(root.c_str(), 01777);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
};

TEST_F(NameLockTest, OneHolderAtATimeAndNothingLeftBehind) {
    NameLock first;
    NameLock second;
    ASSERT_EQ(first.Acquire(root.string(), ".OUT.build-lock"), Outcome::kHeld);
    EXPECT_TRUE(first.Held());
    EXPECT_TRUE(fs::exists(root / ".OUT.build-lock"));
    EXPECT_TRUE(NameLock::HeldNow(root.string(), ".OUT.build-lock"));
    EXPECT_FALSE(NameLock::HeldNow(root.string(), ".OTHER.build-lock"));
    // Another open of the same name meets the lock, in this process as in any other.
    EXPECT_EQ(second.Acquire(root.string(), ".OUT.build-lock"), Outcome::kBusy);
    EXPECT_FALSE(second.Held());
    // Other names are free.
    EXPECT_EQ(second.Acquire(root.string() + "/", ".OTHER.build-lock"), Outcome::kHeld);
    second.Release();

    first.Release();
    EXPECT_FALSE(first.Held());
    EXPECT_FALSE(fs::exists(root / ".OUT.build-lock"));
    EXPECT_FALSE(NameLock::HeldNow(root.string(), ".OUT.build-lock"));
    EXPECT_EQ(second.Acquire(root.string(), ".OUT.build-lock"), Outcome::kHeld);
    second.Release();
    EXPECT_TRUE(fs::is_empty(root));
}

TEST_F(NameLockTest, ALockFileLeftBehindIsTakenOver) {
    std::ofstream(root / ".OUT.build-lock") << "";  // a holder was killed: its lock died with it
    EXPECT_FALSE(NameLock::HeldNow(root.string(), ".OUT.build-lock"));
    NameLock lock;
    ASSERT_EQ(lock.Acquire(root.string(), ".OUT.build-lock"), Outcome::kHeld);
    lock.Release();
    EXPECT_FALSE(fs::exists(root / ".OUT.build-lock"));
}

TEST_F(NameLockTest, ProcessesOfOtherUsersMeetTheSameLock) {
    const mode_t mask = ::umask(077);  // the holder's own mask keeps nobody out of new files
    NameLock held;
    ASSERT_EQ(held.Acquire(root.string(), ".OUT.build-lock"), Outcome::kHeld);
    ::umask(mask);
    const std::string folder = root.string();
    EXPECT_TRUE(testing::RunAsOtherUser([&folder] {
        NameLock other;
        EXPECT_EQ(other.Acquire(folder, ".OUT.build-lock"), Outcome::kBusy);
    }));
    held.Release();
    // Free again: the other user takes it, and a file it cannot remove stays behind unheld.
    EXPECT_TRUE(testing::RunAsOtherUser([&folder] {
        NameLock other;
        EXPECT_EQ(other.Acquire(folder, ".OUT.build-lock"), Outcome::kHeld);
    }));
    ASSERT_EQ(held.Acquire(root.string(), ".OUT.build-lock"), Outcome::kHeld);
    EXPECT_TRUE(testing::RunAsOtherUser([&folder] {
        NameLock other;
        EXPECT_EQ(other.Acquire(folder, ".OUT.build-lock"), Outcome::kBusy);
    }));
}

TEST_F(NameLockTest, WhereNoFileCanBeMadeOrTheNameIsNoPlainFile) {
    NameLock lock;
    EXPECT_EQ(lock.Acquire((root / "missing").string(), ".X.build-lock"),
              Outcome::kFolderUnwritable);
    fs::create_directory(root / "closed");
    ::chmod((root / "closed").c_str(), 0555);
    const std::string closed = (root / "closed").string();
    EXPECT_TRUE(testing::RunAsOtherUser([&closed] {
        NameLock other;
        EXPECT_EQ(other.Acquire(closed, ".X.build-lock"), Outcome::kFolderUnwritable);
    }));

    // A link planted under the name is not followed into another file.
    std::ofstream(root / "victim") << "the user's own";
    fs::create_symlink(root / "victim", root / ".L.build-lock");
    EXPECT_EQ(lock.Acquire(root.string(), ".L.build-lock"), Outcome::kFailed);
    EXPECT_NE(lock.Error().find(".L.build-lock"), std::string::npos) << lock.Error();
    fs::create_directory(root / ".D.build-lock");
    EXPECT_EQ(lock.Acquire(root.string(), ".D.build-lock"), Outcome::kFailed);
    EXPECT_NE(lock.Error().find("is not a plain file"), std::string::npos) << lock.Error();
    EXPECT_FALSE(lock.Held());
    EXPECT_TRUE(fs::exists(root / "victim"));
}

}  // namespace
}  // namespace platform
