// ordelin-batch end to end at the edges users reach: keys of 255 bytes, an input whose index
// fails part-way, builds of one output at once, list files of one second, output names that
// would leave their directory, dry runs that foresee a refusal, keys over 64 bytes, and signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "batch/testing/batch_fixture.h"
#include "builder/list_file.h"
#include "builder/output_place.h"
#include "platform/name_lock.h"
#include "platform/runtime_random.h"

namespace {

using namespace batchtest;
namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::WriteFile;

// Waits up to `seconds` for `ready` to hold; false when it did not.
template <typename Ready>
bool WaitFor(Ready ready, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

class Edges : public Batch {
  protected:
    // The number of records `talvo check` finds in a sound file; -1 when it is not sound.
    int64_t SoundRecords(const std::string& path) {
        const Result r = Spawn(TALVO_EXE, {"check", path});
        const size_t at = r.out.find(": sound: ");
        if (r.code != 0 || at == std::string::npos) return -1;
        return std::stoll(r.out.substr(at + 9));
    }

    // The list file a run named on standard output, read; empty when it named none.
    std::string ListFileOf(const Result& r) {
        const size_t at = r.out.find("list file: ");
        if (at == std::string::npos) return {};
        return ReadFile(r.out.substr(at + 11, r.out.find('\n', at) - at - 11));
    }

    // A keyed customer file of `records` records of 100 bytes (key: bytes 0..7, the city:
    // 61..78), made by talvo gen.
    void MakeCustomers(const std::string& name, int records) {
        Talvo({"gen", Data(name), "--records", std::to_string(records)});
    }

    // Lets every user of the host read and write the scratch folder, for runs as another user.
    void OpenToEveryone() {
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            fs::permissions(entry.path(), fs::perms::all, fs::perm_options::add);
        }
        fs::permissions(dir, fs::perms::all, fs::perm_options::add);
    }

    // Whether runs as "nobody" can be made: as root, through setpriv.
    static bool CanRunAsNobody() { return ::geteuid() == 0 && fs::exists("/usr/bin/setpriv"); }
    // Runs ordelin-batch as "nobody".
    Result RunAsNobody(const std::vector<std::string>& args) {
        return Spawn(
            "/usr/bin/setpriv",
            Plus({"--reuid=65534", "--regid=65534", "--clear-groups", ORDELIN_BATCH_EXE}, args));
    }
};

// --- Keys of 255 bytes ---------------------------------------------------------------------------

TEST_F(Edges, KeysOf255BytesAreAllBuiltAndPositionedOnTheirWholeLength) {
    const std::string as(254, 'A');
    const std::string ffs(254, '\xFF');
    // In key order; none ends in a zero byte, and the last is the "high values" key.
    const std::vector<std::string> keys{as + 'A',     as + 'M',  as + 'Z',
                                        ffs + '\x01', ffs + 'A', ffs + '\xFF'};
    std::string flat;
    for (const std::string& key : keys) flat += key + std::string(45, 'r');
    WriteFile(dir / "wide.bin", flat);
    Talvo({"create", Data("wide"), "--type", "4", "--record-size", "300", "--key-size", "255"});
    Talvo(
        {"import", Data("wide"), "--input", (dir / "wide.bin").string(), "--key-fields", "0:255"});
    const std::vector<std::string> key255{"--key-size", "255",       "--key", "0:255", "--key-pos",
                                          "0",          "--out-dir", "OUT",   "--json"};
    struct Case {
        const char* what;
        std::vector<std::string> range;
        size_t first, count;  // the keys built
    };
    const Case cases[] = {
        {"no bounds: every key, the high values key too", {}, 0, 6},
        {"a From Key of 255 bytes positions on all of them", {"--from", as + 'M'}, 1, 5},
        {"a To Key of 255 bytes is compared as typed", {"--to", as + 'M'}, 0, 2},
        {"both", {"--from", as + 'M', "--to", as + 'Z'}, 1, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string output = "WIDE" + std::to_string(n++);
        const std::vector<std::string> args = Plus(Plus(Base("wide", output), key255), c.range);
        const Result dry = Run(Plus(args, {"--dry-run"}));
        const Result real = Run(args);
        ASSERT_EQ(real.code, 0) << real.err;
        EXPECT_EQ(dry.code, 0) << dry.err;
        EXPECT_EQ(Json(real)["written"].Count(), c.count);
        EXPECT_EQ(Json(dry)["written"].Count(), c.count);
        std::string expected;
        for (size_t i = c.first; i < c.first + c.count; ++i) {
            expected += keys[i] + std::string(45, 'r');
        }
        EXPECT_EQ(Exported(Out(output)), expected);
    }
}

// --- Extended output and key position ------------------------------------------------------------

TEST_F(Edges, KeyFieldsThatAnAcceptedKeyPositionReplacesAreRefused) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    struct Case {
        std::vector<std::string> options;
        int code;
        std::string says;
    };
    const std::vector<Case> cases = {
        // The key position makes the key the field 0:6, not the city at 4:6.
        {{"--key-size", "6", "--key", "4:6", "--key-pos", "0"},
         2,
         "--key-pos 0: an extended keyed output holds its key in the record at the key "
         "position, so its key is the one field 0:6, not the --key fields 4:6; give --key 0:6 "
         "with this --key-pos, or leave --key-pos out for a keyed output on 4:6"},
        // Fields shorter than the key would be stretched to it.
        {{"--key-size", "10", "--key", "0:4", "--key-pos", "0"},
         2,
         "its key is the one field 0:10, not the --key fields 0:4;"},
        // The fields the key position makes, in one piece or in several.
        {{"--key-size", "10", "--key", "0:4", "--key", "4:6", "--key-pos", "0"}, 0, "6 records"},
        {{"--key-size", "4", "--key", "0:4", "--key-pos", "0"}, 0, "6 records"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string output = "EXT" + std::to_string(n++);
        SCOPED_TRACE(output);
        const Result r = Run(Plus(Base("cust", output), c.options));
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        if (c.code == 2) {
            EXPECT_NE(r.err.find("usage: ordelin-batch"), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(Data(output)));
        }
    }
    EXPECT_EQ(Snapshot("cust"), input);
}

// --- An input that cannot be read to its end -----------------------------------------------------

// Makes `copy` a copy of `source` whose index holds one damaged node part-way: a key's value
// that is no record number, which only a read along the keys meets.
void DamageIndexPartWay(const std::string& source, const std::string& copy) {
    fs::copy_file(source, copy);
    fs::copy_file(source + ".idx-keys", copy + ".idx-keys");
    std::string index = ReadFile(source + ".idx");
    constexpr size_t kPage = 4096;
    int leaves = 0;
    for (size_t page = 2; (page + 1) * kPage <= index.size(); ++page) {
        const auto u16 = [&](size_t at) {
            return static_cast<unsigned>(static_cast<unsigned char>(index[at])) |
                   static_cast<unsigned>(static_cast<unsigned char>(index[at + 1])) << 8;
        };
        const size_t base = page * kPage;
        const unsigned flags = u16(base + 10);
        const unsigned nodes = (u16(base + 12) - 16) / 2;
        if ((flags & 0x02) == 0 || nodes < 8 || ++leaves < 3) continue;  // a leaf, not the first
        const size_t node = base + u16(base + 16 + 2 * 4);
        index[node] = static_cast<char>(index[node] - 1);  // the value's size: 7, not 8
        WriteFile(copy + ".idx", index);
        return;
    }
    ADD_FAILURE() << "no leaf page to damage in " << source << ".idx";
}

TEST_F(Edges, AnIndexThatFailsPartWayEndsTheBuildAndTheDryRunAsAFailure) {
    MakeCustomers("cust", 20000);
    DamageIndexPartWay(Data("cust"), Data("dmg"));
    const Result check = Spawn(TALVO_EXE, {"check", Data("dmg")});
    ASSERT_NE(check.out.find("the index cannot be read after key"), std::string::npos) << check.out;
    const std::string input = Snapshot("dmg");

    const std::vector<std::string> args =
        Plus(Base("dmg", "BYNUM"), {"--key-size", "8", "--key", "0:8", "--json"});
    const Result dry = Run(Plus(args, {"--dry-run"}));
    EXPECT_EQ(dry.code, 1) << dry.err;
    EXPECT_NE(dry.err.find("ordelin-batch: Read of File \"DMG\" on \"DAT\" - failed: data file is "
                           "damaged: "),
              std::string::npos)
        << dry.err;
    EXPECT_NE(dry.err.find("The dry run ended early: "), std::string::npos) << dry.err;
    EXPECT_EQ(Json(dry)["ended"].text, "input unreadable");

    const Result real = Run(args);
    EXPECT_EQ(real.code, 1) << real.err;
    const jsontest::Value j = Json(real);
    EXPECT_EQ(j["ended"].text, "input unreadable");
    const uint64_t written = j["written"].Count();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 20000u);
    EXPECT_EQ(j["read"].Count(), written);
    const jsontest::Value& last = j["messages"].items.back();
    EXPECT_EQ(last["flags"].Count(), 0x10u);
    EXPECT_NE(last["text"].text.find("\n\nThe build ended early: " + std::to_string(written) +
                                     " records were written."),
              std::string::npos)
        << last["text"].text;
    EXPECT_NE(real.out.find("; ended early: input unreadable"), std::string::npos) << real.out;
    const std::string list = ListFileOf(real);
    EXPECT_NE(list.find("Records written: " + std::to_string(written) + ","), std::string::npos);
    EXPECT_NE(list.find("The build ended early: the input could not be read: data file is "
                        "damaged: "),
              std::string::npos)
        << list;
    // What was written is kept, soundly.
    EXPECT_EQ(SoundRecords(Data("BYNUM")), static_cast<int64_t>(written));

    // Read in record order, the records themselves are all there.
    const Result records =
        Run(Plus(Base("dmg", "BYREC"),
                 {"--key-size", "8", "--key", "0:8", "--order", "record", "--dry-run", "--json"}));
    EXPECT_EQ(records.code, 0) << records.err;
    EXPECT_EQ(Json(records)["written"].Count(), 20000u);
    EXPECT_EQ(Snapshot("dmg"), input);
}

// --- One output, two builds ----------------------------------------------------------------------

TEST_F(Edges, AnOutputWhosePartsDoNotBelongTogetherIsReplacedOnlyWhenAsked) {
    MakeInput("cust", 4, kPeople);
    const std::vector<std::string> key{"--key-size", "4", "--key", "0:4"};
    ASSERT_EQ(Run(Plus(Base("cust", "AA"), key)).code, 0);
    ASSERT_EQ(Run(Plus(Base("cust", "BB"), Plus(key, {"--record-size", "30"}))).code, 0);
    fs::copy_file(Data("BB.idx"), Data("AA.idx"), fs::copy_options::overwrite_existing);
    ASSERT_EQ(SoundRecords(Data("AA")), -1);
    const std::string damaged = ReadFile(Data("AA"));

    const Result kept = Run(Plus(Base("cust", "AA"), key));
    EXPECT_EQ(kept.code, 1) << kept.err;
    EXPECT_NE(kept.err.find("Overwrite existing \"AA\"?"), std::string::npos) << kept.err;
    EXPECT_EQ(ReadFile(Data("AA")), damaged);

    const Result dry = Run(Plus(Base("cust", "AA"), Plus(key, {"--dry-run", "--overwrite"})));
    EXPECT_EQ(dry.code, 0) << dry.err;
    const Result replaced = Run(Plus(Base("cust", "AA"), Plus(key, {"--overwrite"})));
    EXPECT_EQ(replaced.code, 0) << replaced.err;
    EXPECT_EQ(SoundRecords(Data("AA")), 6);
    EXPECT_FALSE(fs::exists(Data(".AA.build-lock")));
}

TEST_F(Edges, RacingOverwritesOfOneOutputLeaveItSoundEveryTime) {
    // ORDELIN_RACE_PAIRS=100 runs a hundred pairs; ten by default.
    const char* asked = std::getenv("ORDELIN_RACE_PAIRS");
    const int pairs = asked != nullptr ? std::max(1, std::atoi(asked)) : 10;
    MakeCustomers("cust", 3000);
    const std::vector<std::string> args =
        Plus(Base("cust", "RACE"), {"--key-size", "8", "--key", "0:8", "--overwrite"});
    ASSERT_EQ(Run(args).code, 0);
    int refused = 0;
    for (int pair = 0; pair < pairs; ++pair) {
        SCOPED_TRACE("pair " + std::to_string(pair));
        e2e::RunResult results[2];
        std::thread second(
            [&] { results[1] = e2e::RunProgram(ORDELIN_BATCH_EXE, args, scratch_.Options()); });
        results[0] = e2e::RunProgram(ORDELIN_BATCH_EXE, args, scratch_.Options());
        second.join();
        int built = 0;
        for (const e2e::RunResult& r : results) {
            EXPECT_FALSE(r.timedOut || r.SanitizerReport()) << r.Describe();
            if (r.exitCode == 0) {
                ++built;
                continue;
            }
            // The one that came second is refused at once, and says why.
            EXPECT_EQ(r.exitCode, 1) << r.Describe();
            EXPECT_NE(r.err.find("ordelin-batch: Output file \"RACE\" on \"DAT\" is being built "
                                 "by another run; build it again once that run has ended."),
                      std::string::npos)
                << r.Describe();
            ++refused;
        }
        EXPECT_GE(built, 1);
        ASSERT_EQ(SoundRecords(Data("RACE")), 3000);
    }
    std::printf("%d pairs: %d builds refused while the other one ran\n", pairs, refused);
    EXPECT_FALSE(fs::exists(Data(".RACE.build-lock")));
}

TEST_F(Edges, ABuildOfAnotherUserMeetsTheSameHoldOnTheOutput) {
    if (!CanRunAsNobody()) GTEST_SKIP() << "runs as root with setpriv only";
    MakeCustomers("cust", 1000000);
    const std::vector<std::string> args =
        Plus(Base("cust", "SHARED"), {"--key-size", "8", "--key", "0:8", "--overwrite"});
    OpenToEveryone();
    std::atomic<pid_t> pid{0};
    e2e::RunOptions options = scratch_.Options();
    options.started = [&pid](pid_t started) { pid = started; };
    e2e::RunResult first;
    std::thread runner([&] { first = e2e::RunProgram(ORDELIN_BATCH_EXE, args, options); });
    // Held still while it holds the output's name: once it has made the output.
    const std::string lock = Data(".SHARED.build-lock");
    const bool holding =
        WaitFor([&] { return pid != 0 && fs::exists(Data("SHARED")) && fs::exists(lock); });
    if (holding) ::kill(pid, SIGSTOP);
    const bool stillHolding = holding && fs::exists(lock);
    Result other;
    if (stillHolding) other = RunAsNobody(args);
    if (pid != 0) ::kill(pid, SIGCONT);
    runner.join();
    ASSERT_TRUE(stillHolding) << "the first build ended before it could be held still: "
                              << first.Describe();
    EXPECT_EQ(other.code, 1) << other.err;
    EXPECT_NE(other.err.find("\"SHARED\" on \"DAT\" is being built by another run"),
              std::string::npos)
        << other.err;
    EXPECT_EQ(first.exitCode, 0) << first.Describe();
    EXPECT_EQ(SoundRecords(Data("SHARED")), 1000000);
    EXPECT_FALSE(fs::exists(lock));
}

// --- List files ----------------------------------------------------------------------------------

TEST_F(Edges, AListFileOfAnotherRunIsNeverReplaced) {
    MakeInput("cust", 4, kPeople);
    // Every name a build in the next seconds would start from is taken by another run's report.
    const int64_t now = std::time(nullptr);
    std::vector<std::string> taken;
    for (int64_t second = now - 1; second <= now + 5; ++second) {
        platform::srand(static_cast<uint32_t>(second));
        const std::string name = builder::ListFileNameFor(platform::rand() % 100000).substr(10);
        WriteFile(dir / "temp" / name, "the report of another run at " + std::to_string(second));
        taken.push_back(name);
    }
    const Result r = Run(Plus(Base("cust", "BYID"), {"--key-size", "4", "--key", "0:4"}));
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string list = ListFileOf(r);
    EXPECT_NE(list.find("Records written: 6"), std::string::npos) << r.out;
    for (size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(ReadFile(dir / "temp" / taken[i]),
                  "the report of another run at " + std::to_string(now - 1 + int64_t(i)));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "temp"), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(taken.size() + 1));
}

// --- Output names --------------------------------------------------------------------------------

TEST_F(Edges, OutputNamesThatWouldLeaveTheirDirectoryAreRefused) {
    MakeInput("cust", 4, kPeople);
    const e2e::FolderState before = e2e::StateOf(dir.string());
    for (const std::string name : {"../ESC", "..\\ESC", "sub/ESC", "sub\\ESC", "..", "."}) {
        SCOPED_TRACE(name);
        for (const bool dryRun : {true, false}) {
            std::vector<std::string> args =
                Plus(Base("cust", name),
                     {"--out-dir", "OUT", "--key-size", "4", "--key", "0:4", "--json"});
            if (dryRun) args.push_back("--dry-run");
            const Result r = Run(args);
            EXPECT_EQ(r.code, 1) << r.err;
            const std::string text = "Output file name \"" + name +
                                     "\" cannot contain \\ or / and cannot be \".\" or \"..\".";
            EXPECT_NE(r.err.find("ordelin-batch: " + text + "\n"), std::string::npos) << r.err;
            const jsontest::Value j = Json(r);
            ASSERT_FALSE(j["messages"].items.empty());
            const jsontest::Value& box = j["messages"].items.back();
            EXPECT_EQ(box["text"].text, text);
            EXPECT_EQ(box["flags"].Count(), 0x10u);
        }
    }
    EXPECT_TRUE(e2e::Differences(before, e2e::StateOf(dir.string())).empty());
    EXPECT_FALSE(fs::exists(dir / "ESC"));
}

// --- Dry runs that foresee a refusal -------------------------------------------------------------

TEST_F(Edges, ADryRunForeseesAnotherBuildOfItsOutputWithoutStandingInItsWay) {
    MakeInput("cust", 4, kPeople);
    const std::vector<std::string> build =
        Plus(Base("cust", "AA"), {"--key-size", "4", "--key", "0:4"});
    const std::vector<std::string> dryRun = Plus(build, {"--dry-run"});
    const std::string folder = fs::path(Data("AA")).parent_path().string();
    const std::string lockName = builder::OutputLockName("AA");
    {
        platform::NameLock other;  // another build of AA, as its hold looks from outside
        ASSERT_EQ(other.Acquire(folder, lockName), platform::NameLock::Outcome::kHeld);
        const Result dry = Run(dryRun);
        EXPECT_EQ(dry.code, 1) << dry.err;
        EXPECT_NE(dry.err.find("ordelin-batch: Output file \"AA\" on \"DAT\" is being built by "
                               "another run"),
                  std::string::npos)
            << dry.err;
        // The dry run only looked: the hold is still the other build's alone.
        EXPECT_TRUE(other.Held());
        EXPECT_TRUE(platform::NameLock::HeldNow(folder, lockName));
    }
    // A lock file left behind by a build that was killed holds nothing.
    WriteFile(fs::path(folder) / lockName, "");
    EXPECT_EQ(Run(dryRun).code, 0);
    EXPECT_EQ(Run(build).code, 0);
    EXPECT_FALSE(fs::exists(fs::path(folder) / lockName));
}

TEST_F(Edges, ADryRunExitsAsTheBuildWouldWhereTheOutputCannotBeMade) {
    MakeInput("cust", 4, kPeople);
    WriteFile(dir / "talvo.ini", "[Directories]\nOUT=" + (dir / "out").string() +
                                     "\nMIS=" + (dir / "missing").string() +
                                     "\nRO=" + (dir / "readonly").string() + "\n");
    fs::create_directory(Out("FOLDER"));
    WriteFile(Out("LETTER"), "a letter, not a data file\n");
    fs::create_directory(dir / "readonly");
    const std::vector<std::string> key{"--key-size", "4", "--key", "0:4"};
    struct Case {
        std::vector<std::string> options;  // the output and its directory
        std::string dryRunSays;
    };
    const std::vector<Case> cases = {
        {{"NEW", "MIS"},
         "Create of File \"NEW\" on \"MIS\" would fail: the folder " + (dir / "missing").string() +
             " does not exist"},
        {{"FOLDER", "OUT"},
         "Create of File \"FOLDER\" on \"OUT\" would fail: it cannot be replaced: "},
        {{"LETTER", "OUT"},
         "Create of File \"LETTER\" on \"OUT\" would fail: it cannot be replaced: "},
    };
    const e2e::FolderState before = e2e::StateOf(dir.string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[0] + " on " + c.options[1]);
        const std::vector<std::string> args =
            Plus(Plus(Base("cust", c.options[0]), key), {"--out-dir", c.options[1]});
        const Result dry = Run(Plus(args, {"--dry-run"}));
        EXPECT_EQ(dry.code, 1) << dry.err;
        EXPECT_NE(dry.err.find("ordelin-batch: " + c.dryRunSays), std::string::npos) << dry.err;
        const Result real = Run(args);
        EXPECT_EQ(real.code, 1) << real.err;
    }
    EXPECT_TRUE(e2e::Differences(before, e2e::StateOf(dir.string())).empty());

    if (!CanRunAsNobody()) GTEST_SKIP() << "the read-only folder runs as root with setpriv only";
    OpenToEveryone();
    fs::permissions(dir / "readonly", fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
    const std::vector<std::string> args = Plus(Plus(Base("cust", "NEW"), key), {"--out-dir", "RO"});
    const Result dry = RunAsNobody(Plus(args, {"--dry-run"}));
    EXPECT_EQ(dry.code, 1) << dry.err;
    EXPECT_NE(dry.err.find("Create of File \"NEW\" on \"RO\" would fail: the folder " +
                           (dir / "readonly").string() + " may not be written"),
              std::string::npos)
        << dry.err;
    EXPECT_EQ(RunAsNobody(args).code, 1);
    EXPECT_TRUE(fs::is_empty(dir / "readonly"));
}

// --- Keys over 64 bytes --------------------------------------------------------------------------

TEST_F(Edges, AKeyOver64BytesWithoutAKeyPositionIsRefusedAtTheStart) {
    MakeCustomers("cust", 50);
    for (const bool dryRun : {true, false}) {
        SCOPED_TRACE(dryRun ? "dry run" : "build");
        std::vector<std::string> args =
            Plus(Base("cust", "LONG"), {"--key-size", "100", "--key", "0:100", "--json"});
        if (dryRun) args.push_back("--dry-run");
        const Result r = Run(args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_EQ(r.err, "ordelin-batch: Key position is required for key size > 64.\n");
        const jsontest::Value j = Json(r);
        ASSERT_EQ(j["messages"].items.size(), 1u);
        EXPECT_EQ(j["messages"].items[0]["flags"].Count(), 0x10u);
        EXPECT_FALSE(fs::exists(Data("LONG")));
    }
    // With a key position the same key is built.
    const Result r =
        Run(Plus(Base("cust", "LONG"), {"--key-size", "100", "--key", "0:100", "--key-pos", "0"}));
    EXPECT_EQ(r.code, 0) << r.err;
}

// --- Signals -------------------------------------------------------------------------------------

TEST_F(Edges, ASignalStopsTheBuildAtARecordAndSaysWhatTheOutputHolds) {
    MakeCustomers("cust", 1000000);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        const std::string output = signal == SIGINT ? "STOPPED" : "ENDED";
        std::atomic<pid_t> pid{0};
        e2e::RunOptions options = scratch_.Options();
        options.started = [&pid](pid_t started) { pid = started; };
        e2e::RunResult r;
        std::thread runner([&] {
            r = e2e::RunProgram(
                ORDELIN_BATCH_EXE,
                Plus(Base("cust", output), {"--key-size", "26", "--key", "61:18", "--key", "0:8"}),
                options);
        });
        // The copy has begun once the list file is there.
        const bool copying = WaitFor([&] { return pid != 0 && !fs::is_empty(dir / "temp"); });
        if (pid != 0) ::kill(pid, signal);
        runner.join();
        ASSERT_TRUE(copying);
        EXPECT_EQ(r.signal, 0) << r.Describe();
        ASSERT_EQ(r.exitCode, 128 + signal) << r.Describe();
        EXPECT_FALSE(r.SanitizerReport()) << r.err;

        const int64_t held = SoundRecords(Data(output));
        ASSERT_GE(held, 0);
        EXPECT_LT(held, 1000000);
        const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
        EXPECT_NE(r.err.find("ordelin-batch: The build was interrupted (" + name +
                             "): the output file \"" + output + "\" holds " + std::to_string(held) +
                             " records.\n"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("; ended early: interrupted"), std::string::npos) << r.out;
        const size_t at = r.out.find("list file: ");
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string listPath = r.out.substr(at + 11, r.out.find('\n', at) - at - 11);
        const std::string list = ReadFile(listPath);
        EXPECT_NE(list.find("The build was interrupted (" + name + "): the output holds " +
                            std::to_string(held) + " records."),
                  std::string::npos)
            << list;
        fs::remove(listPath);
    }
}

}  // namespace
