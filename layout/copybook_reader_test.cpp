#include "layout/copybook_reader.h"

#include <gtest/gtest.h>

namespace layout {
namespace {

Copybook Read(std::string_view text, ReadOptions options = {}) {
    Copybook copybook;
    ReadError error;
    EXPECT_TRUE(ReadCopybook(text, options, &copybook, &error)) << error.Text();
    return copybook;
}

// The item of that name in the record (the first, when names repeat).
const Item& ItemNamed(const Record& record, const std::string& name) {
    for (const Item& item : record.items) {
        if (item.name == name) return item;
    }
    ADD_FAILURE() << "no item " << name;
    return record.items.front();
}

// "NAME offset length" for each item, for comparisons at a glance.
std::string Places(const Record& record) {
    std::string text;
    for (const Item& item : record.items) {
        text += (text.empty() ? "" : ", ") + item.name + " " + std::to_string(item.offset) + " " +
                std::to_string(item.length);
    }
    return text;
}

TEST(CopybookReader, BuildsTheTreeWithQualifiedNames) {
    const Copybook copybook = Read(R"(
       01  CUSTOMER.
           05  CUST-NO          PIC 9(8).
           05  CUST-ADDRESS.
               10  CUST-CITY    PIC X(18).
               10  FILLER       PIC X(2).
               10               PIC X.
           05  CUST-PHONES      OCCURS 3 TIMES INDEXED BY PX.
               10  PHONE-NO     PIC X(12).
       77  COUNTER              PIC S9(4) COMP.
       01  OTHER                PIC X(10).
)");
    ASSERT_EQ(copybook.records.size(), 3u);
    const Record& customer = copybook.records[0];
    EXPECT_EQ(customer.name(), "CUSTOMER");
    EXPECT_EQ(customer.length(), 8u + 21u + 36u);
    EXPECT_EQ(Places(customer),
              "CUSTOMER 0 65, CUST-NO 0 8, CUST-ADDRESS 8 21, CUST-CITY 8 18, FILLER 26 2, "
              "FILLER 28 1, CUST-PHONES 29 12, PHONE-NO 29 12");
    EXPECT_EQ(QualifiedName(customer, 3), "CUST-CITY OF CUST-ADDRESS OF CUSTOMER");
    EXPECT_TRUE(customer.items[4].filler);
    EXPECT_TRUE(customer.items[5].filler);
    EXPECT_EQ(customer.items[3].parent, 2);
    EXPECT_EQ(customer.items[2].children, (std::vector<int>{3, 4, 5}));
    const Item& phones = ItemNamed(customer, "CUST-PHONES");
    EXPECT_TRUE(phones.table);
    EXPECT_EQ(phones.occurs, 3u);
    const std::vector<Dimension> dims = Dimensions(customer, 7);
    ASSERT_EQ(dims.size(), 1u);
    EXPECT_EQ(dims[0].stride, 12u);
    EXPECT_EQ(OccurrenceOffset(customer, 7, {3}), 29u + 24u);

    EXPECT_EQ(copybook.records[1].items.front().level, 77);
    EXPECT_EQ(copybook.records[1].length(), 2u);
    EXPECT_EQ(copybook.records[2].length(), 10u);
    EXPECT_EQ(FindRecord(copybook, "other"), &copybook.records[2]);
    EXPECT_EQ(FindRecord(copybook, "NONE"), nullptr);
}

TEST(CopybookReader, GroupsPassUsageAndSignDown) {
    const Copybook copybook = Read(R"(
       01  R.
           05  AMOUNTS          USAGE COMP-3.
               10  A1           PIC S9(5).
               10  A2           PIC S9(3) COMP-5.
           05  SIGNED           SIGN LEADING SEPARATE.
               10  S1           PIC S9(3).
               10  S2           PIC 9(3).
               10  S3           PIC S9(3) SIGN TRAILING.
               10  S4           PIC S9(3) COMP.
               10  S5           PIC +9.
           05  INDEXES          INDEX.
               10  I1.
               10  I2.
)");
    const Record& r = copybook.records[0];
    EXPECT_EQ(ItemNamed(r, "A1").usage, Usage::kPacked);
    EXPECT_EQ(ItemNamed(r, "A1").length, 3u);
    EXPECT_EQ(ItemNamed(r, "A2").usage, Usage::kComp5);
    EXPECT_TRUE(ItemNamed(r, "S1").signLeading && ItemNamed(r, "S1").signSeparate);
    EXPECT_EQ(ItemNamed(r, "S1").length, 4u);
    EXPECT_EQ(ItemNamed(r, "S2").length, 3u);  // no S: no sign to place
    EXPECT_FALSE(ItemNamed(r, "S3").signLeading || ItemNamed(r, "S3").signSeparate);
    EXPECT_EQ(ItemNamed(r, "S3").length, 3u);
    EXPECT_EQ(ItemNamed(r, "S4").length, 2u);
    EXPECT_EQ(ItemNamed(r, "S5").length, 3u);  // an edited sign gets the separate byte too
    EXPECT_EQ(ItemNamed(r, "I2").usage, Usage::kIndex);
    EXPECT_EQ(ItemNamed(r, "INDEXES").length, 8u);
}

TEST(CopybookReader, BinarySizesFollowTheOption) {
    const char* text = R"(
       01  R.
           05  B2   PIC S99 COMP.
           05  B4   PIC 9(4) BINARY.
           05  B7   PIC 9(7) COMP-4.
           05  S7   PIC S9(7) COMP.
           05  B18  PIC S9(18) COMP.
           05  N2   PIC 99 COMP-5.
)";
    struct Row {
        BinarySize size;
        const char* lengths;
    } rows[] = {
        {BinarySize::k1248, "1 2 4 4 8 1"},
        {BinarySize::k248, "2 2 4 4 8 1"},
        {BinarySize::k1to8, "1 2 3 4 8 1"},
    };
    for (const Row& row : rows) {
        ReadOptions options;
        options.binarySize = row.size;
        const Copybook copybook = Read(text, options);
        const Record& r = copybook.records.at(0);
        std::string lengths;
        for (size_t i = 1; i < r.items.size(); ++i) {
            lengths += (i > 1 ? " " : "") + std::to_string(r.items[i].length);
        }
        EXPECT_EQ(lengths, row.lengths) << BinarySizeName(row.size);
    }
    EXPECT_EQ(ParseBinarySize("2-4-8"), BinarySize::k248);
    EXPECT_EQ(ParseBinarySize("1--8"), BinarySize::k1to8);
    EXPECT_FALSE(ParseBinarySize("1-2-4"));
}

TEST(CopybookReader, ConditionsRenamesAndListingDirectivesAreLeftOut) {
    const Copybook copybook = Read(R"(
       01  R.
           05  STATUS-CODE      PIC X VALUE 'A'.
               88  ACTIVE       VALUE 'A' 'B' THRU 'D'
                                WHEN SET TO FALSE 'Z'.
           EJECT
           05  AMOUNT           PIC S9(5)V99 COMP-3 VALUE -1.5.
           SKIP2.
       66  BOTH RENAMES STATUS-CODE THRU AMOUNT.
)");
    EXPECT_EQ(Places(copybook.records[0]), "R 0 5, STATUS-CODE 0 1, AMOUNT 1 4");
}

TEST(CopybookReader, DependingTablesTakeTheirLargestSize) {
    const Record r = Read(R"(
       01  R.
           05  N               PIC 9(2).
           05  LINES           OCCURS 1 TO 10 TIMES DEPENDING ON N OF R
                               ASCENDING KEY IS LINE-NO INDEXED BY LX.
               10  LINE-NO     PIC 9(3).
               10  LINE-TEXT   PIC X(7).
)").records[0];
    const Item& lines = ItemNamed(r, "LINES");
    EXPECT_EQ(lines.minOccurs, 1u);
    EXPECT_EQ(lines.occurs, 10u);
    EXPECT_EQ(lines.dependingOn, "N OF R");
    EXPECT_EQ(r.length(), 2u + 100u);
}

TEST(CopybookReader, DetectsFreeFormAndFallsBack) {
    // Free form detected by its column 7.
    EXPECT_EQ(Read("01 R.\n   05 A PIC X(3).\n").records[0].length(), 3u);
    // Looks fixed (nothing in columns 1 to 7 says otherwise) but reads only as free form: the
    // entry goes past column 72.
    const std::string wide = "       01 R.\n           05 A PIC X(3)" + std::string(60, ' ') + ".\n";
    EXPECT_EQ(Read(wide).records[0].length(), 3u);
    // Told to read fixed form, it does not fall back.
    Copybook copybook;
    ReadError error;
    ReadOptions fixed;
    fixed.format = SourceFormat::kFixed;
    EXPECT_FALSE(ReadCopybook("01 R.\n   05 A PIC X(3).\n", fixed, &copybook, &error));
    EXPECT_EQ(error.line, 2u);
    EXPECT_NE(error.message.find("column 7 holds 'A'"), std::string::npos) << error.message;
    EXPECT_TRUE(copybook.records.empty());
}

TEST(CopybookReader, RefusesWhatItCannotReadWithTheLine) {
    struct Row {
        const char* what;
        const char* text;
        uint32_t line;
        const char* words;  // a part of the message
    } rows[] = {
        {"an empty copybook", "\n  *> only a comment\n", 1, "describes no record"},
        {"a missing period", "01 R.\n  05 A PIC X\n  05 B PIC X.\n", 3, "lack its period"},
        {"no period at the end", "01 R.\n  05 A PIC X(3)\n", 2, "does not end with a period"},
        {"an unknown clause", "01 R.\n  05 A PIC X COLOUR RED.\n", 2, "\"COLOUR\" is not a clause"},
        {"a word where a level belongs", "01 R.\nA PIC X.\n", 2, "cannot begin a data description"},
        {"a level of three digits", "01 R.\n005 A PIC X.\n", 2, "cannot begin"},
        {"level 50", "01 R.\n50 A PIC X.\n", 2, "cannot begin"},
        {"a stray period", "01 R.\n  . 05 A PIC X.\n", 2, "a period without an entry"},
        {"a literal first", "'A'.\n", 1, "not with the literal"},
        {"COPY", "01 R.\n  COPY OTHER.\n", 2, "COPY statements are not read"},
        {"a bad name", "01 R.\n  05 -A PIC X.\n", 2, "not a valid data name"},
        {"a level before any record", "05 A PIC X.\n", 1, "comes before any record"},
        {"88 before any record", "88 A VALUE 1.\n", 1, "must follow"},
        {"a level matching none above", "01 R.\n  05 A.\n    10 B PIC X.\n  07 C PIC X.\n", 4,
         "matches no level above it (01, 05, 10)"},
        {"an item below a 77", "77 A PIC X.\n  05 B PIC X.\n", 2, "stands alone"},
        {"an item below a picture", "01 R.\n  05 A PIC X.\n    10 B PIC X.\n", 3,
         "A (line 2) has a PICTURE"},
        {"an elementary item without picture", "01 R.\n  05 A.\n", 2, "needs a PICTURE"},
        {"a picture with COMP-1", "01 R.\n  05 A PIC 9 COMP-1.\n", 2, "takes no PICTURE"},
        {"text that is COMP-3", "01 R.\n  05 A PIC X(3) COMP-3.\n", 2,
         "PICTURE X(3) of A does not go with USAGE COMP-3"},
        {"19 binary digits", "01 R.\n  05 A PIC 9(19) COMP.\n", 2, "at most 18 digits"},
        {"a bad picture", "01 R.\n  05 A PIC 9(3)XV.\n", 2,
         "PICTURE 9(3)XV of A: V cannot be used with X or A"},
        {"PIC without a string", "01 R.\n  05 A PIC.\n", 2, "needs a character-string"},
        {"two pictures", "01 R.\n  05 A PIC X PIC 9.\n", 2, "two PICTURE clauses"},
        {"two usages", "01 R.\n  05 A PIC 9 COMP COMP-3.\n", 2, "two USAGE clauses"},
        {"an unsupported usage", "01 R.\n  05 A PIC 9 COMP-6.\n", 2, "USAGE COMP-6 of A is not supported"},
        {"an unknown usage", "01 R.\n  05 A PIC 9 USAGE IS FAST.\n", 2, "USAGE FAST of A is not supported"},
        {"SIGN on text", "01 R.\n  05 A PIC X SIGN LEADING.\n", 2, "SIGN of A needs"},
        {"SIGN on a binary item", "01 R.\n  05 A PIC S9 COMP SIGN LEADING.\n", 2, "SIGN of A needs"},
        {"SIGN without LEADING or TRAILING", "01 R.\n  05 A PIC S9 SIGN SEPARATE.\n", 2,
         "needs LEADING or TRAILING"},
        {"OCCURS on a record", "01 R OCCURS 2.\n  05 A PIC X.\n", 1, "cannot have OCCURS"},
        {"OCCURS 0", "01 R.\n  05 A PIC X OCCURS 0.\n", 2, "at least one occurrence"},
        {"OCCURS without a number", "01 R.\n  05 A PIC X OCCURS MANY.\n", 2, "whole number"},
        {"OCCURS 5 TO 3", "01 R.\n  05 N PIC 9.\n  05 A PIC X OCCURS 5 TO 3 DEPENDING N.\n", 3,
         "the maximum must be above the minimum"},
        {"OCCURS TO UNBOUNDED", "01 R.\n  05 A PIC X OCCURS 1 TO UNBOUNDED.\n", 2, "UNBOUNDED"},
        {"too many occurrences", "01 R.\n  05 A PIC X OCCURS 9999999999.\n", 2, "too many"},
        {"DEPENDING without a name", "01 R.\n  05 A PIC X OCCURS 1 TO 3 DEPENDING ON.\n", 2,
         "needs a data name"},
        {"an item after a varying table",
         "01 R.\n  05 N PIC 9.\n  05 T PIC X OCCURS 1 TO 3 DEPENDING ON N.\n  05 Z PIC X.\n", 4,
         "Z follows the table T (line 3)"},
        {"an item after a group holding a varying table",
         "01 R.\n  05 N PIC 9.\n  05 G.\n    10 T PIC X OCCURS 1 TO 3 DEPENDING ON N.\n  05 Z PIC X.\n",
         5, "Z follows the table T"},
        {"a varying table in a table",
         "01 R.\n  05 N PIC 9.\n  05 G OCCURS 2.\n    10 T PIC X OCCURS 1 TO 3 DEPENDING ON N.\n", 4,
         "cannot lie in the table G"},
        {"REDEFINES of a varying table",
         "01 R.\n  05 N PIC 9.\n  05 T PIC X OCCURS 1 TO 3 DEPENDING ON N.\n"
         "  05 U REDEFINES T PIC X(3).\n",
         4, "whose length varies"},
        {"REDEFINES of an item not just before",
         "01 R.\n  05 A PIC X.\n  05 B PIC X.\n  05 C REDEFINES A PIC X.\n", 4,
         "must be the item just before"},
        {"REDEFINES of an unknown item", "01 R.\n  05 A PIC X.\n  05 C REDEFINES Q PIC X.\n", 3,
         "REDEFINES Q"},
        {"REDEFINES FILLER", "01 R.\n  05 FILLER PIC X.\n  05 C REDEFINES FILLER PIC X.\n", 3,
         "REDEFINES FILLER in the entry for C: FILLER must be the item just before"},
        {"REDEFINES of a record not just before",
         "01 A PIC X.\n01 B PIC X.\n01 C REDEFINES A PIC X.\n", 3, "the record just before"},
        {"a record too long", "01 R.\n  05 A PIC X(100000) OCCURS 3000.\n", 2,
         "a record holds at most 268435456"},
        {"a literal where a clause belongs", "01 R.\n  05 A PIC X 'B'.\n", 2, "the literal 'B'"},
        {"VALUE without a literal", "01 R.\n  05 A PIC X VALUE.\n", 2, "VALUE in the entry for A"},
        {"BLANK without ZERO", "01 R.\n  05 A PIC 9 BLANK WHEN.\n", 2, "needs WHEN ZERO"},
    };
    ReadOptions free;
    free.format = SourceFormat::kFree;
    for (const Row& row : rows) {
        Copybook copybook;
        ReadError error;
        EXPECT_FALSE(ReadCopybook(row.text, free, &copybook, &error)) << row.what;
        EXPECT_EQ(error.line, row.line) << row.what << ": " << error.Text();
        EXPECT_NE(error.message.find(row.words), std::string::npos)
            << row.what << ": " << error.Text();
        EXPECT_TRUE(copybook.records.empty()) << row.what;
    }
}

}  // namespace
}  // namespace layout
