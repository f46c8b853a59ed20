#include "layout/field_ref.h"

#include <gtest/gtest.h>

#include "layout/copybook_reader.h"

namespace layout {
namespace {

constexpr const char* kOrder = R"(
01  ORDER-REC.
    05  ORD-NO              PIC 9(6).
    05  BILL-TO.
        10  CITY            PIC X(10).
        10  ZIP             PIC X(5).
    05  SHIP-TO.
        10  CITY            PIC X(10).
        10  ZIP             PIC X(5).
    05  ORD-LINE            OCCURS 4.
        10  ITEM-NO         PIC 9(5).
        10  QTY             PIC S9(4) COMP.
        10  PART            OCCURS 3.
            15  PART-ID     PIC X(2).
    05  TOTAL               PIC S9(7)V99 COMP-3.
    05  NOTE-TEXT           PIC X(20).
    05  FILLER              PIC X(3).
)";

Record OrderRecord() {
    Copybook copybook;
    ReadError error;
    EXPECT_TRUE(ReadCopybook(kOrder, {}, &copybook, &error)) << error.Text();
    return copybook.records.at(0);
}

TEST(FieldRef, ResolvesNamesQualifiersAndSubscripts) {
    const Record record = OrderRecord();
    // ORD-NO 0-5, BILL-TO 6-20, SHIP-TO 21-35, ORD-LINE 36 (13 a line: 5 + 2 + 3 x 2), ...
    struct Row {
        const char* reference;
        uint64_t position;
        uint64_t length;
    } rows[] = {
        {"ORD-NO", 0, 6},
        {"ord-no", 0, 6},
        {"ORDER-REC", 0, 6 + 30 + 52 + 5 + 20 + 3},
        {"CITY OF SHIP-TO", 21, 10},
        {"CITY IN BILL-TO", 6, 10},
        {"CITY OF BILL-TO OF ORDER-REC", 6, 10},
        {"  ZIP   OF  SHIP-TO ", 31, 5},
        {"BILL-TO", 6, 15},
        {"ITEM-NO(1)", 36, 5},
        {"ITEM-NO(4)", 36 + 3 * 13, 5},
        {"QTY (2) OF ORD-LINE", 36 + 13 + 5, 2},
        {"QTY OF ORD-LINE (2)", 36 + 13 + 5, 2},
        {"ORD-LINE(3)", 36 + 2 * 13, 13},
        {"PART-ID(2, 3)", 36 + 13 + 7 + 2 * 2, 2},
        {"PART-ID (4 1)", 36 + 3 * 13 + 7, 2},
        {"PART(1,2)", 36 + 7 + 2, 2},
        {"TOTAL", 88, 5},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto field = ResolveField(record, row.reference, &error);
        ASSERT_TRUE(field) << row.reference << ": " << error;
        EXPECT_EQ(field->position, row.position) << row.reference;
        EXPECT_EQ(field->length, row.length) << row.reference;
    }
}

TEST(FieldRef, RefusesWhatNamesNoSingleField) {
    const Record record = OrderRecord();
    struct Row {
        const char* reference;
        const char* words;  // a part of the reason
    } rows[] = {
        {"CITY", "names more than one field of record ORDER-REC (CITY OF BILL-TO OF ORDER-REC; "
                 "CITY OF SHIP-TO OF ORDER-REC): qualify it with OF"},
        {"NOPE", "record ORDER-REC has no field NOPE"},
        {"CITY OF ORD-LINE", "has no field CITY OF ORD-LINE"},
        {"CITY OF ORDER-REC OF BILL-TO", "has no field"},  // qualifiers from the inside out
        {"FILLER", "has no field FILLER"},
        {"ITEM-NO", "lies in 1 table and needs 1 subscript, as in ITEM-NO(1)"},
        {"PART-ID(2)", "lies in 2 tables and needs 2 subscripts, as in PART-ID(1, 1)"},
        {"ORD-NO(1)", "is not in a table and takes no subscript"},
        {"ITEM-NO(5)", "subscript 5 of ITEM-NO is out of range: ORD-LINE occurs 4 times"},
        {"ITEM-NO(0)", "subscript 0 of ITEM-NO is out of range"},
        {"PART-ID(1,4)", "subscript 4 of PART-ID is out of range: PART occurs 3 times"},
        {"ITEM-NO(-1)", "a subscript must be a whole number from 1"},
        {"ITEM-NO(1", "no closing parenthesis"},
        {"ITEM-NO()", "the parentheses hold no subscript"},
        {"ITEM-NO(1)(2)", "one list of subscripts"},
        {"(1)", "must follow a name"},
        {"CITY OF", "a name must follow OF"},
        {"CITY BILL-TO", "\"BILL-TO\" stands where OF or IN was expected"},
        {"", "no field named"},
        {"ORD.NO", "\".\" cannot stand in a field name"},
        {"ITEM-NO(99999999999)", "too large"},
    };
    for (const Row& row : rows) {
        std::string error;
        EXPECT_FALSE(ResolveField(record, row.reference, &error)) << row.reference;
        EXPECT_NE(error.find(row.words), std::string::npos) << row.reference << ": " << error;
    }
}

TEST(FieldRef, TellsGroupsThatHoldBinaryOrPackedData) {
    const Record record = OrderRecord();
    auto holds = [&](const char* name) {
        std::string error;
        const auto field = ResolveField(record, name, &error);
        EXPECT_TRUE(field) << error;
        return field && HoldsNonDisplayData(record, field->item);
    };
    EXPECT_FALSE(holds("BILL-TO"));
    EXPECT_FALSE(holds("NOTE-TEXT"));
    EXPECT_TRUE(holds("ORD-LINE(1)"));  // QTY is COMP
    EXPECT_TRUE(holds("QTY(1)"));
    EXPECT_TRUE(holds("TOTAL"));
    EXPECT_TRUE(holds("ORDER-REC"));
    EXPECT_FALSE(holds("PART(1 1)"));
}

}  // namespace
}  // namespace layout
