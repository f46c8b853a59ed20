// The `talvo` program end to end: real files in a temporary folder, driven through the built
// executable as a user would.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "e2e/program_run.h"

namespace {

namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::WriteFile;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

class TalvoTool : public ::testing::Test {
  protected:
    std::string P(const std::string& name) const { return scratch_.Path(name); }

    // Runs talvo with the arguments in the scratch folder; standard input from `input` (a path).
    Result Run(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        e2e::RunOptions options = scratch_.Options();
        options.input = input;
        const e2e::RunResult r = e2e::RunProgram(TALVO_EXE, args, options);
        EXPECT_FALSE(r.timedOut || r.SanitizerReport()) << r.Describe();
        return {r.Status(), r.out, r.err};
    }

    // Runs a command that must succeed and returns its standard output.
    std::string Ok(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        Result r = Run(args, input);
        EXPECT_EQ(r.code, 0) << args[0] << ": " << r.err;
        return r.out;
    }

    // The text of a field of `talvo stat --json`: a number, or a string without its quotes.
    std::string StatText(const std::string& file, const std::string& field) {
        std::string json = Ok({"stat", file, "--json"});
        size_t at = json.find("\"" + field + "\":");
        if (at == std::string::npos) {
            ADD_FAILURE() << field << " not in " << json;
            return "";
        }
        at += field.size() + 3;
        if (json[at] == '"') return json.substr(at + 1, json.find('"', at + 1) - at - 1);
        return json.substr(at, json.find_first_of(",}", at) - at);
    }
    uint64_t StatValue(const std::string& file, const std::string& field) {
        std::string text = StatText(file, field);
        return text.empty() ? 0 : std::stoull(text);
    }

    e2e::Scratch scratch_;
};

TEST_F(TalvoTool, LinesRoundTripGivesBackTheInput) {
    const std::string lines =
        "K0003 Clara    Lindau\n"
        "K0001 Anna     Marlow\n"
        "K0002 Bernd\\\"x Tarnow\n";
    WriteFile(P("in.txt"), lines);
    Ok({"create", P("cust"), "--type", "4", "--record-size", "21", "--key-size", "5"});
    EXPECT_EQ(Ok({"import", P("cust"), "--input", P("in.txt"), "--format", "lines"}),
              "records read: 3, written: 3, refused: 0\n");
    EXPECT_EQ(Ok({"export", P("cust"), "--order", "record", "--format", "lines"}), lines);
    EXPECT_EQ(Ok({"export", P("cust"), "--format", "lines"}),
              "K0001 Anna     Marlow\nK0002 Bernd\\\"x Tarnow\nK0003 Clara    Lindau\n");
    std::string dump = Ok({"dump", P("cust"), "--order", "key", "--limit", "1"});
    EXPECT_EQ(dump, "1  key \"K0001\" 4B30303031  data \"K0001 Anna     Marlow\"\n");
    EXPECT_EQ(Ok({"dump", P("cust"), "--json", "--limit", "1"}),
              "{\"record\":0,\"key\":\"K0003\",\"keyHex\":\"4B30303033\","
              "\"data\":\"K0003 Clara    Lindau\",\"deleted\":false}\n");
    EXPECT_EQ(Run({"check", P("cust")}).code, 0);
}

TEST_F(TalvoTool, FixedRoundTripOfGeneratedDataWithDeletedRecords) {
    Ok({"gen", P("gen36"), "--records", "300", "--type", "36", "--layout", "orders",
        "--deleted-every", "7", "--seed", "5"});
    EXPECT_EQ(StatValue(P("gen36"), "deleted"), 42u);
    EXPECT_EQ(StatValue(P("gen36"), "keys"), 258u);
    Ok({"export", P("gen36"), "--order", "record", "--output", P("flat")});
    std::string flat = ReadFile(P("flat"));
    ASSERT_EQ(flat.size(), 258u * 64);

    Ok({"create", P("copy"), "--type", "36", "--record-size", "64", "--key-size", "10"});
    EXPECT_EQ(Ok({"import", P("copy"), "--input", P("flat")}),
              "records read: 258, written: 258, refused: 0\n");
    Ok({"export", P("copy"), "--order", "record", "--output", P("flat2")});
    EXPECT_EQ(ReadFile(P("flat2")), flat);
    Ok({"export", P("gen36"), "--output", P("bykey1")});
    Ok({"export", P("copy"), "--output", P("bykey2")});
    EXPECT_EQ(ReadFile(P("bykey1")), ReadFile(P("bykey2")));
    EXPECT_EQ(Run({"check", P("gen36")}).code, 0);

    // Records-only files come back in record order.
    Ok({"gen", P("gen2"), "--records", "40", "--type", "2"});
    Ok({"export", P("gen2"), "--output", P("flat4")});
    Ok({"create", P("copy2"), "--type", "2", "--record-size", "100"});
    Ok({"import", P("copy2")}, P("flat4"));
    Ok({"export", P("copy2"), "--output", P("flat5")});
    EXPECT_EQ(ReadFile(P("flat5")), ReadFile(P("flat4")));
    EXPECT_EQ(ReadFile(P("flat5")).size(), 4000u);

    // The same options make the same data.
    Ok({"gen", P("again"), "--records", "300", "--type", "36", "--layout", "orders",
        "--deleted-every", "7", "--seed", "5"});
    Ok({"export", P("again"), "--order", "record", "--output", P("flat3")});
    EXPECT_EQ(ReadFile(P("flat3")), flat);
}

TEST_F(TalvoTool, DuplicatesAreSkippedAndReportedWithTheirPositions) {
    Ok({"create", P("f"), "--type", "4", "--record-size", "8", "--key-size", "3"});
    WriteFile(P("first.txt"), "AAA one\n");
    Ok({"import", P("f"), "--input", P("first.txt"), "--format", "lines"});
    WriteFile(P("more.txt"), "BBB two\nAAA dup\nCCC 3\nBBB dup2\n");
    Result r = Run({"import", P("f"), "--format", "lines", "--key-fields", "0:3"}, P("more.txt"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "record 2: duplicate key \"AAA\" (414141), skipped\n"
              "record 4: duplicate key \"BBB\" (424242), skipped\n"
              "records read: 4, written: 2, refused: 2\n");
    EXPECT_EQ(Ok({"export", P("f"), "--format", "lines"}), "AAA one \nBBB two \nCCC 3   \n");
}

TEST_F(TalvoTool, OverLongLinesRefuseTheWholeImport) {
    Ok({"create", P("f"), "--type", "4", "--record-size", "6", "--key-size", "2"});
    WriteFile(P("a.txt"), "AAxxxx\n");
    Ok({"import", P("f"), "--input", P("a.txt"), "--format", "lines"});
    WriteFile(P("b.txt"), "BBxxxx\nCCxxxxx\nDD\nEEeeeeee\r\n");
    Result r = Run({"import", P("f"), "--input", P("b.txt"), "--format", "lines"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "line 2: 7 bytes, longer than the record size 6\n"
              "line 4: 8 bytes, longer than the record size 6\n"
              "talvo: 2 of 4 lines are longer than the record size 6; nothing was imported\n");
    EXPECT_EQ(Ok({"export", P("f"), "--format", "lines"}), "AAxxxx\n");
    EXPECT_EQ(StatValue(P("f"), "records"), 1u);

    // A fixed input cut inside a record is refused the same way.
    WriteFile(P("c.bin"), "BBxxxxCCx");
    r = Run({"import", P("f"), "--input", P("c.bin")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "talvo: the input ends inside record 2 (3 of 6 bytes); nothing was imported\n");
    EXPECT_EQ(StatValue(P("f"), "records"), 1u);
}

TEST_F(TalvoTool, CheckFindsARecordWhoseKeyDisagrees) {
    Ok({"gen", P("c"), "--records", "50", "--type", "36"});
    ASSERT_EQ(Run({"check", P("c")}).code, 0);
    Ok({"export", P("c"), "--order", "record", "--output", P("before")});
    // Record n lies at (file length - slots * record size) + n * record size.
    uint64_t slots = StatValue(P("c"), "records");
    uint64_t size = fs::file_size(P("c"));
    uint64_t start = size - slots * 100;
    {
        std::fstream f(P("c"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(start + 17 * 100 + 3));
        f.put('X');
    }
    Result r = Run({"check", P("c")});
    EXPECT_EQ(r.code, 1);
    const std::string expected = "points to record 17, whose key at position 0 is \"";
    size_t at = r.out.find(expected);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(at + expected.size() + 3, 2), "X0") << r.out;
    EXPECT_NE(r.err.find("problem"), std::string::npos);
}

TEST_F(TalvoTool, CheckFindsADamagedIndex) {
    for (const char* damage : {"zeroed", "emptied"}) {
        SCOPED_TRACE(damage);
        std::string file = P(std::string("d_") + damage);
        Ok({"gen", file, "--records", "40", "--type", "4"});
        std::string indexPath = StatText(file, "indexPath");
        ASSERT_FALSE(indexPath.empty());
        uint64_t length = fs::file_size(indexPath);
        WriteFile(indexPath, std::string(damage[0] == 'z' ? length : 0, '\0'));
        Result r = Run({"check", file});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_FALSE(r.out.empty());
    }
    // A file that cannot be opened at all is unsound too, and says so on standard error.
    WriteFile(P("foreign"), "not a data file, only text\n");
    Result r = Run({"check", P("foreign")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("cannot be opened"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(TalvoTool, DeleteMarksTheRecordAndDropsItsKey) {
    Ok({"create", P("f"), "--type", "4", "--record-size", "10", "--key-size", "2"});
    WriteFile(P("in"), "AAaaaaaaaa\nBBbbbbbbbb\nCCcccccccc\n");
    Ok({"import", P("f"), "--input", P("in"), "--format", "lines"});
    EXPECT_EQ(Ok({"delete", P("f"), "--key", "BB"}), "deleted key \"BB\" (4242) (record 1)\n");
    EXPECT_EQ(Ok({"delete", P("f"), "--key-hex", "4343"}),
              "deleted key \"CC\" (4343) (record 2)\n");
    Result r = Run({"delete", P("f"), "--record", "2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "talvo: record 2 is already deleted\n");
    EXPECT_EQ(Run({"delete", P("f"), "--key", "ZZ"}).err,
              "talvo: no key \"ZZ\" (5A5A) in " + P("f") + "\n");
    std::string dump = Ok({"dump", P("f"), "--json"});
    EXPECT_NE(dump.find("{\"record\":1,\"key\":null,\"keyHex\":null,\"data\":\"BBbbbb\\u00FE"),
              std::string::npos)
        << dump;
    EXPECT_EQ(Ok({"export", P("f"), "--format", "lines"}), "AAaaaaaaaa\n");
    EXPECT_EQ(Run({"check", P("f")}).code, 0);
}

TEST_F(TalvoTool, FilesAreFoundThroughTheDirectoryTable) {
    fs::create_directory(P("Data"));
    Ok({"dirs", "set", "dat", P("Data")});
    Ok({"dirs", "set", "TMP", "Z:" + scratch_.root()});
    EXPECT_EQ(Ok({"dirs", "list"}), "dat=" + P("Data") + "\nTMP=Z:" + scratch_.root() + "\n");
    Ok({"create", "cust", "--dir", "DAT", "--type", "1", "--record-size", "4"});
    EXPECT_TRUE(fs::exists(P("Data/cust")));
    Ok({"subkey", "cust", "--dir", "dat", "list"});
    EXPECT_EQ(Run({"stat", "Data/cust", "--dir", "tmp"}).code, 0);
    Ok({"dirs", "remove", "Dat"});
    Result r = Run({"stat", "cust", "--dir", "dat"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err,
              "talvo: no directory \"dat\" in " + P("talvo.ini") + " (see talvo dirs list)\n");
    EXPECT_EQ(Run({"dirs", "remove", "dat"}).code, 1);
    EXPECT_EQ(Run({"dirs", "set", "TOOLONG", "/x"}).code, 2);

    // Entries that the component's table passes over name no folder here either: an entry
    // without a path must not stand for the working folder.
    WriteFile(P("talvo.ini"), "[Directories]\nNOP=\nD D=" + P("Data") + "\n");
    const std::string stray = "talvo-e2e-stray";
    for (const char* dir : {"NOP", "D D"}) {
        r = Run({"create", stray, "--dir", dir, "--type", "1", "--record-size", "4"});
        EXPECT_EQ(r.code, 1) << dir;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(P(stray))) << dir;  // the working folder
        EXPECT_FALSE(fs::exists(P("Data/" + stray))) << dir;
    }
}

TEST_F(TalvoTool, SubordinateKeysAreAddedAndListed) {
    Ok({"create", P("f"), "--type", "36", "--record-size", "20", "--key-size", "4", "--key-pos",
        "2"});
    EXPECT_EQ(Ok({"subkey", P("f"), "add", "3", "-7", "BYNAME"}), "added subordinate key 1\n");
    EXPECT_EQ(Ok({"subkey", P("f"), "list"}), "1  3 -7 BYNAME\n");
    EXPECT_NE(
        Ok({"stat", P("f"), "--json"})
            .find("\"subKeys\":[{\"index\":1,\"first\":3,\"second\":-7,\"name\":\"BYNAME\"}]"),
        std::string::npos);
}

TEST_F(TalvoTool, VersionAndHelpAnswerOnStandardOutputAndSucceed) {
    // Scripts and the package check read the version line; it must be alone on standard output.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--version"}, {"--version", "stat", P("missing")}}) {
        Result r = Run(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "talvo " TALVO_TOOL_VERSION " (TalvoLib 1.2)\n");
        EXPECT_EQ(r.err, "");
    }
    Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_NE(help.out.find("Usage:"), std::string::npos);
}

TEST_F(TalvoTool, BadArgumentsGiveOneLineAndChangeNothing) {
    Ok({"create", P("f"), "--type", "4", "--record-size", "8", "--key-size", "3"});
    WriteFile(P("in"), "AAA\n");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"create", P("n1"), "--record-size", "8"},
        {"create", P("n2"), "--type", "3", "--record-size", "8"},
        {"create", P("n3"), "--type", "4", "--record-size", "8"},
        {"create", P("n4"), "--type", "1", "--record-size", "70000"},
        {"create", P("n5"), "--type", "36", "--record-size", "8", "--key-size", "4", "--key-pos",
         "5"},
        {"create", P("f"), "--type", "4", "--record-size", "8", "--key-size", "3"},
        {"import", P("f"), "--input", P("in"), "--key-fields", "6:3"},
        {"import", P("f"), "--input", P("in"), "--format", "csv"},
        {"import", P("f"), "--input", P("missing")},
        {"import", P("missing"), "--input", P("in")},
        {"export", P("f"), "--order", "record", "--output", P("no/such/dir/x")},
        {"export", P("f"), "--output", P("f")},
        {"delete", P("f"), "--key", "AAA", "--record", "0"},
        {"delete", P("f"), "--key-hex", "4G"},
        {"delete", P("f")},
        {"dump", P("f"), "--limit", "-1"},
        {"gen", P("n6"), "--records", "0"},
        {"gen", P("n7"), "--records", "5", "--type", "1", "--deleted-every", "2"},
        {"gen", P("f"), "--records", "5"},
        {"subkey", P("f"), "drop"},
        {"dirs", "set", "X"},
    };
    for (const auto& args : cases) {
        Result r = Run(args);
        std::string shown =
            args.empty() ? "(none)" : args[0] + " " + (args.size() > 1 ? args[1] : "");
        EXPECT_NE(r.code, 0) << shown;
        EXPECT_LT(r.code, 128) << shown;  // no crash
        EXPECT_EQ(r.err.rfind("talvo: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << ": " << r.err;
    }
    for (const char* name : {"n1", "n2", "n3", "n4", "n5", "n6", "n7"}) {
        EXPECT_FALSE(fs::exists(P(name))) << name;
    }
    EXPECT_EQ(StatValue(P("f"), "records"), 0u);
    EXPECT_EQ(Run({"check", P("f")}).code, 0);
    EXPECT_EQ(Ok({"import", "--help"}).find("Usage:") != std::string::npos, true);
}

TEST_F(TalvoTool, LargeWritesStayWithinTheBudgetsTheEnvironmentSets) {
    // Budgets far below what the files need: runs spilled, many index transactions.
    scratch_.SetVariable("TALVO_BUDGETS", "pending-keys=16K,run-buffers=8K,index-txn=256K,mapped=16K");
    Ok({"gen", P("src"), "--records", "20000", "--deleted-every", "9"});
    EXPECT_EQ(Run({"check", P("src")}).code, 0);
    Ok({"export", P("src"), "--order", "record", "--output", P("flat")});
    ASSERT_EQ(ReadFile(P("flat")).size(), (20000u - 2222) * 100);

    // Standard input is kept in a temporary file while it is checked, then imported.
    Ok({"create", P("copy"), "--type", "4", "--record-size", "100", "--key-size", "8"});
    EXPECT_EQ(Ok({"import", P("copy")}, P("flat")),
              "records read: 17778, written: 17778, refused: 0\n");
    EXPECT_EQ(Run({"check", P("copy")}).code, 0);
    Ok({"export", P("src"), "--output", P("bykey1")});
    Ok({"export", P("copy"), "--output", P("bykey2")});
    EXPECT_EQ(ReadFile(P("bykey1")), ReadFile(P("bykey2")));
    Ok({"delete", P("copy"), "--record", "17000"});
    EXPECT_EQ(StatValue(P("copy"), "deleted"), 1u);
    EXPECT_EQ(Run({"check", P("copy")}).code, 0);

    // A budget that cannot be read stops every command that opens a file, and says why.
    scratch_.SetVariable("TALVO_BUDGETS", "pending-keys=lots");
    Result r = Run({"stat", P("copy")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("TALVO_BUDGETS: \"pending-keys=lots\""), std::string::npos) << r.err;
    EXPECT_NE(Ok({"--help"}).find("TALVO_BUDGETS"), std::string::npos);
}

}  // namespace
