// Decoding against GnuCOBOL: a compiled program moves values into a record of every kind of
// field and shows the record's bytes; each field must decode to the value moved into it.
#include <gtest/gtest.h>

#include "e2e/program_run.h"
#include "layout/copybook_reader.h"
#include "layout/field_ref.h"
#include "layout/field_value.h"
#include "layout/testing/cobol_oracle.h"

namespace layout {
namespace {

constexpr const char* kRecord = R"(
       01  V-REC.
           05  V-TEXT         PIC X(8).
           05  V-ZONED        PIC S9(5)V99.
           05  V-ZONED-LEAD   PIC S9(3) SIGN LEADING.
           05  V-SEP-LEAD     PIC S9(4)V9 SIGN LEADING SEPARATE.
           05  V-SEP-TRAIL    PIC S99 SIGN TRAILING SEPARATE.
           05  V-UNSIGNED     PIC 9(6).
           05  V-SCALED       PIC 9(3)PP.
           05  V-SMALL        PIC PP99.
           05  V-BIN          PIC S9(4) COMP.
           05  V-BIN-U        PIC 9(9) BINARY.
           05  V-BIN-6        PIC S9(6) COMP.
           05  V-BIN-18       PIC S9(18) COMP-4.
           05  V-NATIVE       PIC S9(9) COMP-5.
           05  V-NATIVE-V     PIC S9(3)V9 COMP-5.
           05  V-NATIVE-7     PIC 9(7) COMP-5.
           05  V-PACKED       PIC S9(7)V99 COMP-3.
           05  V-PACKED-U     PIC 9(6) PACKED-DECIMAL.
           05  V-FLOAT        COMP-1.
           05  V-DOUBLE       COMP-2.
           05  V-EDITED       PIC -(6)9.99.
           05  V-INDEX        INDEX.
           05  V-POINTER      POINTER.
)";

// A statement that sets a field, and the value it must decode to.
struct Value {
    const char* field;
    const char* statement;
    const char* decoded;
};

// Each set is one record.
const std::vector<std::vector<Value>> kSets = {
    {
        {"V-TEXT", "MOVE 'Anna' TO V-TEXT", "Anna    "},
        {"V-ZONED", "MOVE 12345.67 TO V-ZONED", "12345.67"},
        {"V-ZONED-LEAD", "MOVE 42 TO V-ZONED-LEAD", "42"},
        {"V-SEP-LEAD", "MOVE 1234.5 TO V-SEP-LEAD", "1234.5"},
        {"V-SEP-TRAIL", "MOVE 7 TO V-SEP-TRAIL", "7"},
        {"V-UNSIGNED", "MOVE 654321 TO V-UNSIGNED", "654321"},
        {"V-SCALED", "MOVE 12300 TO V-SCALED", "12300"},
        {"V-SMALL", "MOVE 0.0012 TO V-SMALL", "0.0012"},
        {"V-BIN", "MOVE 1234 TO V-BIN", "1234"},
        {"V-BIN-U", "MOVE 999999999 TO V-BIN-U", "999999999"},
        {"V-BIN-6", "MOVE 999999 TO V-BIN-6", "999999"},
        {"V-BIN-18", "MOVE 123456789012345678 TO V-BIN-18", "123456789012345678"},
        {"V-NATIVE", "MOVE 123456789 TO V-NATIVE", "123456789"},
        {"V-NATIVE-V", "MOVE 99.9 TO V-NATIVE-V", "99.9"},
        {"V-NATIVE-7", "MOVE 1234567 TO V-NATIVE-7", "1234567"},
        {"V-PACKED", "MOVE 1234567.89 TO V-PACKED", "1234567.89"},
        {"V-PACKED-U", "MOVE 123456 TO V-PACKED-U", "123456"},
        {"V-FLOAT", "MOVE 1.5 TO V-FLOAT", "1.5"},
        {"V-DOUBLE", "MOVE 0.125 TO V-DOUBLE", "0.125"},
        {"V-EDITED", "MOVE 1234.5 TO V-EDITED", "   1234.50"},
        {"V-INDEX", "SET V-INDEX TO 7", "7"},
        {"V-POINTER", "SET V-POINTER TO NULL", "0x0000000000000000"},
    },
    {
        {"V-TEXT", "MOVE SPACES TO V-TEXT", "        "},
        {"V-ZONED", "MOVE -0.01 TO V-ZONED", "-0.01"},
        {"V-ZONED-LEAD", "MOVE -123 TO V-ZONED-LEAD", "-123"},
        {"V-SEP-LEAD", "MOVE -0.5 TO V-SEP-LEAD", "-0.5"},
        {"V-SEP-TRAIL", "MOVE -99 TO V-SEP-TRAIL", "-99"},
        {"V-UNSIGNED", "MOVE ZERO TO V-UNSIGNED", "0"},
        {"V-SCALED", "MOVE 99900 TO V-SCALED", "99900"},
        {"V-SMALL", "MOVE 0.0099 TO V-SMALL", "0.0099"},
        {"V-BIN", "MOVE -1234 TO V-BIN", "-1234"},
        {"V-BIN-U", "MOVE 1 TO V-BIN-U", "1"},
        {"V-BIN-6", "MOVE -999999 TO V-BIN-6", "-999999"},
        {"V-BIN-18", "MOVE -999999999999999999 TO V-BIN-18", "-999999999999999999"},
        {"V-NATIVE", "MOVE -1 TO V-NATIVE", "-1"},
        {"V-NATIVE-V", "MOVE -0.1 TO V-NATIVE-V", "-0.1"},
        {"V-NATIVE-7", "MOVE 0 TO V-NATIVE-7", "0"},
        {"V-PACKED", "MOVE -0.01 TO V-PACKED", "-0.01"},
        {"V-PACKED-U", "MOVE 0 TO V-PACKED-U", "0"},
        {"V-FLOAT", "MOVE -2.25 TO V-FLOAT", "-2.25"},
        {"V-DOUBLE", "MOVE -1024 TO V-DOUBLE", "-1024"},
        {"V-EDITED", "MOVE -0.5 TO V-EDITED", "     -0.50"},
        {"V-INDEX", "SET V-INDEX TO 1", "1"},
        {"V-POINTER", "SET V-POINTER TO NULL", "0x0000000000000000"},
    },
};

class CompilerValues : public ::testing::TestWithParam<const char*> {};

// GetParam(): the options cobc is given.
TEST_P(CompilerValues, EveryFieldDecodesToTheValueMovedIntoIt) {
    const std::string cobc = testing::FindCobc();
    if (cobc.empty()) GTEST_SKIP() << "cobc is not installed (gnucobol3)";
    const std::string options = GetParam();
    ReadOptions read;
    if (options.find("1--8") != std::string::npos) read.binarySize = BinarySize::k1to8;
    Copybook copybook;
    ReadError error;
    ASSERT_TRUE(ReadCopybook(kRecord, read, &copybook, &error)) << error.Text();
    const Record& record = copybook.records[0];

    e2e::Scratch scratch;
    std::string program = "       IDENTIFICATION DIVISION.\n       PROGRAM-ID. VALUES.\n"
                          "       DATA DIVISION.\n       WORKING-STORAGE SECTION.\n";
    program += kRecord;
    program += "       PROCEDURE DIVISION.\n";
    for (const auto& set : kSets) {
        for (const Value& v : set) program += "           " + std::string(v.statement) + "\n";
        program += "           DISPLAY V-REC\n";
    }
    program += "           STOP RUN.\n";
    e2e::WriteFile(scratch.Path("values.cob"), program);
    e2e::RunOptions run = scratch.Options();
    run.workingFolder = scratch.root();
    run.timeoutSeconds = 300;
    std::vector<std::string> arguments = {"-x", "-w", "-o", "values", "values.cob"};
    if (!options.empty()) arguments.insert(arguments.begin(), options);
    const e2e::RunResult compiled = e2e::RunProgram(cobc, arguments, run);
    ASSERT_EQ(compiled.Status(), 0) << compiled.Describe() << compiled.err;
    const e2e::RunResult ran = e2e::RunProgram(scratch.Path("values"), {}, run);
    ASSERT_EQ(ran.Status(), 0) << ran.Describe();

    // Each record's bytes, then a line end.
    const size_t length = record.length();
    ASSERT_EQ(ran.out.size(), kSets.size() * (length + 1)) << ran.Describe();
    for (size_t s = 0; s < kSets.size(); ++s) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(ran.out.data()) + s * (length + 1);
        for (const Value& v : kSets[s]) {
            std::string reason;
            const auto field = ResolveField(record, v.field, &reason);
            ASSERT_TRUE(field) << reason;
            const FieldValue value = DecodeField(
                record.items[field->item], std::span<const uint8_t>(bytes + field->position,
                                                                    field->length));
            EXPECT_TRUE(value.decoded) << v.statement << ": " << value.text << " " << value.reason;
            EXPECT_EQ(value.text, v.decoded) << v.statement << " (" << options << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Options, CompilerValues,
                         ::testing::Values("", "-fsign=EBCDIC", "-fbinary-size=1--8"),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             return std::string(p.index == 0   ? "Defaults"
                                                : p.index == 1 ? "EbcdicSigns"
                                                               : "FewestBinaryBytes");
                         });

}  // namespace
}  // namespace layout
