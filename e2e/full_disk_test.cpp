// A full disk without a mount: the programs run with a file size limit (SIGXFSZ ignored), so a
// write past it fails as it would on a full disk. Each run must say so clearly, leave files that
// `talvo check` finds sound (or none), never touch its input, and leave no temporary file behind;
// a run without the limit then completes.
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

class FullDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(scratch_.Path("data"));
        Talvo({"gen", Data("src"), "--records", "5000", "--type", "4"});
        Talvo({"export", Data("src"), "--order", "record", "--output", Data("flat")});
        Talvo({"export", Data("src"), "--order", "record", "--format", "lines", "--output",
               Data("keys.txt")});
    }

    std::string Data(const std::string& name) const { return scratch_.Path("data/" + name); }

    RunResult Run(const std::vector<std::string>& args, std::optional<uint64_t> limit = {}) {
        RunOptions options = scratch_.Options();
        options.fileSizeLimit = limit;
        return RunProgram(TALVO_EXE, args, options);
    }
    // Runs a command that must succeed.
    std::string Talvo(const std::vector<std::string>& args) {
        const RunResult r = Run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.Describe();
        return r.out;
    }

    // The run failed as a full disk should make it fail.
    void ExpectNoSpace(const RunResult& r, const std::string& more) {
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_FALSE(r.SanitizerReport()) << r.err;
        EXPECT_NE(r.err.find("no space left on the device"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(more), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }

    // What a file holds after the run: nothing at all, or a sound file (its count).
    std::optional<std::string> CheckedState(const std::string& file) {
        if (!fs::exists(file)) return std::nullopt;
        const RunResult r = Run({"check", file});
        EXPECT_EQ(r.exitCode, 0) << r.Describe();
        return r.out;
    }

    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(scratch_.Path("data"))) {
            const std::string name = entry.path().filename().string();
            if (name.find(".tmp-") != std::string::npos ||
                name.find(".new-") != std::string::npos || name.find(".~") != std::string::npos) {
                found.push_back(name);
            }
        }
        return found;
    }

    Scratch scratch_;
};

TEST_F(FullDiskTest, AnImportThatRunsOutOfSpaceSaysSoAndKeepsItsFileSound) {
    struct Case {
        const char* what;
        std::vector<std::string> create;  // after "create FILE"
        std::vector<std::string> import;  // after "import FILE"
        uint64_t limit;
    };
    const Case cases[] = {
        {"keyed",
         {"--type", "4", "--record-size", "100", "--key-size", "8"},
         {"--input", Data("flat")},
         200000},
        {"extended keyed",
         {"--type", "36", "--record-size", "100", "--key-size", "8"},
         {"--input", Data("flat")},
         200000},
        {"records only",
         {"--type", "2", "--record-size", "100"},
         {"--input", Data("flat")},
         200000},
        {"keys only, the index fills up",
         {"--type", "4", "--record-size", "0", "--key-size", "100"},
         {"--input", Data("keys.txt"), "--format", "lines"},
         200000},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = Data("out" + std::to_string(n++));
        std::vector<std::string> create{"create", file};
        create.insert(create.end(), c.create.begin(), c.create.end());
        Talvo(create);
        const FolderState inputs = StateOf(scratch_.Path("data"));
        std::vector<std::string> import{"import", file};
        import.insert(import.end(), c.import.begin(), c.import.end());

        ExpectNoSpace(Run(import, c.limit), "; nothing was imported");
        const std::optional<std::string> state = CheckedState(file);
        ASSERT_TRUE(state.has_value());
        EXPECT_NE(state->find(": sound: 0 records"), std::string::npos) << *state;
        EXPECT_TRUE(Leftovers().empty());
        // Only the file imported into changed (its data file may hold uncommitted slots).
        for (const std::string& changed : Differences(inputs, StateOf(scratch_.Path("data")))) {
            EXPECT_EQ(changed.rfind(file, 0), 0u) << changed;
        }

        const RunResult again = Run(import);
        EXPECT_EQ(again.exitCode, 0) << again.Describe();
        EXPECT_NE(again.out.find("written: 5000, refused: 0"), std::string::npos) << again.out;
        EXPECT_EQ(Run({"check", file}).exitCode, 0);
    }
}

TEST_F(FullDiskTest, OtherCommandsThatRunOutOfSpaceLeaveNothingHalfWritten) {
    const FolderState before = StateOf(scratch_.Path("data"));

    // An export writes a temporary file beside its output and renames it at the end.
    RunResult r = Run({"export", Data("src"), "--output", Data("copy")}, 100000);
    EXPECT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_NE(r.err.find("cannot write " + Data("copy")), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Data("copy")));

    // A new file appears whole or not at all: a limit below its header, then one past it.
    for (uint64_t limit : {uint64_t{4096}, uint64_t{12000}}) {
        SCOPED_TRACE(limit);
        ExpectNoSpace(
            Run({"create", Data("new"), "--type", "4", "--record-size", "10", "--key-size", "2"},
                limit),
            "cannot create " + Data("new"));
        EXPECT_FALSE(fs::exists(Data("new")));
        EXPECT_FALSE(fs::exists(Data("new.idx")));
    }
    // Generated data that does not fit is taken away again.
    ExpectNoSpace(Run({"gen", Data("gen"), "--records", "5000"}, 200000), Data("gen"));
    EXPECT_EQ(CheckedState(Data("gen")), std::nullopt);

    EXPECT_TRUE(Leftovers().empty());
    EXPECT_TRUE(Differences(before, StateOf(scratch_.Path("data"))).empty());
}

#ifdef ORDELIN_BATCH_EXE
TEST_F(FullDiskTest, ABuildThatRunsOutOfSpaceSaysSoAndEndsThere) {
    // The list files go to a folder of the test (the settings file's QVTEMP).
    fs::create_directories(scratch_.Path("home/share/Corvane Group"));
    WriteFile(scratch_.Path("home/share/Corvane Group/NAVO.INI"),
              "[Directories]\r\nQVTEMP=" + scratch_.Path("reports") + "\r\n");
    Talvo({"dirs", "set", "DAT", scratch_.Path("data")});
    const FolderState before = StateOf(scratch_.Path("data"));
    struct Case {
        const char* order;
        const char* budgets;  // small ones commit on the way, and a part is kept
    };
    int n = 0;
    for (const Case c : {Case{"key", ""}, Case{"record", ""},
                         Case{"key", "pending-keys=4K,filter=4K,slot-buffer=4K"}}) {
        SCOPED_TRACE(std::string(c.order) + " order, budgets " + c.budgets);
        const std::string output = "BYCITY" + std::to_string(n++);
        RunOptions options = scratch_.Options();
        options.fileSizeLimit = 200000;
        if (*c.budgets != '\0')
            options.environment.push_back(std::string("TALVO_BUDGETS=") + c.budgets);
        const RunResult r = RunProgram(ORDELIN_BATCH_EXE,
                                       {Data("src"), "/DDAT", "--out", output, "--key-size", "26",
                                        "--key", "61:18", "--key", "0:8", "--order", c.order},
                                       options);
        // A failure, not records refused one by one: the output ran out of space, and the
        // build stopped there.
        EXPECT_EQ(r.exitCode, 1) << r.Describe();
        EXPECT_FALSE(r.SanitizerReport()) << r.err;
        const std::string said = "ordelin-batch: The output file \"" + output +
                                 "\" ran out of space: no space left on the device";
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("duplicate key"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("; ended early: no space"), std::string::npos) << r.out;

        // The message counts what the sound output holds; so does the list file.
        const std::optional<std::string> state = CheckedState(Data(output));
        ASSERT_TRUE(state.has_value());
        const size_t at = state->find(": sound: ");
        ASSERT_NE(at, std::string::npos) << *state;
        const uint64_t held = std::stoull(state->substr(at + 9));
        EXPECT_NE(
            r.err.find("The build ended early: " + std::to_string(held) + " records were written."),
            std::string::npos)
            << r.err;
        EXPECT_LT(held, 5000u);
        const size_t listed = r.out.find("list file: ");
        ASSERT_NE(listed, std::string::npos) << r.out;
        const std::string list =
            ReadFile(r.out.substr(listed + 11, r.out.find('\n', listed) - listed - 11));
        EXPECT_NE(list.find("Records written: " + std::to_string(held) + ","), std::string::npos);
        EXPECT_NE(list.find("The build ended early: the output ran out of space: "),
                  std::string::npos)
            << list;
        if (*c.budgets != '\0') {
            EXPECT_GT(held, 0u);
        }
    }
    for (const std::string& changed : Differences(before, StateOf(scratch_.Path("data")))) {
        EXPECT_NE(changed.find("BYCITY"), std::string::npos) << "changed: " << changed;
    }
    EXPECT_TRUE(Leftovers().empty());
}
#endif

TEST_F(FullDiskTest, AConfigurationThatCannotGrowIsLeftAsItWas) {
    const std::string config = scratch_.Path("talvo.ini");
    WriteFile(config, "; the directories of this machine\n[Directories]\nDAT=" + Data("") + "\n");
    const std::string before = ReadFile(config);
    const RunResult r = Run({"dirs", "set", "OUT", "/a/rather/long/path/to/make/it/grow"}, 40);
    EXPECT_EQ(r.exitCode, 1) << r.Describe();
    EXPECT_NE(r.err.find("There is not enough space on the disk."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(config), before);
    for (const auto& entry : fs::directory_iterator(scratch_.root())) {
        EXPECT_EQ(entry.path().filename().string().find("talvo.ini.~"), std::string::npos);
    }
}

}  // namespace
}  // namespace e2e
