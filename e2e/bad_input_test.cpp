// The catalogue of bad input: every row runs a built program as a user would, on a folder of real
// files of every kind, good and bad. Each row gives the exit status and a text the program must
// say about what is wrong; for every row the program must neither crash nor hang nor report a
// sanitizer finding, and every file that was there before must be there unchanged afterwards.
//
// In the rows, "@" at the start of an argument stands for the data folder and "%" for the
// scratch folder above it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

enum class Program { kTalvo, kOrdelinDemo, kOrdelin, kBatch };

struct Row {
    const char* kind;
    Program program;
    std::vector<std::string> args;
    int status;
    std::string says;  // a text standard output or error must hold
    std::vector<std::pair<std::string, std::string>> variables = {};  // set for this row
    std::string input = "";      // standard input (a file), else none
    bool needsNonRoot = false;   // the row takes away a permission, which root does not lose
    std::string mayChange = "";  // a file the program may write (an empty settings file)
};

const char* PathOf(Program program) {
    switch (program) {
        case Program::kTalvo:
            return TALVO_EXE;
        case Program::kOrdelinDemo:
            return ORDELIN_DEMO_EXE;
        case Program::kOrdelin:
#ifdef ORDELIN_EXE
            return ORDELIN_EXE;
#else
            return nullptr;
#endif
        case Program::kBatch:
#ifdef ORDELIN_BATCH_EXE
            return ORDELIN_BATCH_EXE;
#else
            return nullptr;
#endif
    }
    return nullptr;
}

class BadInputTest : public ::testing::Test {
  protected:
    // The files every row works on, made once.
    static void SetUpTestSuite() {
        scratch_ = new Scratch();
        fs::create_directories(Data("folder"));
        Make({"gen", Data("cust"), "--records", "200", "--deleted-every", "10"});
        Make({"gen", Data("orders"), "--records", "60", "--type", "36", "--layout", "orders"});
        Make({"gen", Data("recs"), "--records", "30", "--type", "2"});
        Make({"create", Data("keys"), "--type", "4", "--record-size", "0", "--key-size", "4"});
        Make({"export", Data("cust"), "--order", "record", "--output", Data("flat")});
        WriteFile(Data("lines.txt"), "AAAA\nBBBB\n");
        WriteFile(Data("cut.bin"), std::string(150, 'x'));
        WriteFile(Data("long.txt"), std::string(150, 'y') + "\n");
        WriteFile(Data("newline.txt"), "AB\nCD\n");
        WriteFile(Data("letter"), "Dear reader, this is a letter and no data file.\n");
        WriteFile(Data("empty"), "");

        // Damaged copies of the keyed file.
        const std::string cust = ReadFile(Data("cust")), index = ReadFile(Data("cust.idx"));
        WriteFile(Data("cut"), cust.substr(0, 9000));
        WriteFile(Data("cut.idx"), index);
        std::string header = cust;
        for (size_t at : {size_t{40}, size_t{4096 + 40}}) header[at] ^= 0x5A;
        WriteFile(Data("badhead"), header);
        WriteFile(Data("badhead.idx"), index);
        WriteFile(Data("zeroidx"), cust);
        WriteFile(Data("zeroidx.idx"), std::string(index.size(), '\0'));
        WriteFile(Data("textidx"), cust);
        WriteFile(Data("textidx.idx"), std::string(20000, 't'));
        WriteFile(Data("shortidx"), cust);
        WriteFile(Data("shortidx.idx"), index.substr(0, index.size() - 4096));
        WriteFile(Data("noidx"), cust);
        WriteFile(Data("otheridx"), cust);
        WriteFile(Data("otheridx.idx"), ReadFile(Data("orders.idx")));
        WriteFile(Data("dirasidx"), cust);
        fs::create_directory(Data("dirasidx.idx"));
        WriteFile(Data("linkedlock"), cust);
        WriteFile(Data("linkedlock.idx"), index);
        WriteFile(Data("victim"), "a file of the user's own\n");
        fs::create_symlink(Data("victim"), Data("linkedlock.idx-lock"));
        fs::create_directory_symlink(Data(""), scratch_->Path("alias"));

        // Names with spaces, quotes, letters beyond ASCII, and capitals.
        Make({"gen", Data("my cust"), "--records", "5"});
        Make({"gen", Data("it's \"q\""), "--records", "5", "--type", "1"});
        Make({"gen", Data("Kundenstamm-ÄÖÜ"), "--records", "5", "--type", "36"});
        Make({"gen", Data("MixedCase"), "--records", "5", "--type", "2"});
        // An unreadable copy (only for users whom permissions bind).
        WriteFile(Data("locked"), cust);
        WriteFile(Data("locked.idx"), index);
        fs::permissions(Data("locked"), fs::perms::none);

        // The component's configuration and the utility's settings, good and bad.
        WriteFile(scratch_->Path("talvo.ini"), "[Directories]\nDAT=" + Data("") + "\n");
        fs::create_directories(scratch_->Path("config-folder"));
        WriteFile(scratch_->Path("config-binary"),
                  std::string("[Directories]\nDAT=/x\n\0\xff\xfe[Dir\x01", 28));
        WriteFile(scratch_->Path("config-empty"), "");
        WriteFile(scratch_->Path("config-locked"), "[Directories]\nDAT=/x\n");
        fs::permissions(scratch_->Path("config-locked"), fs::perms::none);
        fs::create_directories(scratch_->Path("settings-folder/Corvane Group/NAVO.INI"));
        fs::create_directories(scratch_->Path("settings-binary/Corvane Group"));
        WriteFile(scratch_->Path("settings-binary/Corvane Group/NAVO.INI"),
                  std::string("[Directories]\0QVTEMP=\xff\n[\n", 26));
        fs::create_directories(scratch_->Path("settings-empty/Corvane Group"));
        WriteFile(scratch_->Path("settings-empty/Corvane Group/NAVO.INI"), "");
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }

    static std::string Data(const std::string& name) { return scratch_->Path("data/" + name); }
    static void Make(const std::vector<std::string>& args) {
        RunOptions options = scratch_->Options();
        const RunResult r = RunProgram(TALVO_EXE, args, options);
        ASSERT_EQ(r.exitCode, 0) << args[0] << " " << args[1] << ": " << r.Describe();
    }
    static std::string Expand(std::string text) {
        for (const auto& [mark, path] :
             {std::pair<std::string, std::string>{"@/", Data("")}, {"%/", scratch_->Path("")}}) {
            for (size_t at = text.find(mark); at != std::string::npos;
                 at = text.find(mark, at + path.size())) {
                text.replace(at, mark.size(), path);
            }
        }
        return text;
    }

    // Runs every row of a table.
    void RunRows(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.kind);
            const char* program = PathOf(row.program);
            if (program == nullptr) continue;
            if (row.needsNonRoot && ::geteuid() == 0) continue;
            RunOptions options = scratch_->Options();
            options.timeoutSeconds = 30;
            if (row.program == Program::kOrdelin) {
                // Without a display the window's program tells its boxes on standard error
                // instead of waiting for someone to close them.
                for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
                    std::erase_if(options.environment, [&](const std::string& e) {
                        return e.rfind(std::string(name) + "=", 0) == 0;
                    });
                }
            }
            for (const auto& [name, value] : row.variables) {
                std::erase_if(options.environment,
                              [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
                if (value != "-") options.environment.push_back(name + "=" + Expand(value));
            }
            if (!row.input.empty()) options.input = Expand(row.input);
            std::vector<std::string> args;
            for (const std::string& a : row.args) args.push_back(Expand(a));

            const FolderState before = StateOf(scratch_->root());
            const RunResult r = RunProgram(program, args, options);
            EXPECT_FALSE(r.timedOut) << r.Describe();
            EXPECT_EQ(r.signal, 0) << r.Describe();
            EXPECT_FALSE(r.SanitizerReport()) << r.err;
            EXPECT_EQ(r.exitCode, row.status) << r.Describe();
            EXPECT_NE((r.out + r.err).find(Expand(row.says)), std::string::npos) << r.Describe();
            // A failure is told on standard error (the demo tells it on its output).
            if (row.status != 0 && row.program != Program::kOrdelinDemo) {
                EXPECT_FALSE(r.err.empty()) << "the failure is not told";
            }
            // Whatever was there is unchanged, but for the files the row may change; new files
            // may appear only outside the data.
            const FolderState after = StateOf(scratch_->root());
            for (const std::string& changed : Differences(before, after)) {
                const bool added = before.count(changed) == 0;
                if (!added && changed == Expand(row.mayChange)) continue;
                EXPECT_TRUE(added && changed.rfind(Data(""), 0) != 0)
                    << (added ? "made " : "changed ") << changed << " (" << r.Describe() << ")";
            }
            ++ran_;
        }
    }

    static Scratch* scratch_;
    int ran_ = 0;
};

Scratch* BadInputTest::scratch_ = nullptr;

constexpr Program kTalvo = Program::kTalvo;

std::vector<Row> TalvoCommandLines() {
    return {
        {"no command", kTalvo, {}, 2, "A subcommand is required"},
        {"a command that does not exist", kTalvo, {"frob"}, 2, "\"frob\" is not a command"},
        {"a command in other letter case", kTalvo, {"STAT", "@/cust"}, 2, "is not a command"},
        {"an option that does not exist", kTalvo, {"stat", "@/cust", "--frob"}, 2, "--frob"},
        {"no file", kTalvo, {"stat"}, 2, "FILE is required"},
        {"an empty file name", kTalvo, {"stat", ""}, 2, "the file name is empty"},
        {"create without a type", kTalvo, {"create", "@/n", "--record-size", "8"}, 2, "--type"},
        {"create of type 3",
         kTalvo,
         {"create", "@/n", "--type", "3", "--record-size", "8"},
         2,
         "--type"},
        {"a record size too large",
         kTalvo,
         {"create", "@/n", "--type", "1", "--record-size", "65536"},
         2,
         "must be at most 65535"},
        {"a negative record size",
         kTalvo,
         {"create", "@/n", "--type", "1", "--record-size", "-1"},
         2,
         "must be a whole number"},
        {"a record size that is no number",
         kTalvo,
         {"create", "@/n", "--type", "1", "--record-size", "12x"},
         2,
         "must be a whole number"},
        {"a keyed file without a key size",
         kTalvo,
         {"create", "@/n", "--type", "4", "--record-size", "8"},
         2,
         "needs --key-size"},
        {"a key size too large",
         kTalvo,
         {"create", "@/n", "--type", "4", "--record-size", "8", "--key-size", "256"},
         2,
         "must be at most 255"},
        {"a key that does not fit the record",
         kTalvo,
         {"create", "@/n", "--type", "36", "--record-size", "8", "--key-size", "4", "--key-pos",
          "5"},
         2,
         "does not fit"},
        {"a key position for a type 4 file",
         kTalvo,
         {"create", "@/n", "--type", "4", "--record-size", "8", "--key-size", "2", "--key-pos",
          "1"},
         2,
         "--key-pos applies to type 36 files only"},
        {"a key size for a file without keys",
         kTalvo,
         {"create", "@/n", "--type", "1", "--record-size", "8", "--key-size", "2"},
         2,
         "has no key"},
        {"create over an existing file",
         kTalvo,
         {"create", "@/cust", "--type", "1", "--record-size", "8"},
         1,
         "file already exists"},
        {"create in a folder that does not exist",
         kTalvo,
         {"create", "@/nowhere/n", "--type", "1", "--record-size", "8"},
         1,
         "No such file or directory"},
        {"create where a folder stands",
         kTalvo,
         {"create", "@/folder", "--type", "1", "--record-size", "8"},
         1,
         "already exists"},
        {"import in an unknown format",
         kTalvo,
         {"import", "@/cust", "--input", "@/flat", "--format", "csv"},
         2,
         "csv not in"},
        {"key fields that are no ranges",
         kTalvo,
         {"import", "@/cust", "--input", "@/flat", "--key-fields", "a:b"},
         2,
         "--key-fields"},
        {"key fields past the record",
         kTalvo,
         {"import", "@/cust", "--input", "@/flat", "--key-fields", "99:9"},
         2,
         "past the record size 100"},
        {"key fields for a key-only file",
         kTalvo,
         {"import", "@/keys", "--input", "@/lines.txt", "--key-fields", "0:4"},
         2,
         "does not apply to a key-only file"},
        {"key fields for a type 36 file",
         kTalvo,
         {"import", "@/orders", "--input", "@/flat", "--key-fields", "0:4"},
         2,
         "reads the key at its key position"},
        {"an import input that does not exist",
         kTalvo,
         {"import", "@/cust", "--input", "@/missing"},
         1,
         "cannot open the input"},
        {"an import input that is a folder",
         kTalvo,
         {"import", "@/cust", "--input", "@/folder"},
         1,
         "Is a directory; nothing was imported"},
        {"an input cut inside a record",
         kTalvo,
         {"import", "@/cust", "--input", "@/cut.bin"},
         1,
         "ends inside record 2 (50 of 100 bytes); nothing was imported"},
        {"an input line longer than the record",
         kTalvo,
         {"import", "@/cust", "--format", "lines"},
         1,
         "longer than the record size 100; nothing was imported",
         {},
         "@/long.txt"},
        {"an input of keys already there",
         kTalvo,
         {"import", "@/recs", "--input", "@/cut.bin"},
         1,
         "the input ends inside record 2"},
        {"an export order a file cannot give",
         kTalvo,
         {"export", "@/recs", "--order", "key"},
         2,
         "has no keys; use --order record"},
        {"an export into a folder that does not exist",
         kTalvo,
         {"export", "@/cust", "--output", "@/nowhere/flat"},
         1,
         "cannot write"},
        {"an export over the file being exported",
         kTalvo,
         {"export", "@/cust", "--output", "@/cust"},
         2,
         "is a part of the file being exported"},
        {"an export over its index, named another way",
         kTalvo,
         {"export", "@/cust", "--output", "@/../data/cust.idx"},
         2,
         "is a part of the file being exported"},
        {"an export over the index's lock file",
         kTalvo,
         {"export", "@/cust", "--output", "@/cust.idx-lock"},
         2,
         "is a part of the file being exported"},
        {"an export over the file through another folder name",
         kTalvo,
         {"export", "@/cust", "--output", "%/alias/cust"},
         2,
         "is a part of the file being exported"},
        {"lines that cannot hold a record",
         kTalvo,
         {"export", "@/keys", "--format", "lines"},
         0,
         ""},
        {"a dump limit below zero",
         kTalvo,
         {"dump", "@/cust", "--limit", "-1"},
         2,
         "must be a whole number"},
        {"a dump order that does not exist",
         kTalvo,
         {"dump", "@/cust", "--order", "sideways"},
         2,
         "sideways not in"},
        {"two records to delete at once",
         kTalvo,
         {"delete", "@/cust", "--key", "A", "--record", "1"},
         2,
         "excludes"},
        {"nothing to delete", kTalvo, {"delete", "@/cust"}, 2, "give exactly one of"},
        {"a key in bad hex",
         kTalvo,
         {"delete", "@/cust", "--key-hex", "4G"},
         2,
         "even number of hex digits"},
        {"a record past the last",
         kTalvo,
         {"delete", "@/cust", "--record", "999"},
         1,
         "no record 999 in"},
        {"a key longer than the key size",
         kTalvo,
         {"delete", "@/cust", "--key", "123456789"},
         1,
         "is longer than the key size 8"},
        {"a record already deleted",
         kTalvo,
         {"delete", "@/cust", "--record", "9"},
         1,
         "is already deleted"},
        {"a subordinate key action that does not exist",
         kTalvo,
         {"subkey", "@/cust", "drop"},
         2,
         "must be list or add"},
        {"a subordinate key name too long",
         kTalvo,
         {"subkey", "@/cust", "add", "1", "2", std::string(32, 'N')},
         2,
         "NAME must have 1 to 31 characters"},
        {"a directory name too long",
         kTalvo,
         {"dirs", "set", "TOOLONG", "/x"},
         2,
         "longer than 3 characters"},
        {"a directory without a path",
         kTalvo,
         {"dirs", "set", "DAT", ""},
         2,
         "the path of directory DAT is empty"},
        {"a directory that is not there",
         kTalvo,
         {"dirs", "remove", "ZZZ"},
         1,
         "no directory \"ZZZ\""},
        {"a file in a directory that is not there",
         kTalvo,
         {"stat", "cust", "--dir", "ZZZ"},
         1,
         "no directory \"ZZZ\""},
        {"no records to generate",
         kTalvo,
         {"gen", "@/n", "--records", "0"},
         2,
         "--records must be from 1"},
        {"a layout that does not exist",
         kTalvo,
         {"gen", "@/n", "--records", "5", "--layout", "weird"},
         2,
         "weird not in"},
    };
}

std::vector<Row> DamagedAndForeignFiles() {
    return {
        {"a foreign file", kTalvo, {"stat", "@/letter"}, 1, "not a data file"},
        {"an empty file", kTalvo, {"stat", "@/empty"}, 1, "not a data file"},
        {"a foreign file checked", kTalvo, {"check", "@/letter"}, 1, "cannot be opened"},
        {"a foreign file imported into",
         kTalvo,
         {"import", "@/letter", "--input", "@/flat"},
         1,
         "not a data file"},
        {"a foreign file erased through delete",
         kTalvo,
         {"delete", "@/letter", "--record", "0"},
         1,
         "not a data file"},
        {"a file that does not exist", kTalvo, {"dump", "@/missing"}, 1, "no such file"},
        {"a folder where the file should be",
         kTalvo,
         {"stat", "@/folder"},
         1,
         "is not a regular file"},
        {"records cut short", kTalvo, {"stat", "@/cut"}, 1, "is cut short"},
        {"records cut short, checked", kTalvo, {"check", "@/cut"}, 1, "is cut short"},
        {"both header copies damaged",
         kTalvo,
         {"dump", "@/badhead"},
         1,
         "both header copies fail their checks"},
        {"an index of zeros", kTalvo, {"stat", "@/zeroidx"}, 1, "is damaged"},
        {"an index of text", kTalvo, {"check", "@/textidx"}, 1, "cannot be opened"},
        {"an index cut short", kTalvo, {"export", "@/shortidx"}, 1, "data file is damaged"},
        {"the index missing", kTalvo, {"stat", "@/noidx"}, 1, "noidx.idx is missing"},
        {"the index of another file",
         kTalvo,
         {"stat", "@/otheridx"},
         1,
         "is the index of another data file"},
        {"a folder where the index should be",
         kTalvo,
         {"stat", "@/dirasidx"},
         1,
         "is not a plain file"},
        {"a link planted as the index's lock file",
         kTalvo,
         {"check", "@/linkedlock"},
         1,
         "is a symbolic link or not a plain file"},
        {"a file that may not be read",
         kTalvo,
         {"stat", "@/locked"},
         1,
         "Permission denied",
         {},
         "",
         true},
    };
}

std::vector<Row> NamesAndPaths() {
    return {
        {"a name with spaces", kTalvo, {"check", "@/my cust"}, 0, "my cust: sound: 5 records"},
        {"a name with quotes", kTalvo, {"stat", "@/it's \"q\""}, 0, "1 (records)"},
        {"a name beyond ASCII", kTalvo, {"dump", "@/Kundenstamm-ÄÖÜ", "--limit", "1"}, 0, "key"},
        {"a name in other letter case, through the table",
         kTalvo,
         {"stat", "MIXEDCASE", "--dir", "dat"},
         0,
         "2 (records)"},
        {"a name with spaces, through the table",
         kTalvo,
         {"check", "MY CUST", "--dir", "DAT"},
         0,
         "sound"},
        {"a name in other letter case, as a host path",
         kTalvo,
         {"stat", "@/MIXEDCASE"},
         1,
         "no such file"},
        {"the input named through another folder name",
         kTalvo,
         {"check", "%/alias/cust"},
         0,
         "sound"},
        {"the demo on a name with spaces",
         Program::kOrdelinDemo,
         {"@/my cust", "/DDAT"},
         0,
         "Input file MY CUST in"},
        {"the demo on a name in other letter case",
         Program::kOrdelinDemo,
         {"@/CUST", "/DDAT"},
         0,
         "Input file CUST in"},
    };
}

std::vector<Row> ConfigurationAndSettings() {
    return {
        {"a folder as the configuration",
         kTalvo,
         {"dirs", "list"},
         1,
         "cannot read %/config-folder: Is a directory",
         {{"TALVO_CONFIG", "%/config-folder"}}},
        {"a folder as the configuration, used to find a file",
         kTalvo,
         {"stat", "cust", "--dir", "DAT"},
         1,
         "cannot use the directory table",
         {{"TALVO_CONFIG", "%/config-folder"}}},
        {"a binary configuration, written to",
         kTalvo,
         {"dirs", "set", "OUT", "/out"},
         1,
         "The data is invalid.",
         {{"TALVO_CONFIG", "%/config-binary"}}},
        {"an empty configuration",
         kTalvo,
         {"dirs", "list"},
         0,
         "no directories in %/config-empty",
         {{"TALVO_CONFIG", "%/config-empty"}}},
        {"a configuration that may not be read",
         kTalvo,
         {"dirs", "list"},
         1,
         "Permission denied",
         {{"TALVO_CONFIG", "%/config-locked"}},
         "",
         true},
        {"no place for a configuration",
         kTalvo,
         {"dirs", "list"},
         1,
         "neither TALVO_CONFIG, XDG_DATA_HOME nor HOME is set",
         {{"TALVO_CONFIG", "-"}, {"XDG_DATA_HOME", "-"}, {"HOME", "-"}}},
        // The utility connects without what a configuration it cannot use would give.
        {"the demo with a folder as the configuration",
         Program::kOrdelinDemo,
         {"@/cust", "/DDAT"},
         0,
         "Build File enabled",
         {{"TALVO_CONFIG", "%/config-folder"}}},
        {"the demo with a binary configuration",
         Program::kOrdelinDemo,
         {"@/cust", "/DDAT"},
         0,
         "Build File enabled",
         {{"TALVO_CONFIG", "%/config-binary"}}},
        {"the demo with a folder as the settings file",
         Program::kOrdelinDemo,
         {"@/cust", "/DDAT"},
         0,
         "Build File enabled",
         {{"XDG_DATA_HOME", "%/settings-folder"}}},
        {"the demo with a binary settings file",
         Program::kOrdelinDemo,
         {"@/cust", "/DDAT"},
         0,
         "Build File enabled",
         {{"XDG_DATA_HOME", "%/settings-binary"}}},
        {"the demo with an empty settings file, which it starts",
         Program::kOrdelinDemo,
         {"@/cust", "/DDAT"},
         0,
         "Build File enabled",
         {{"XDG_DATA_HOME", "%/settings-empty"}},
         "",
         false,
         "%/settings-empty/Corvane Group/NAVO.INI"},
    };
}

// The utility's command line, through the window's program (when it is built) and the demo,
// which starts the same way.
std::vector<Row> OrdelinCommandLines() {
    std::vector<Row> rows;
    for (Program program : {Program::kOrdelin, Program::kOrdelinDemo}) {
        const std::vector<Row> lines = {
            {"no arguments", program, {}, 2, "usage: ordelin"},
            {"no directory name", program, {"@/cust"}, 2, "usage: ordelin"},
            {"an empty directory name", program, {"@/cust", "/D"}, 2, "usage: ordelin"},
            {"a directory name with an open quote",
             program,
             {"@/cust", "/D\"DAT"},
             2,
             "usage: ordelin"},
            {"a directory name too long",
             program,
             {"@/cust", "/DTOOLONG"},
             1,
             "directory name \"TOOLONG\" is longer than 3 characters"},
            {"a network this component cannot serve",
             program,
             {"@/cust", "/DDAT", "/NET:SERVER"},
             1,
             "cannot connect to the network name \"SERVER\""},
        };
        rows.insert(rows.end(), lines.begin(), lines.end());
    }
    const std::vector<Row> window = {
        {"a good command line but no display",
         Program::kOrdelin,
         {"@/cust", "/DDAT"},
         1,
         "no display to show the window on"},
        {"a version asked in other letter case",
         Program::kOrdelin,
         {"--VERSION"},
         2,
         "usage: ordelin"},
    };
    rows.insert(rows.end(), window.begin(), window.end());
    const std::vector<Row> inputs = {
        {"a foreign input",
         Program::kOrdelinDemo,
         {"@/letter", "/DDAT"},
         1,
         "LETTER on DAT is not a valid data file"},
        {"an input that does not exist",
         Program::kOrdelinDemo,
         {"@/missing", "/DDAT"},
         1,
         "MISSING on DAT is not a valid data file"},
        {"a folder as the input",
         Program::kOrdelinDemo,
         {"@/folder", "/DDAT"},
         1,
         "FOLDER on DAT is not a valid data file"},
        {"a damaged input",
         Program::kOrdelinDemo,
         {"@/badhead", "/DDAT"},
         1,
         "BADHEAD on DAT is not a valid data file"},
        {"an input without its index",
         Program::kOrdelinDemo,
         {"@/noidx", "/DDAT"},
         1,
         "NOIDX on DAT is not a valid data file"},
    };
    rows.insert(rows.end(), inputs.begin(), inputs.end());
    return rows;
}

TEST_F(BadInputTest, TalvoCommandLines) {
    RunRows(TalvoCommandLines());
}

TEST_F(BadInputTest, DamagedAndForeignFiles) {
    RunRows(DamagedAndForeignFiles());
}

TEST_F(BadInputTest, NamesAndPaths) {
    RunRows(NamesAndPaths());
}

TEST_F(BadInputTest, ConfigurationAndSettings) {
    RunRows(ConfigurationAndSettings());
}

TEST_F(BadInputTest, OrdelinCommandLines) {
    RunRows(OrdelinCommandLines());
}

TEST_F(BadInputTest, TheCatalogueHoldsAtLeastFiftyKinds) {
    size_t kinds = 0;
    for (const auto& table : {TalvoCommandLines(), DamagedAndForeignFiles(), NamesAndPaths(),
                              ConfigurationAndSettings(), OrdelinCommandLines()}) {
        for (const Row& row : table) kinds += PathOf(row.program) != nullptr ? 1 : 0;
    }
    std::printf("the catalogue holds %zu kinds of bad input for the programs built here\n", kinds);
    EXPECT_GE(kinds, 50u);
}

}  // namespace
}  // namespace e2e
