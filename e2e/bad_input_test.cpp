// The catalogue of bad input: every row runs a built program as a user would, on a folder of real
// files of every kind, good and bad. Each row gives the exit status and a text the program must
// say about what is wrong; for every row the program must neither crash nor hang nor report a
// sanitizer finding, and every file that was there before must be there unchanged afterwards.
//
// In the rows' arguments and texts, "@/" stands for the data folder and "%/" for the scratch
// folder above it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/program_run.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

enum class Program { kTalvo, kOrdelin, kBatch };

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
        // Paths the command line cannot carry, each beside the file it would reach instead.
        fs::create_directories(Data("a b\"c"));
        Make({"gen", Data("a b\"c/cust"), "--records", "5"});
        Make({"gen", Data("a b"), "--records", "7"});
        fs::create_directories(Data("back\\slash"));
        fs::create_directories(Data("back/slash"));
        Make({"gen", Data("back\\slash/cust"), "--records", "5"});
        Make({"gen", Data("back/slash/cust"), "--records", "7"});
        Make({"gen", Data("Twin"), "--records", "5", "--type", "2"});
        Make({"gen", Data("TWIN"), "--records", "7", "--type", "2"});
        Make({"gen", Data("spaced "), "--records", "5", "--type", "2"});
        Make({"gen", Data("spaced"), "--records", "7", "--type", "2"});
        // An unreadable copy (only for users whom permissions bind).
        WriteFile(Data("locked"), cust);
        WriteFile(Data("locked.idx"), index);
        fs::permissions(Data("locked"), fs::perms::none);

        // The component's configuration and the utility's settings, good and bad.
        // DAT, and the same folder under two more names: through a link, and spelt otherwise.
        WriteFile(scratch_->Path("talvo.ini"), "[Directories]\nDAT=" + Data("") +
                                                   "\nALI=" + scratch_->Path("alias") +
                                                   "\nSAM=" + scratch_->Path("data") + "\n");
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
            // A failure is told on standard error.
            if (row.status != 0) {
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
constexpr Program kBatch = Program::kBatch;

// A batch build of `input` on DAT into NEW with a key of the input's first 8 bytes (a customer
// number), then `more` options.
std::vector<std::string> Build(const std::string& input, std::vector<std::string> more) {
    std::vector<std::string> args{input,        "/DDAT", "--out", "NEW",
                                  "--key-size", "8",     "--key", "0:8"};
    // Options that set the key themselves replace the default one.
    for (const std::string& option : more) {
        if (option == "--key-size" || option == "--key" || option == "--key-pos") {
            args.resize(4);
            break;
        }
    }
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

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
         "/missing: No such file or directory"},
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
        {"an export over the key column beside the index",
         kTalvo,
         {"export", "@/cust", "--output", "@/cust.idx-keys"},
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
        {"a build from a name with spaces", kBatch, Build("@/my cust", {"--dry-run"}), 0,
         "NEW on DAT (dry run): 5 records read"},
        {"a build from a name in other letter case", kBatch, Build("@/CUST", {"--dry-run"}), 0,
         "NEW on DAT (dry run): 180 records read"},
        {"a build from a name beyond ASCII", kBatch, Build("@/Kundenstamm-ÄÖÜ", {"--dry-run"}), 0,
         "(dry run): 5 records read"},
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
        {"a build with a folder as the configuration",
         kBatch,
         Build("@/cust", {"--dry-run"}),
         0,
         "180 would be written",
         {{"TALVO_CONFIG", "%/config-folder"}}},
        {"a build with a binary configuration",
         kBatch,
         Build("@/cust", {"--dry-run"}),
         0,
         "180 would be written",
         {{"TALVO_CONFIG", "%/config-binary"}}},
        {"a build with a folder as the settings file",
         kBatch,
         Build("@/cust", {"--dry-run"}),
         0,
         "180 would be written",
         {{"XDG_DATA_HOME", "%/settings-folder"}}},
        {"a build with a binary settings file",
         kBatch,
         Build("@/cust", {"--dry-run"}),
         0,
         "180 would be written",
         {{"XDG_DATA_HOME", "%/settings-binary"}}},
        {"a build with an empty settings file, which it starts",
         kBatch,
         Build("@/cust", {"--dry-run"}),
         0,
         "180 would be written",
         {{"XDG_DATA_HOME", "%/settings-empty"}},
         "",
         false,
         "%/settings-empty/Corvane Group/NAVO.INI"},
    };
}

// The window's program: the command lines that end before its window opens.
std::vector<Row> OrdelinCommandLines() {
    constexpr Program kOrdelin = Program::kOrdelin;
    return {
        {"no arguments", kOrdelin, {}, 2, "usage: ordelin FILE /DNAME"},
        {"no directory name", kOrdelin, {"@/cust"}, 2, "usage: ordelin FILE /DNAME"},
        {"an empty directory name", kOrdelin, {"@/cust", "/D"}, 2, "usage: ordelin FILE /DNAME"},
        {"a directory name with an open quote",
         kOrdelin,
         {"@/cust", "/D\"DAT"},
         2,
         "usage: ordelin FILE /DNAME"},
        {"a version asked in other letter case",
         kOrdelin,
         {"--VERSION"},
         2,
         "usage: ordelin FILE /DNAME"},
        {"a directory name too long",
         kOrdelin,
         {"@/cust", "/DTOOLONG"},
         1,
         "directory name \"TOOLONG\" is longer than 3 characters"},
        {"a network this component cannot serve",
         kOrdelin,
         {"@/cust", "/DDAT", "/NET:SERVER"},
         1,
         "cannot connect to the network name \"SERVER\""},
        {"an input path with a double quote",
         kOrdelin,
         {"@/a b\"c/cust", "/DDAT"},
         2,
         "ordelin: the input file \"@/a b\"c/cust\" holds a double quote, which the command "
         "line cannot carry"},
        {"an input path with a backslash in a folder's name",
         kOrdelin,
         {"@/back\\slash/cust", "/DDAT"},
         2,
         "holds a backslash, which the command line reads as a folder separator"},
        {"an input name that upper case makes another file's",
         kOrdelin,
         {"@/Twin", "/DDAT"},
         2,
         "the input file \"@/Twin\" would be read as \"@/TWIN\", another file"},
        {"a good command line but no display",
         kOrdelin,
         {"@/cust", "/DDAT"},
         1,
         "no display to show the window on"},
    };
}

// The batch program: its command line and options, the values the dialog refuses, inputs it
// cannot read, and outputs that name the input. Its boxes are lines "ordelin-batch: TEXT".
std::vector<Row> BatchBuilds() {
    const std::string usage = "usage: ordelin-batch FILE /DNAME";
    return {
        {"no arguments", kBatch, {}, 2, usage},
        {"no output", kBatch, {"@/cust", "/DDAT"}, 2, "--out is required"},
        {"an empty output name", kBatch, {"@/cust", "/DDAT", "--out", ""}, 2, "must not be empty"},
        {"no directory name", kBatch, {"@/cust", "--out", "NEW"}, 2, usage},
        {"an empty directory name", kBatch, {"@/cust", "/D", "--out", "NEW"}, 2, usage},
        {"a directory name with an open quote",
         kBatch,
         {"@/cust", "/D\"DAT", "--out", "NEW"},
         2,
         usage},
        {"a word that is no option",
         kBatch,
         {"@/cust", "/DDAT", "stray", "--out", "NEW"},
         2,
         usage},
        {"an option that does not exist", kBatch, Build("@/cust", {"--frobnicate"}), 2,
         "--frobnicate"},
        {"a key field that is no POS:LEN",
         kBatch,
         {"@/cust", "/DDAT", "--out", "NEW", "--key", "4"},
         2,
         "must be POS:LEN"},
        {"a key field with a sign",
         kBatch,
         {"@/cust", "/DDAT", "--out", "NEW", "--key", "-1:4"},
         2,
         "must be POS:LEN"},
        {"a record size that is no number",
         kBatch,
         {"@/cust", "/DDAT", "--out", "NEW", "--record-size", "20b"},
         2,
         "must be a number written in decimal"},
        {"an order that does not exist", kBatch, Build("@/cust", {"--order", "size"}), 2, usage},
        {"a key position and none at once", kBatch,
         Build("@/cust", {"--key-pos", "0", "--no-key-pos"}), 2, usage},
        {"a directory name too long",
         kBatch,
         {"@/cust", "/DTOOLONG", "--out", "NEW"},
         1,
         "directory name \"TOOLONG\" is longer than 3 characters"},
        {"a network this component cannot serve",
         kBatch,
         {"@/cust", "/DDAT", "/NET:SERVER", "--out", "NEW"},
         1,
         "cannot connect to the network name \"SERVER\""},
        // Input paths the command line cannot carry: never another file read in their place.
        {"an input path with a double quote", kBatch, Build("@/a b\"c/cust", {"--dry-run"}), 2,
         "ordelin-batch: the input file \"@/a b\"c/cust\" holds a double quote, which the "
         "command line cannot carry"},
        {"an input path with a backslash in a folder's name", kBatch,
         Build("@/back\\slash/cust", {"--dry-run"}), 2,
         "holds a backslash, which the command line reads as a folder separator"},
        {"an input name that upper case makes another file's", kBatch,
         Build("@/Twin", {"--dry-run"}), 2, "would be read as \"@/TWIN\", another file"},
        {"an input name that ends in a space", kBatch, Build("@/spaced ", {"--dry-run"}), 2,
         "ends in white space, which the command line drops"},
        // Inputs the dialog cannot read.
        {"a foreign input", kBatch, Build("@/letter", {}), 1,
         "ordelin-batch: LETTER on DAT is not a valid data file"},
        {"an input that does not exist", kBatch, Build("@/missing", {}), 1,
         "ordelin-batch: MISSING on DAT is not a valid data file"},
        {"a folder as the input", kBatch, Build("@/folder", {}), 1,
         "ordelin-batch: FOLDER on DAT is not a valid data file"},
        {"a damaged input", kBatch, Build("@/badhead", {}), 1,
         "ordelin-batch: BADHEAD on DAT is not a valid data file"},
        {"an input without its index", kBatch, Build("@/noidx", {}), 1,
         "ordelin-batch: NOIDX on DAT is not a valid data file"},
        {"an empty input file", kBatch, Build("@/empty", {}), 1,
         "ordelin-batch: EMPTY on DAT is not a valid data file"},
        // Values the dialog refuses.
        {"a key field past the input record", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "98:4"}), 1,
         "Position and Length of this field exceed input file's record size"},
        {"a key field longer than the key", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "0:6"}), 1,
         "Addition of this field exceeds output file's key size"},
        {"overlapping key fields", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "0:2", "--key", "1:2"}), 1,
         "This key field overlaps one already been defined."},
        {"a key size below its fields", kBatch, Build("@/orders", {"--key-size", "2"}), 1,
         "Output key size cannot be less than total of key fields defined."},
        {"a long key without a key position", kBatch,
         Build("@/cust", {"--key-size", "65", "--no-key-pos"}), 1,
         "Key position is required for key size > 64."},
        {"a key position past the record", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "0:4", "--key-pos", "98"}), 1,
         "Key position extends key data beyond end of record."},
        {"key fields apart in an extended output", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "2:2", "--key", "0:2", "--key-pos", "0"}), 1,
         "Key fields must be contiguous for extended keyed file."},
        {"a negative record size", kBatch, Build("@/cust", {"--record-size", "-5"}), 1,
         "Output record size cannot be negative."},
        {"an output directory the list does not offer", kBatch,
         Build("@/cust", {"--out-dir", "XYZ"}), 1, "--out-dir XYZ: the Dir list offers only"},
        {"a key order for an input without keys", kBatch, Build("@/recs", {"--order", "key"}), 1,
         "holds records only, without a key"},
        {"a key range in record order", kBatch,
         Build("@/cust", {"--order", "record", "--from", "K"}), 2, usage},
        {"a key range end too long", kBatch, Build("@/cust", {"--to", std::string(256, 'K')}), 1,
         "the To Key edit takes at most 255 characters, not 256"},
        {"a key not complete", kBatch, Build("@/cust", {"--key-size", "12"}), 1,
         "Build File is disabled, the key is not complete"},
        {"a key field beyond a complete key", kBatch,
         Build("@/cust", {"--key-size", "4", "--key", "0:4", "--key", "4:2"}), 1,
         "Add Key Field is disabled, the key is complete"},
        // Outputs that name the input: never built over it.
        {"an output of the input's name in other letter case, same directory",
         kBatch,
         {"@/cust", "/DDAT", "--out", "CUST", "--key-size", "8", "--key", "0:8"},
         1,
         "it leaves out the input's own directory while the output keeps the input's name"},
        {"an output naming the input through another directory name",
         kBatch,
         {"@/cust", "/DDAT", "--out", "CUST", "--out-dir", "ALI", "--key-size", "8", "--key", "0:8",
          "--overwrite"},
         1,
         "is open"},
        {"a dry run of an output naming the input through another directory name",
         kBatch,
         {"@/cust", "/DDAT", "--out", "CUST", "--out-dir", "ALI", "--key-size", "8", "--key", "0:8",
          "--overwrite", "--dry-run"},
         1,
         "Erase of File \"CUST\" would fail: it is the input file CUST on DAT"},
        {"an output naming the input through the same folder written otherwise",
         kBatch,
         {"@/cust", "/DDAT", "--out", "cust", "--out-dir", "SAM", "--key-size", "8", "--key", "0:8",
          "--overwrite"},
         1,
         "is open"},
        {"an output over another file, not to be replaced",
         kBatch,
         {"@/cust", "/DDAT", "--out", "ORDERS", "--key-size", "8", "--key", "0:8"},
         1,
         "\"ORDERS\" exists and was kept"},
    };
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

TEST_F(BadInputTest, BatchBuilds) {
    RunRows(BatchBuilds());
}

TEST_F(BadInputTest, TheCatalogueHoldsAtLeastFiftyKinds) {
    size_t kinds = 0;
    for (const auto& table : {TalvoCommandLines(), DamagedAndForeignFiles(), NamesAndPaths(),
                              ConfigurationAndSettings(), OrdelinCommandLines(), BatchBuilds()}) {
        for (const Row& row : table) kinds += PathOf(row.program) != nullptr ? 1 : 0;
    }
    std::printf("the catalogue holds %zu kinds of bad input for the programs built here\n", kinds);
    EXPECT_GE(kinds, 50u);
}

}  // namespace
}  // namespace e2e
