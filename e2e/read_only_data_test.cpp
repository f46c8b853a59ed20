// Data that can be read but not written, through the programs: a folder the user may not write
// (a read-only share, run as the user nobody), a read-only file system (a bind mount in a mount
// namespace of its own) and a network file system (the file-system type faked by a preloaded
// library). The file opens, reads, checks and serves as the input of a build; a change is
// refused with the reason, never called damage; nothing in the folder changes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ReadOnlyDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(scratch_.Path("share"));
        fs::create_directories(scratch_.Path("out"));
        ASSERT_EQ(
            Talvo({"gen", Share("cust"), "--records", "3000", "--deleted-every", "10"}).exitCode,
            0);
        ASSERT_EQ(Talvo({"dirs", "set", "OUT", scratch_.Path("out")}).exitCode, 0);
        WriteFile(scratch_.Path("one.txt"), "99999999 One More\n");
        // As a share is made: the files are copied there, without the lock file of their index.
        fs::remove(Share("cust.idx-lock"));
    }

    std::string Share(const std::string& name) const { return scratch_.Path("share/" + name); }

    // Runs a program through `prefix` (a program and its arguments that then run it), or
    // directly when the prefix is empty.
    RunResult RunVia(const std::vector<std::string>& prefix, const std::string& program,
                     const std::vector<std::string>& args, const RunOptions& options) {
        if (prefix.empty()) return RunProgram(program, args, options);
        std::vector<std::string> all(prefix.begin() + 1, prefix.end());
        all.push_back(program);
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(prefix[0], all, options);
    }
    RunResult Talvo(const std::vector<std::string>& args) {
        return RunProgram(TALVO_EXE, args, scratch_.Options());
    }

    // Through `prefix` and with `options`: every read of share/cust works and it builds an
    // output elsewhere; every change is refused with `reason`. The share is left as it was.
    void ReadsAndRefusesChanges(const std::vector<std::string>& prefix, const RunOptions& options,
                                const std::string& reason) {
        const FolderState before = StateOf(scratch_.Path("share"));
        auto run = [&](const std::vector<std::string>& args) {
            RunResult r = RunVia(prefix, TALVO_EXE, args, options);
            EXPECT_FALSE(r.SanitizerReport()) << r.err;
            return r;
        };
        const std::string file = Share("cust");
        for (const std::vector<std::string>& args : {std::vector<std::string>{"stat", file},
                                                     {"dump", file, "--limit", "3"},
                                                     {"export", file, "--format", "lines"},
                                                     {"check", file}}) {
            SCOPED_TRACE(args[0]);
            const RunResult r = run(args);
            EXPECT_EQ(r.exitCode, 0) << r.Describe();
        }
        EXPECT_TRUE(Has(run({"check", file}).out, "sound: 3000 records (300 deleted), 2700 keys"));
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"delete", file, "--record", "1"},
              {"import", file, "--input", scratch_.Path("one.txt"), "--format", "lines"},
              {"subkey", file, "add", "1", "2", "SUB"}}) {
            SCOPED_TRACE(args[0]);
            const RunResult r = run(args);
            EXPECT_EQ(r.exitCode, 1) << r.Describe();
            EXPECT_TRUE(Has(r.err, "the file can only be read")) << r.err;
            EXPECT_TRUE(Has(r.err, reason)) << r.err;
            EXPECT_FALSE(Has(r.err, "damaged") || Has(r.err, "not a valid")) << r.err;
        }
#ifdef ORDELIN_BATCH_EXE
        // The input of a build, into a folder that may be written.
        fs::remove(scratch_.Path("out/BYKEY"));
        const RunResult build = RunVia(prefix, ORDELIN_BATCH_EXE,
                                       {file, "/DDAT", "--out", "BYKEY", "--out-dir", "OUT",
                                        "--key-size", "8", "--key", "0:8", "--overwrite"},
                                       options);
        EXPECT_EQ(build.exitCode, 0) << build.Describe();
        EXPECT_TRUE(Has(build.err, "2700 records were written")) << build.err;
        const RunResult check = Talvo({"check", scratch_.Path("out/BYKEY")});
        EXPECT_TRUE(Has(check.out, "sound: 2700 records (0 deleted), 2700 keys")) << check.out;
#endif
        EXPECT_TRUE(Differences(before, StateOf(scratch_.Path("share"))).empty());
    }

    Scratch scratch_;
};

TEST_F(ReadOnlyDataTest, AFolderTheUserCannotWriteIsReadAndItsFilesAreNotWritten) {
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "no setpriv to run as another user";
        // Everything but the share is the user's.
        for (const auto& entry : fs::recursive_directory_iterator(scratch_.root())) {
            if (entry.path().string().rfind(scratch_.Path("share"), 0) == 0) continue;
            ASSERT_EQ(::lchown(entry.path().c_str(), kNobody, kNobody), 0) << entry.path();
        }
        ASSERT_EQ(::chown(scratch_.root().c_str(), kNobody, kNobody), 0);
        prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    for (const char* name : {"cust", "cust.idx", "cust.idx-keys"}) {
        ASSERT_EQ(::chmod(Share(name).c_str(), 0644), 0);
    }
    ASSERT_EQ(::chmod(Share("").c_str(), 0555), 0);
    ReadsAndRefusesChanges(prefix, scratch_.Options(), "may not be written by this user");

    // The share's owner left the lock file there; it is not this user's to write either.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(Share("").c_str(), 0755), 0);
        ASSERT_EQ(Talvo({"stat", Share("cust")}).exitCode, 0);
        ASSERT_TRUE(fs::exists(Share("cust.idx-lock")));
        ASSERT_EQ(::chmod(Share("cust.idx-lock").c_str(), 0644), 0);
        ASSERT_EQ(::chmod(Share("").c_str(), 0555), 0);
        ReadsAndRefusesChanges(prefix, scratch_.Options(), "may not be written by this user");
    }
}

TEST_F(ReadOnlyDataTest, AReadOnlyFileSystemIsRead) {
    if (::geteuid() != 0 || !fs::exists("/usr/bin/unshare")) {
        GTEST_SKIP() << "a mount needs root and unshare";
    }
    fs::create_directories(scratch_.Path("ro"));
    // The share, mounted read-only at ro/ in a mount namespace that ends with the program.
    const std::string mountThenRun = "mount --bind -o ro \"$1\" \"$2\" && shift 2 && exec \"$@\"";
    const std::vector<std::string> prefix = {"/usr/bin/unshare", "--mount", "--",
                                             "/bin/sh",          "-c",      mountThenRun,
                                             "mount-ro",         Share(""), scratch_.Path("ro")};
    const RunResult probe = RunVia(prefix, "/bin/sh", {"-c", "touch \"$0/x\"", scratch_.Path("ro")},
                                   scratch_.Options());
    if (!Has(probe.err, "Read-only file system")) GTEST_SKIP() << "no mount: " << probe.Describe();

    // The same checks, with the share seen through the mount.
    const FolderState before = StateOf(scratch_.Path("share"));
    const std::string file = scratch_.Path("ro/cust");
    const RunResult check = RunVia(prefix, TALVO_EXE, {"check", file}, scratch_.Options());
    EXPECT_EQ(check.exitCode, 0) << check.Describe();
    EXPECT_TRUE(Has(check.out, "sound: 3000 records (300 deleted), 2700 keys")) << check.out;
    const RunResult del =
        RunVia(prefix, TALVO_EXE, {"delete", file, "--record", "1"}, scratch_.Options());
    EXPECT_EQ(del.exitCode, 1) << del.Describe();
    EXPECT_TRUE(
        Has(del.err, "the file can only be read: " + file + " lies on a read-only file system"))
        << del.err;
#ifdef ORDELIN_BATCH_EXE
    const RunResult build = RunVia(
        prefix, ORDELIN_BATCH_EXE,
        {file, "/DDAT", "--out", "BYKEY", "--out-dir", "OUT", "--key-size", "8", "--key", "0:8"},
        scratch_.Options());
    EXPECT_EQ(build.exitCode, 0) << build.Describe();
    EXPECT_TRUE(Has(Talvo({"check", scratch_.Path("out/BYKEY")}).out, "sound: 2700 records"));
#endif
    EXPECT_TRUE(Differences(before, StateOf(scratch_.Path("share"))).empty());
}

#ifdef FAKE_NETWORK_FS_LIB
TEST_F(ReadOnlyDataTest, KeyedFilesOnANetworkFileSystemAreReadAndNeverWrittenOrMade) {
    // The preloaded library reports every file below share/ as lying on NFS.
    RunOptions options = scratch_.Options();
    options.environment.push_back("LD_PRELOAD=" FAKE_NETWORK_FS_LIB);
    options.environment.push_back("ORDELIN_FAKE_NETWORK_FOLDER=" +
                                  fs::canonical(Share("")).string());
    // A sanitizer's runtime would want to come first; the library only wraps statfs. The options
    // the suite runs with are kept, and the first entry of a name is the one a program sees.
    std::string asan = "ASAN_OPTIONS=verify_asan_link_order=0";
    std::erase_if(options.environment, [&](const std::string& e) {
        if (!e.starts_with("ASAN_OPTIONS=")) return false;
        asan = e + ":verify_asan_link_order=0";
        return true;
    });
    options.environment.push_back(asan);
    ReadsAndRefusesChanges({}, options, "lies on a network file system (nfs)");
    EXPECT_FALSE(fs::exists(Share("cust.idx-lock")));

    const RunResult made = RunProgram(
        TALVO_EXE, {"create", Share("new"), "--type", "4", "--record-size", "8", "--key-size", "2"},
        options);
    EXPECT_EQ(made.exitCode, 1) << made.Describe();
    EXPECT_TRUE(Has(made.err, "network file system (nfs)")) << made.err;
    EXPECT_FALSE(fs::exists(Share("new")));
#ifdef ORDELIN_BATCH_EXE
    // An output there is refused before anything is made.
    ASSERT_EQ(Talvo({"dirs", "set", "NET", Share("")}).exitCode, 0);
    const RunResult build = RunProgram(ORDELIN_BATCH_EXE,
                                       {Share("cust"), "/DDAT", "--out", "BYKEY", "--out-dir",
                                        "NET", "--key-size", "8", "--key", "0:8"},
                                       options);
    EXPECT_EQ(build.exitCode, 1) << build.Describe();
    EXPECT_TRUE(Has(build.err, "network file system (nfs)")) << build.err;
    EXPECT_FALSE(fs::exists(Share("BYKEY")));
    // An output already there is not overwritten: it is neither removed nor made anew.
    ASSERT_EQ(Talvo({"gen", Share("OLD"), "--records", "10"}).exitCode, 0);
    const FolderState before = StateOf(scratch_.Path("share"));
    const RunResult over = RunProgram(ORDELIN_BATCH_EXE,
                                      {Share("cust"), "/DDAT", "--out", "OLD", "--out-dir", "NET",
                                       "--key-size", "8", "--key", "0:8", "--overwrite"},
                                      options);
    EXPECT_EQ(over.exitCode, 1) << over.Describe();
    EXPECT_TRUE(Has(over.err, "network file system (nfs)")) << over.err;
    EXPECT_TRUE(Differences(before, StateOf(scratch_.Path("share"))).empty());
#endif
    const RunResult removed = RunProgram(TALVO_EXE, {"remove", Share("cust")}, options);
    EXPECT_EQ(removed.exitCode, 1) << removed.Describe();
    EXPECT_TRUE(fs::exists(Share("cust")));
}
#endif

}  // namespace
}  // namespace e2e
