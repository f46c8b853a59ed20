// ordelin-batch with a record layout: key fields named from a COBOL copybook build exactly the
// file the same positions build; names that do not name one field, copybooks that cannot be
// read and layouts longer than the input's records are refused before anything is made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "batch/testing/batch_fixture.h"

namespace {

using namespace batchtest;
namespace fs = std::filesystem;
using e2e::WriteFile;

// The 20-byte records of the fixture: id (0..3), city (4..9), name (10..19).
constexpr char kPeopleCopybook[] =
    "      * The records of the fixture's people.\n"
    "       01  PERSON.\n"
    "           05  P-ID            PIC X(4).\n"
    "           05  P-HOME.\n"
    "               10  P-CITY      PIC X(6).\n"
    "           05  P-NAME.\n"
    "               10  P-LETTER    PIC X OCCURS 10.\n";

class BatchLayout : public Batch {
  protected:
    std::string Copybook(const std::string& name, const std::string& text) {
        WriteFile(dir / name, text);
        return (dir / name).string();
    }
    // The build with `keys` (and the options after them) into `output`; its exit status must be 0.
    Result Build(const std::string& output, const std::vector<std::string>& keys,
                 const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = Plus(Base("cust", output), {"--out-dir", "OUT"});
        for (const std::string& key : keys) args = Plus(args, {"--key", key});
        const Result r = Run(Plus(args, Plus(more, {"--json"})));
        EXPECT_EQ(r.code, 0) << output << ": " << r.err;
        return r;
    }
};

TEST_F(BatchLayout, NamedKeysBuildTheSameFileAsTheirPositions) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    const std::string people = Copybook("people.cpy", kPeopleCopybook);

    const Result byNumber = Build("NUMBERS", {"4:6", "0:4"}, {"--key-size", "10"});
    const Result byName = Build("NAMES", {"p-city", "P-ID OF PERSON"},
                                {"--key-size", "10", "--layout", people});
    // A subscripted name: the third letter of the name, then the id.
    const Result third = Build("THIRD", {"P-LETTER(3)", "P-ID"},
                               {"--key-size", "5", "--layout", people, "--overwrite"});
    const Result thirdByNumber = Build("THIRDNUM", {"12:1", "0:4"}, {"--key-size", "5"});
    EXPECT_EQ(byName.err, byNumber.err);  // the same boxes: "6 records were written"

    EXPECT_EQ(Exported(Out("NAMES")), Exported(Out("NUMBERS")));
    EXPECT_EQ(Exported(Out("NAMES")),
              kPeople[1] + kPeople[4] + kPeople[3] + kPeople[0] + kPeople[2] + kPeople[5]);
    EXPECT_EQ(Exported(Out("THIRD")), Exported(Out("THIRDNUM")));
    for (const char* file : {"NAMES", "THIRD"}) {
        const std::string stat = Talvo({"stat", Out(file)});
        EXPECT_NE(stat.find("records"), std::string::npos);
        Talvo({"check", Out(file)});
    }
    EXPECT_EQ(Snapshot("cust"), input);

    // The JSON names the fields as given, with the positions typed for them.
    const jsontest::Value j = Json(byName);
    ASSERT_EQ(j["keyFields"].items.size(), 2u);
    EXPECT_EQ(j["keyFields"].items[0]["name"].text, "p-city");
    EXPECT_EQ(j["keyFields"].items[0]["position"].Count(), 4u);
    EXPECT_EQ(j["keyFields"].items[0]["length"].Count(), 6u);
    EXPECT_EQ(j["keyFields"].items[1]["position"].Count(), 0u);
    EXPECT_EQ(j["keyFields"].items[1]["length"].Count(), 4u);
    const jsontest::Value n = Json(byNumber);
    ASSERT_EQ(n["keyFields"].items.size(), 2u);
    EXPECT_TRUE(n["keyFields"].items[0]["name"].IsNull());
    EXPECT_EQ(n["keyFields"].items[0]["position"].Count(), 4u);
}

TEST_F(BatchLayout, TheDemonstrationCopybookNamesTheDemonstrationRecords) {
    const char* source = std::getenv("ORDELIN_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string copybook = (fs::path(source) / "demo" / "customer.cpy").string();
    Talvo({"gen", Data("cust"), "--records", "300", "--layout", "customer", "--type", "4",
           "--deleted-every", "40"});

    const std::vector<std::string> common = {Data("cust"), "/DDAT", "--out-dir", "OUT",
                                             "--key-size", "26"};
    const Result byNumber = Run(Plus(common, {"--out", "BYNUM", "--key", "61:18", "--key", "0:8"}));
    const Result byName =
        Run(Plus(common, {"--out", "BYNAME", "--layout", copybook, "--key",
                          "CUST-CITY OF CUST-ADDRESS", "--key", "CUST-NO"}));
    ASSERT_EQ(byNumber.code, byName.code) << byName.err;
    EXPECT_EQ(byName.err, byNumber.err);
    EXPECT_EQ(Exported(Out("BYNAME")), Exported(Out("BYNUM")));
    EXPECT_FALSE(Exported(Out("BYNAME")).empty());
}

TEST_F(BatchLayout, NamesThatDoNotNameOneFieldAreRefusedWithTheCandidates) {
    MakeInput("cust", 4, kPeople);
    const std::string input = Snapshot("cust");
    const std::string people = Copybook("people.cpy", kPeopleCopybook);
    const std::string twice = Copybook(
        "twice.cpy",
        "       01  PAIR.\n"
        "           05  LEFT.\n"
        "               10  CODE    PIC X(5).\n"
        "           05  RIGHT.\n"
        "               10  CODE    PIC X(5).\n"
        "           05  FILLER      PIC X(10).\n");
    const std::string two = Copybook("two.cpy",
                                     "       01  FIRST-REC.\n"
                                     "           05  A  PIC X(20).\n"
                                     "       01  SECOND-REC.\n"
                                     "           05  B  PIC X(10).\n");
    const std::string longer = Copybook("long.cpy",
                                        "       01  WIDE.\n"
                                        "           05  W-ID    PIC X(4).\n"
                                        "           05  W-REST  PIC X(26).\n");
    const std::string broken = Copybook("broken.cpy",
                                        "       01  R.\n"
                                        "           05  A  PIC X(4).\n"
                                        "           05  B  PIC Q(4).\n");
    const std::string missing = (dir / "no such.cpy").string();
    std::string manyText = "       01  MANY.\n           05  P-CITY  PIC X(2).\n";
    for (int i = 1; i <= 18; ++i) {
        manyText += "           05  FIELD-" + std::string(i < 10 ? "0" : "") + std::to_string(i) +
                    " PIC X.\n";
    }
    const std::string many = Copybook("many.cpy", manyText);

    struct Row {
        std::vector<std::string> options;
        std::vector<std::string> said;  // in the line on standard error
    };
    const std::vector<Row> rows = {
        // Unknown names: the near ones, or the record's names when none is near.
        {{"--layout", people, "--key", "TOWN"},
         {"--key TOWN: record PERSON has no field TOWN; its fields: PERSON, P-ID, P-HOME, "
          "P-CITY, P-NAME, P-LETTER\n"}},
        {{"--layout", many, "--key", "P-CIT"}, {"has no field P-CIT; the nearest: P-CITY\n"}},
        {{"--layout", many, "--key", "FIELD-7"},
         {"the nearest: FIELD-07, FIELD-17, FIELD-01, FIELD-02,"}},
        {{"--layout", many, "--key", "TOWN"},
         {"no field TOWN; its fields: MANY, P-CITY, FIELD-01,", "FIELD-14 and 4 more\n"}},
        // Known, but not in the group given.
        {{"--layout", people, "--key", "P-CITY OF P-NAME"},
         {"has no field P-CITY OF P-NAME", "there is P-CITY OF P-HOME OF PERSON"}},
        // Ambiguous: every field of the name.
        {{"--layout", twice, "--key", "CODE"},
         {"CODE names more than one field of record PAIR", "CODE OF LEFT OF PAIR",
          "CODE OF RIGHT OF PAIR", "qualify it with OF"}},
        // Tables want their subscripts, within their range.
        {{"--layout", people, "--key", "P-LETTER"}, {"needs 1 subscript", "P-LETTER(1)"}},
        {{"--layout", people, "--key", "P-LETTER(11)"}, {"subscript 11 of P-LETTER is out of range"}},
        {{"--layout", people, "--key", "P-ID(1)"}, {"P-ID is not in a table"}},
        // A name needs a layout; the layout's options need the layout.
        {{"--key", "P-ID"}, {"--key P-ID: a key field given by name needs --layout FILE.cpy"}},
        {{"--record", "PERSON", "--key", "0:4"}, {"--record", "--layout"}},
        // The record: the one named, else the only one.
        {{"--layout", two, "--key", "A"},
         {"two.cpy describes 2 records (FIRST-REC, SECOND-REC); choose one with --record"}},
        {{"--layout", two, "--record", "THIRD", "--key", "A"},
         {"--record THIRD", "has no record of that name; its records: FIRST-REC, SECOND-REC"}},
        // Copybooks that cannot be read.
        {{"--layout", broken, "--key", "A"}, {"broken.cpy: line 3:"}},
        {{"--layout", missing, "--key", "A"}, {"cannot read the copybook", "no such.cpy"}},
        // Longer than the input's records, named or not: both lengths said.
        {{"--layout", longer, "--key", "W-ID"},
         {"the record WIDE is 30 bytes, longer than the 20-byte records of CUST on DAT"}},
        {{"--layout", longer, "--key", "0:4"}, {"is 30 bytes, longer than the 20-byte records"}},
    };
    for (const Row& row : rows) {
        std::string shown;
        for (const std::string& word : row.options) shown += " [" + word + "]";
        const Result r = Run(Plus(Plus(Base("cust", "X"), {"--key-size", "4"}), row.options));
        EXPECT_EQ(r.code, 2) << shown << "\n" << r.err;
        for (const std::string& text : row.said) {
            EXPECT_NE(r.err.find(text), std::string::npos) << shown << "\n" << r.err;
        }
        EXPECT_NE(r.err.find("usage: ordelin-batch FILE /DNAME"), std::string::npos) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_FALSE(fs::exists(Data("X"))) << shown;
    }
    EXPECT_EQ(Snapshot("cust"), input);
    EXPECT_TRUE(fs::is_empty(dir / "temp"));  // no list file: no build began
}

TEST_F(BatchLayout, ABinaryOrPackedKeyIsWarnedAboutAndBuilt) {
    MakeInput("cust", 4, kPeople);
    // The same 20 bytes read as a group of a code and a packed number, and as a binary number.
    const std::string packed = Copybook("packed.cpy",
                                        "       01  ROW.\n"
                                        "           05  R-ID        PIC X(4).\n"
                                        "           05  R-KEY.\n"
                                        "               10  R-CODE  PIC X(3).\n"
                                        "               10  R-SUM   PIC S9(5) COMP-3.\n"
                                        "           05  R-COUNT     PIC 9(4) COMP.\n"
                                        "           05  FILLER      PIC X(8).\n");
    const Result group = Build("GROUPKEY", {"R-KEY", "R-ID"}, {"--key-size", "10", "--layout",
                                                                packed});
    EXPECT_NE(group.err.find("ordelin-batch: --key R-KEY: the group R-KEY holds R-SUM, COMP-3: "
                             "keys of such fields sort by their bytes, not by their values\n"),
              std::string::npos)
        << group.err;
    const Result binary = Build("BINKEY", {"R-COUNT", "R-ID"}, {"--key-size", "6", "--layout",
                                                                 packed});
    EXPECT_NE(binary.err.find("--key R-COUNT: R-COUNT is COMP: keys of such fields sort by their "
                              "bytes"),
              std::string::npos)
        << binary.err;
    // A text field draws no warning.
    const Result text = Build("TEXTKEY", {"R-CODE", "R-ID"}, {"--key-size", "7", "--layout",
                                                               packed});
    EXPECT_EQ(text.err, "ordelin-batch: 6 records were written\n");

    // The builds are those of the positions.
    Build("GROUPNUM", {"4:6", "0:4"}, {"--key-size", "10"});
    EXPECT_EQ(Exported(Out("GROUPKEY")), Exported(Out("GROUPNUM")));
}

TEST_F(BatchLayout, TheDialogJudgesNamedFieldsAsItJudgesNumbers) {
    MakeInput("cust", 4, kPeople);
    const std::string people = Copybook("people.cpy", kPeopleCopybook);
    // Six bytes of city do not go into a key of four: the dialog's own refusal, exit 1.
    const Result r = Run(Plus(Base("cust", "X"),
                              {"--key-size", "4", "--layout", people, "--key", "P-CITY"}));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ordelin-batch: Addition of this field exceeds output file's key size\n");
    // Two names for overlapping bytes: the group, then a field inside it.
    const Result overlap = Run(Plus(Base("cust", "Y"), {"--key-size", "12", "--layout", people,
                                                        "--key", "P-HOME", "--key", "P-CITY"}));
    EXPECT_EQ(overlap.code, 1);
    EXPECT_EQ(overlap.err, "ordelin-batch: This key field overlaps one already been defined.\n");
    EXPECT_FALSE(fs::exists(Data("X")));
    EXPECT_FALSE(fs::exists(Data("Y")));
}

}  // namespace
