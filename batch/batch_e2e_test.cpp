// ordelin-batch end to end: the built program on real data files in a temporary folder (made with
// the built talvo tool), its options, exit statuses, JSON summary, refusals and dry runs, with the
// input checked unchanged after every run.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "batch/testing/batch_fixture.h"

namespace {

using namespace batchtest;
namespace fs = std::filesystem;
using e2e::ReadFile;
using e2e::WriteFile;

// --- The command line ----------------------------------------------------------------------------

TEST_F(Batch, HelpDescribesEveryOptionAndVersionNamesTheProgram) {
    const Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option :
         {"--out ", "--out-dir", "--record-size", "--key-size", "--key ", "--key-pos",
          "--no-key-pos", "--from", "--to", "--order", "--overwrite", "--dry-run", "--json",
          "--progress", "--version", "FILE"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const Result version = Run({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "ordelin-batch " ORDELIN_BATCH_VERSION "\n");
}

TEST_F(Batch, CommandLinesThatCannotBeUsedExitTwoWithAUsageLine) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    const std::string cust = Data("cust");
    const std::vector<std::vector<std::string>> lines = {
        {cust, "/DDAT"},                                        // no --out
        {cust, "/DDAT", "--out", ""},                           // an empty --out
        {cust, "/DDAT", "--out", "X", "--key", "4"},            // not POS:LEN
        {cust, "/DDAT", "--out", "X", "--key", "-1:4"},         // a sign in a digits-only edit
        {cust, "/DDAT", "--out", "X", "--key", ":4"},           // no position
        {cust, "/DDAT", "--out", "X", "--record-size", "20b"},  // not a number
        {cust, "/DDAT", "--out", "X", "--order", "size"},       // not key or record
        {cust, "/DDAT", "--out", "X", "--key-pos", "0", "--no-key-pos"},
        {cust, "/DDAT", "--out", "X", "--order", "record", "--from", "K002"},
        {cust, "/DDAT", "--out", "X", "--frobnicate"},  // an unknown option
        {cust, "/DDAT", "stray", "--out", "X"},         // a word that is no option
        {"--out", "X"},                                 // no input file
        {cust, "--out", "X"},                           // no /D: the start-up's split
        {"cust", "/D", "--out", "X"},                   // an empty /D value
    };
    for (const std::vector<std::string>& line : lines) {
        std::string shown;
        for (const std::string& word : line) shown += " [" + word + "]";
        const Result r = Run(line);
        EXPECT_EQ(r.code, 2) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find("usage: ordelin-batch FILE /DNAME"), std::string::npos) << shown;
        EXPECT_EQ(r.out, "") << shown;
    }
    EXPECT_EQ(Snapshot("cust"), input);
    EXPECT_FALSE(fs::exists(Data("X")));
}

// --- Builds --------------------------------------------------------------------------------------

TEST_F(Batch, ReKeyWritesEveryRecordAndSummarisesItInJson) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    // A key field takes one value: the input file after it stays the input file.
    const Result r = Run({"--key", "4:6", Data("cust"), "/DDAT", "--out", "CUSTCITY", "--out-dir",
                          "OUT", "--key-size", "+10", "--key", "0:4", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "ordelin-batch: 6 records were written\n");
    EXPECT_EQ(Snapshot("cust"), input);

    // The output holds every record, in the order of the new key (city, then id).
    EXPECT_EQ(Exported(Out("CUSTCITY")),
              kPeople[1] + kPeople[4] + kPeople[3] + kPeople[0] + kPeople[2] + kPeople[5]);

    const jsontest::Value j = Json(r);
    EXPECT_EQ(j["read"].Count(), 6u);
    EXPECT_EQ(j["written"].Count(), 6u);
    EXPECT_EQ(j["notWritten"].Count(), 0u);
    EXPECT_EQ(j["deleted"].Count(), 0u);
    EXPECT_EQ(j["order"].text, "key");
    EXPECT_FALSE(j["dryRun"].boolean);
    const jsontest::Value& o = j["output"];
    EXPECT_EQ(o["file"].text, "CUSTCITY");
    EXPECT_EQ(o["directory"].text, "OUT");
    EXPECT_EQ(fs::path(o["hostPath"].text), fs::path(Out("CUSTCITY")));
    EXPECT_EQ(o["type"].Count(), 4u);
    EXPECT_EQ(o["recordSize"].Count(), 20u);
    EXPECT_EQ(o["keySize"].Count(), 10u);
    EXPECT_TRUE(o["keyPosition"].IsNull());
    ASSERT_EQ(j["messages"].items.size(), 1u);
    EXPECT_EQ(j["messages"].items[0]["text"].text, "6 records were written");
    EXPECT_EQ(j["messages"].items[0]["flags"].Count(), 0u);

    // No window: the list file is named instead, a real file in the QVTEMP folder.
    const std::string listFile = j["listFile"].text;
    EXPECT_NE(r.out.find("list file: " + listFile + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(fs::path(listFile).parent_path(), dir / "temp");
    EXPECT_NE(ReadFile(listFile).find("Records written: 6"), std::string::npos);
}

TEST_F(Batch, DuplicatesUnderTheNewKeyExitThreeAndTheDryRunPredictsThem) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    const std::vector<std::string> args =
        Plus(Base("cust", "BYCITY"), {"--key-size", "6", "--key", "4:6", "--json"});

    const Result dry = Run(Plus(args, {"--dry-run"}));
    EXPECT_EQ(dry.code, 3) << dry.err;
    EXPECT_EQ(dry.err, "");  // a dry run shows no box when nothing ends it early
    EXPECT_FALSE(fs::exists(Data("BYCITY")));
    EXPECT_TRUE(fs::is_empty(dir / "temp"));  // no list file
    EXPECT_NE(dry.out.find("BYCITY on DAT (dry run): 6 records read, 4 would be written, 2 would "
                           "not be written"),
              std::string::npos)
        << dry.out;
    const jsontest::Value d = Json(dry);
    EXPECT_TRUE(d["dryRun"].boolean);
    EXPECT_TRUE(d["listFile"].IsNull());

    const Result real = Run(args);
    EXPECT_EQ(real.code, 3) << real.err;
    const jsontest::Value b = Json(real);

    // Once the output exists, a dry run says that the build would ask before replacing it, and
    // exits as the build would: refused without --overwrite.
    const Result again = Run(Plus(args, {"--dry-run"}));
    EXPECT_EQ(again.code, 1);
    EXPECT_EQ(again.err,
              "ordelin-batch: BYCITY on DAT exists: the build will ask to overwrite it, and "
              "without --overwrite the answer is No\n");
    const Result replacing = Run(Plus(args, {"--dry-run", "--overwrite"}));
    EXPECT_EQ(replacing.code, 3);
    EXPECT_EQ(replacing.err, "");
    EXPECT_EQ(b["read"].Count(), d["read"].Count());
    EXPECT_EQ(b["written"].Count(), d["written"].Count());
    EXPECT_EQ(b["notWritten"].Count(), d["notWritten"].Count());
    EXPECT_EQ(b["written"].Count(), 4u);
    // The first of each city stays: K001 for PARIS, K002 for LYON.
    EXPECT_EQ(Exported(Data("BYCITY")), kPeople[1] + kPeople[3] + kPeople[0] + kPeople[5]);
    EXPECT_NE(real.err.find("ordelin-batch: 4 records were written 2 records were not written"),
              std::string::npos)
        << real.err;
    EXPECT_EQ(Snapshot("cust"), input);
}

TEST_F(Batch, DryRunCountsEqualTheBuildsInEveryOrderAndRange) {
    MakeInput("cust", 4, kPeople);
    Talvo({"delete", Data("cust"), "--key", "K003"});
    MakeInput("flat", 1, kPeople);
    struct Case {
        std::string input;
        std::vector<std::string> options;
        uint64_t read, deleted, written, notWritten;
    };
    const std::vector<Case> cases = {
        {"cust", {"--key-size", "10", "--key", "4:6", "--key", "0:4"}, 5, 0, 5, 0},
        {"cust",
         {"--key-size", "10", "--key", "4:6", "--key", "0:4", "--order", "record"},
         6,
         1,
         5,
         0},
        {"cust", {"--key-size", "6", "--key", "4:6", "--order", "record"}, 6, 1, 4, 1},
        {"cust", {"--key-size", "4", "--key", "0:4", "--from", "K002", "--to", "K005"}, 3, 0, 3, 0},
        {"cust", {"--key-size", "4", "--key", "0:4", "--from", "K004"}, 3, 0, 3, 0},
        {"flat", {"--key-size", "6", "--key", "4:6"}, 6, 0, 4, 2},
        // A shorter output record: cut after the city.
        {"flat", {"--record-size", "10", "--key-size", "4", "--key", "0:4"}, 6, 0, 6, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string input = Snapshot(c.input);
        const std::string name = "OUT" + std::to_string(++n);
        const std::vector<std::string> args =
            Plus(Plus(Base(c.input, name), c.options), {"--out-dir", "OUT", "--json"});
        const Result dry = Run(Plus(args, {"--dry-run"}));
        const Result real = Run(args);
        const int expected = c.notWritten == 0 ? 0 : 3;
        EXPECT_EQ(dry.code, expected) << name << dry.err;
        EXPECT_EQ(real.code, expected) << name << real.err;
        const jsontest::Value d = Json(dry);
        const jsontest::Value b = Json(real);
        for (const char* field : {"read", "deleted", "written", "notWritten"}) {
            EXPECT_EQ(d[field].Count(), b[field].Count()) << name << " " << field;
        }
        EXPECT_EQ(b["read"].Count(), c.read) << name;
        EXPECT_EQ(b["deleted"].Count(), c.deleted) << name;
        EXPECT_EQ(b["written"].Count(), c.written) << name;
        EXPECT_EQ(b["notWritten"].Count(), c.notWritten) << name;
        EXPECT_EQ(Snapshot(c.input), input) << name;
    }
}

TEST_F(Batch, AnExtendedInputBecomesAPlainOrAnExtendedOutput) {
    MakeInput("ext", 36, kPeople);
    const std::string input = Snapshot("ext");

    // The dialog starts extended (key at 0); without a key position the output is type 4.
    const Result plain =
        Run(Plus(Base("ext", "PLAIN"),
                 {"--key-size", "10", "--key", "4:6", "--key", "0:4", "--no-key-pos", "--json"}));
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(Json(plain)["output"]["type"].Count(), 4u);
    EXPECT_TRUE(Json(plain)["output"]["keyPosition"].IsNull());
    EXPECT_NE(Talvo({"stat", Data("PLAIN")}).find("4 (keyed)"), std::string::npos);

    // Key fields 0:4 and 4:6 are contiguous: at key position 0 they are the record's own bytes.
    const Result extended =
        Run(Plus(Base("ext", "EXTENDED"),
                 {"--key-size", "10", "--key", "0:4", "--key", "4:6", "--key-pos", "0", "--json"}));
    ASSERT_EQ(extended.code, 0) << extended.err;
    const jsontest::Value e = Json(extended);
    EXPECT_EQ(e["output"]["type"].Count(), 36u);
    EXPECT_EQ(e["output"]["keyPosition"].Count(), 0u);
    EXPECT_EQ(e["written"].Count(), 6u);
    EXPECT_EQ(Snapshot("ext"), input);
}

TEST_F(Batch, TheOverwriteQuestionIsAnsweredAsTheCommandLineSays) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    const std::vector<std::string> args =
        Plus(Base("cust", "BYID"), {"--key-size", "4", "--key", "0:4", "--json"});
    ASSERT_EQ(Run(args).code, 0);
    const std::string first = Snapshot("BYID");

    const Result kept = Run(args);
    EXPECT_EQ(kept.code, 1);
    EXPECT_NE(kept.err.find("ordelin-batch: Overwrite existing \"BYID\"?\n"), std::string::npos)
        << kept.err;
    EXPECT_NE(kept.err.find("(--overwrite answers Yes)"), std::string::npos) << kept.err;
    const jsontest::Value k = Json(kept);
    ASSERT_EQ(k["messages"].items.size(), 1u);
    EXPECT_EQ(k["messages"].items[0]["flags"].Count(), 0x24u);
    EXPECT_EQ(k["written"].Count(), 0u);
    EXPECT_EQ(Snapshot("BYID"), first);

    const Result replaced = Run(Plus(args, {"--overwrite"}));
    EXPECT_EQ(replaced.code, 0) << replaced.err;
    EXPECT_EQ(
        replaced.err,
        "ordelin-batch: Overwrite existing \"BYID\"?\nordelin-batch: 6 records were written\n");
    EXPECT_EQ(Snapshot("cust"), input);
}

// --- Refusals ------------------------------------------------------------------------------------

TEST_F(Batch, RefusalsExitOneWithTheDialogsOwnTexts) {
    MakeInput("cust", 4, kPeople);
    MakeInput("ext", 36, kPeople);
    MakeInput("flat", 1, kPeople);
    WriteFile(Data("junk"), "not a data file\n");
    struct Case {
        std::string input;
        std::vector<std::string> options;
        std::string line;  // after "ordelin-batch: "
        bool box;          // the line is a message box of the dialog or the build
    };
    const std::vector<Case> cases = {
        {"cust",
         {"--key-size", "4", "--key", "18:4"},
         "Position and Length of this field exceed input file's record size",
         true},
        {"cust",
         {"--key-size", "4", "--key", "0:6"},
         "Addition of this field exceeds output file's key size",
         true},
        {"cust",
         {"--key-size", "4", "--key", "0:2", "--key", "1:2"},
         "This key field overlaps one already been defined.",
         true},
        {"ext",
         {"--key-size", "2"},
         "Output key size cannot be less than total of key fields defined.",
         true},
        {"cust",
         {"--key-size", "65", "--no-key-pos"},
         "Key position is required for key size > 64.",
         true},
        {"cust",
         {"--key-size", "4", "--key", "0:4", "--key-pos", "18"},
         "Key position extends key data beyond end of record.",
         true},
        {"cust",
         {"--key-size", "4", "--key", "2:2", "--key", "0:2", "--key-pos", "0"},
         "Key fields must be contiguous for extended keyed file.",
         true},
        {"cust", {"--record-size", "-5"}, "Output record size cannot be negative.", true},
        {"junk", {}, "JUNK on DAT is not a valid data file", true},
        {"missing", {}, "MISSING on DAT is not a valid data file", true},
        {"cust", {"--out-dir", "XYZ"}, "--out-dir XYZ: the Dir list offers only OUT, DAT", false},
        {"flat",
         {"--order", "key"},
         "--order key: Use Key Tree is disabled: FLAT on DAT holds records only, without a key",
         false},
        {"flat",
         {"--from", "K002"},
         "--from: the From Key edit is disabled: the input is read in record order",
         false},
        {"cust",
         {"--key-size", "4", "--key", "0:4", "--to", std::string(256, 'K')},
         "--to: the To Key edit takes at most 255 characters, not 256",
         false},
        {"cust",
         {"--key-size", "8", "--key", "0:4"},
         "Build File is disabled, the key is not complete: Key Fields: (4 of 8 bytes currently "
         "defined)",
         false},
        {"cust",
         {"--key-size", "4", "--key", "0:4", "--key", "4:2"},
         "--key 4:2: Add Key Field is disabled, the key is complete: Key Fields: (4 of 4 bytes "
         "currently defined)",
         false},
    };
    const std::string cust = Snapshot("cust");
    const std::string ext = Snapshot("ext");
    const std::string flat = Snapshot("flat");
    for (const Case& c : cases) {
        const Result r = Run(Plus(Plus(Base(c.input, "NEW"), c.options), {"--json"}));
        EXPECT_EQ(r.code, 1) << c.line << "\n" << r.err;
        EXPECT_NE(r.err.find("ordelin-batch: " + c.line + "\n"), std::string::npos)
            << c.line << "\n"
            << r.err;
        const jsontest::Value j = Json(r);
        EXPECT_EQ(j["written"].Count(), 0u) << c.line;
        const std::vector<jsontest::Value>& boxes = j["messages"].items;
        EXPECT_EQ(!boxes.empty() && boxes.back()["text"].text == c.line, c.box) << c.line;
        EXPECT_FALSE(fs::exists(Data("NEW"))) << c.line;
    }
    EXPECT_TRUE(fs::is_empty(dir / "temp"));
    EXPECT_EQ(Snapshot("cust"), cust);
    EXPECT_EQ(Snapshot("ext"), ext);
    EXPECT_EQ(Snapshot("flat"), flat);
}

TEST_F(Batch, TheStartUpsRefusalsExitOneWithTheirMessages) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    // The local file system refuses a network name; the connection says so.
    const Result net = Run({Data("cust"), "/DDAT", "/NET:server", "--out", "X", "--json"});
    EXPECT_EQ(net.code, 1);
    EXPECT_NE(net.err.find("network name \"SERVER\""), std::string::npos) << net.err;
    EXPECT_EQ(Json(net)["messages"].items.size(), 1u);
    EXPECT_TRUE(Json(net)["output"].IsNull());
    // An output that names the input in other letters: the input is open, so it cannot be erased.
    const Result same =
        Run(Plus(Base("cust", "cust"), {"--key-size", "4", "--key", "0:4", "--overwrite"}));
    EXPECT_EQ(same.code, 1);
    EXPECT_NE(same.err.find("ordelin-batch: Erase of File \"cust\" - failed: "), std::string::npos)
        << same.err;
    EXPECT_EQ(Snapshot("cust"), input);
}

// --- Progress ------------------------------------------------------------------------------------

TEST_F(Batch, ProgressIsShownOnATerminalOnly) {
    Talvo({"gen", Data("big"), "--records", "3000"});
    const std::vector<std::string> args =
        Plus(Base("big", "BIG2"), {"--key-size", "8", "--key", "0:8", "--progress", "--overwrite"});

    const Result piped = Run(args);
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_EQ(piped.err, "ordelin-batch: 3000 records were written\n");

    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::string terminal;
    e2e::RunOptions options = scratch_.Options();
    options.errorTerminal = slave;
    options.terminalMaster = master;
    const Result shown = Spawn(ORDELIN_BATCH_EXE, args, options, &terminal);
    close(master);
    EXPECT_EQ(shown.code, 0) << terminal;
    // The full bar's line, redrawn in place, then the closing box on a line of its own.
    EXPECT_NE(terminal.find("\rordelin-batch: 100% 3000 records read, "), std::string::npos)
        << terminal;
    EXPECT_NE(terminal.find(" records/s, 0:00 left"), std::string::npos) << terminal;
    EXPECT_NE(terminal.find(" left\x1b[K\r\nordelin-batch: 3000 records were written\r\n"),
              std::string::npos)
        << terminal;
}

}  // namespace
