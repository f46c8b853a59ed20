#include "layout/record_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/copybook_reader.h"

namespace layout {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

Record ReadRecord(const char* text) {
    Copybook copybook;
    ReadError error;
    EXPECT_TRUE(ReadCopybook(text, {}, &copybook, &error)) << error.Text();
    return copybook.records.empty() ? Record{} : copybook.records.front();
}

TEST(RecordView, TheRulerMarksEveryFifthAndNumbersEveryTenthColumn) {
    struct Row {
        uint64_t columns;
        std::string numbers;
        std::string marks;
    };
    const std::vector<Row> rows = {
        {0, "", ""},
        {1, "0", "|"},
        {6, "0     ", "|....+"},
        {21, "0         10         ", "|....+....|....+....|"},  // "20" would run past the end
        {23, "0         10        20 ", "|....+....|....+....|.."},
    };
    for (const Row& row : rows) {
        const Ruler ruler = MakeRuler(row.columns);
        EXPECT_EQ(ruler.numbers, row.numbers) << row.columns;
        EXPECT_EQ(ruler.marks, row.marks) << row.columns;
    }
    // The largest records: every position up to the last tenth column is there to read.
    const Ruler wide = MakeRuler(65535);
    ASSERT_EQ(wide.numbers.size(), 65535u);
    EXPECT_EQ(wide.numbers.substr(65520, 15), "65520     65530");
    EXPECT_EQ(wide.marks.substr(65520, 15), "|....+....|....");
}

TEST(RecordView, BytesShowAsCharactersAndHexInOneColumnEach) {
    const std::vector<uint8_t> bytes = {0x00, 'A', '~', 0x7F, 0xFE, ' ', 0xFF, '0', 0xC3, 0xA9};
    const ByteColumns shown = ShowBytes(bytes);
    EXPECT_EQ(shown.text, ".A~.. .0..");  // UTF-8 too goes byte by byte: one column a byte
    EXPECT_EQ(shown.high, "0477F2F3CA");
    EXPECT_EQ(shown.low, "01EFE0F039");
    EXPECT_EQ(ShowBytes({}).text, "");
}

TEST(RecordView, RecordsStandUnderTheRulerBehindAGutterOfTheirNumbers) {
    RecordsText text(8);
    const std::vector<uint8_t> first = Bytes("ABCDEFGHIJ");  // longer than the columns
    std::vector<uint8_t> deleted = Bytes("K\xFE" "LM");     // shorter
    text.AddRecord(0, false, first);
    text.AddRecord(12, true, deleted);
    EXPECT_EQ(text.Gutter(), 8u);  // "12 del" and two spaces
    EXPECT_EQ(text.RulerLines(),
              (std::vector<std::string>{"        0       ", "        |....+.."}));
    EXPECT_EQ(text.RecordLines(), (std::vector<std::string>{
                                      "0       ABCDEFGH",
                                      "        44444444",
                                      "        12345678",
                                      "",
                                      "12 del  K.LM",
                                      "        4F44",
                                      "        BECD",
                                  }));
    // Without the gutter, for a view that draws the labels beside the text.
    EXPECT_EQ(text.RecordLines(false)[4], "K.LM");
    EXPECT_EQ(text.RulerLines(false)[1], "|....+..");
    EXPECT_EQ(text.Label(1), "12 del");
    for (size_t line = 0; line < 7; ++line) {
        EXPECT_EQ(RecordsText::RecordOfLine(line), line < 4 ? 0u : 1u) << line;
    }
    EXPECT_TRUE(RecordsText(10).RecordLines().empty());
}

constexpr char kCustomer[] = R"(
       01  CUSTOMER-RECORD.
           05  CUST-NO                     PIC 9(8).
           05  CUST-NAME                   PIC X(10).
           05  CUST-SINCE.
               10  CUST-SINCE-YEAR         PIC 9(4).
               10  CUST-SINCE-MONTH        PIC 9(2).
           05  CUST-MONEY.
               10  CUST-BALANCE            PIC S9(5)V99 COMP-3.
               10  CUST-CODE               PIC X(2).
)";

TEST(RecordView, FieldValuesAsAListOfFieldsShowsThem) {
    const Record record = ReadRecord(kCustomer);
    ASSERT_EQ(record.length(), 30u);
    bool complete = false;
    const std::vector<FieldOccurrence> fields = ListFields(record, 100, &complete);
    ASSERT_EQ(fields.size(), 9u);
    std::string bytes = std::string("00001234Anna Berg 201108") + "\x01\x23\x45\x6D" + "AB";
    const auto values = [&](const std::string& data) {
        std::vector<std::string> texts;
        const std::vector<uint8_t> b = Bytes(data);
        for (const FieldOccurrence& f : fields) texts.push_back(FieldValueText(record, f, b));
        return texts;
    };
    EXPECT_EQ(values(bytes), (std::vector<std::string>{
                                 "",  // the record holds a packed field
                                 "1234",
                                 "\"Anna Berg\"",
                                 "\"201108\"",
                                 "2011",
                                 "8",
                                 "",  // the group of the packed field
                                 "-1234.56",
                                 "\"AB\"",
                             }));
    // A deleted mark in a number, a bad sign half-byte; a record too short for its layout.
    bytes[6] = '\xFE';
    bytes[27] = '\x63';
    const std::vector<std::string> marked = values(bytes);
    EXPECT_EQ(marked[1], "hex 303030303132FE34 (not a number: byte 6 is FE, not a digit)")
        << marked[1];
    EXPECT_EQ(marked[7].rfind("hex 01234563 (", 0), 0u) << marked[7];
    const std::vector<std::string> cut = values(bytes.substr(0, 26));
    EXPECT_EQ(cut[5], "8");
    EXPECT_EQ(cut[7], "beyond the record");
    EXPECT_EQ(cut[8], "beyond the record");
    EXPECT_EQ(UsageText(record.items[0]), "GROUP");
    EXPECT_EQ(UsageText(record.items[7]), "COMP-3");
}

TEST(RecordView, HowTheLayoutFitsTheFilesRecords) {
    const Record record = ReadRecord(kCustomer);
    EXPECT_EQ(LayoutFitText(record, 30), "CUSTOMER-RECORD: 30 bytes, as the file's records");
    EXPECT_EQ(LayoutFitText(record, 100),
              "CUSTOMER-RECORD: 30 bytes; the file's records hold 100, bytes 30 to 99 are not "
              "described");
    EXPECT_EQ(LayoutFitText(record, 20),
              "CUSTOMER-RECORD: 30 bytes, longer than the file's 20-byte records: bytes from 20 "
              "on are not in them");
}

}  // namespace
}  // namespace layout
