#include "layout/field_value.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <optional>

#include "layout/copybook_reader.h"

namespace layout {
namespace {

// The one elementary item of "01 R. 05 F <clauses>."
Item ItemOf(const std::string& clauses) {
    Copybook copybook;
    ReadError error;
    EXPECT_TRUE(ReadCopybook("01 R.\n 05 F " + clauses + ".\n", {}, &copybook, &error))
        << clauses << ": " << error.Text();
    return copybook.records.empty() ? Item() : copybook.records[0].items.at(1);
}

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> Hex(std::string_view hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// The bytes of a number in the machine's order.
template <typename T>
std::vector<uint8_t> Native(T value) {
    std::vector<uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

struct Row {
    const char* clauses;
    std::vector<uint8_t> bytes;
    std::optional<std::string> value;  // nothing: not decoded
    const char* reason = "";           // when not decoded: a part of the reason
};

void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        const Item item = ItemOf(row.clauses);
        const FieldValue value = DecodeField(item, row.bytes);
        const std::string what = std::string(row.clauses) + " " + HexBytes(row.bytes);
        if (row.value) {
            EXPECT_TRUE(value.decoded) << what << ": " << value.reason;
            EXPECT_EQ(value.text, *row.value) << what;
        } else {
            EXPECT_FALSE(value.decoded) << what << ": " << value.text;
            EXPECT_EQ(value.text, HexBytes(row.bytes)) << what;
            EXPECT_NE(value.reason.find(row.reason), std::string::npos) << what << ": " << value.reason;
        }
    }
}

TEST(FieldValue, Text) {
    Check({
        {"PIC X(5)", Bytes("Anna "), "Anna "},
        {"PIC A(3)", Bytes("abc"), "abc"},
        {"PIC ZZ9.99", Bytes(" 12.50"), " 12.50"},
        {"PIC X(7)", Bytes("M\xC3\xBCller"), "M\xC3\xBCller"},  // UTF-8 text
        {"PIC X(3)", Hex("410042"), std::nullopt, "not text: byte 1 is 00"},
        {"PIC X(2)", Hex("FFFF"), std::nullopt, "byte 0 is FF"},
        {"PIC X(2)", Hex("C3"), std::nullopt, "the field has 2 bytes, not 1"},
        {"PIC X(2)", Hex("C328"), std::nullopt, "not text"},      // a broken UTF-8 sequence
        {"PIC X(3)", Hex("E08080"), std::nullopt, "not text"},    // an overlong one
        {"PIC X(3)", Hex("EDA080"), std::nullopt, "not text"},    // a surrogate
    });
}

TEST(FieldValue, ZonedAndSeparateSignNumbers) {
    Check({
        {"PIC 9(5)", Bytes("00123"), "123"},
        {"PIC 9(5)", Bytes("00000"), "0"},
        {"PIC 9(3)V99", Bytes("01234"), "12.34"},
        {"PIC V999", Bytes("050"), "0.050"},
        {"PIC 9(3)PP", Bytes("123"), "12300"},
        {"PIC PP99", Bytes("12"), "0.0012"},
        {"PIC S9(3)", Bytes("123"), "123"},
        {"PIC S9(3)", Bytes("12s"), "-123"},    // the ASCII convention: 'p' to 'y'
        {"PIC S9(3)", Bytes("12C"), "123"},     // the EBCDIC convention: '{', 'A' to 'I'
        {"PIC S9(3)", Bytes("12L"), "-123"},    // ... and '}', 'J' to 'R'
        {"PIC S9(3)", Bytes("00}"), "0"},       // no minus zero
        {"PIC S9(3)V9", Bytes("123u"), "-123.5"},
        {"PIC S9(3) SIGN LEADING", Bytes("q23"), "-123"},
        {"PIC S9(3) SIGN LEADING SEPARATE", Bytes("-123"), "-123"},
        {"PIC S9(3) SIGN TRAILING SEPARATE", Bytes("123+"), "123"},
        {"PIC S99V9 SIGN LEADING SEPARATE", Bytes("+050"), "5.0"},
        {"PIC 9(3)", Bytes(" 12"), std::nullopt, "byte 0 is 20, not a digit"},
        {"PIC S9(3)", Bytes("12 "), std::nullopt, "byte 2 is 20, not a digit with a sign"},
        {"PIC S9(3) SIGN LEADING SEPARATE", Bytes(" 123"), std::nullopt, "the sign byte 0 is 20"},
        {"PIC S9(3) SIGN TRAILING SEPARATE", Bytes("1x3+"), std::nullopt, "byte 1 is 78"},
        {"PIC S9(3) SIGN LEADING SEPARATE", Bytes("+1x3"), std::nullopt, "byte 2 is 78"},
    });
}

TEST(FieldValue, PackedDecimal) {
    Check({
        {"PIC S9(5) COMP-3", Hex("12345C"), "12345"},
        {"PIC S9(5) COMP-3", Hex("12345D"), "-12345"},
        {"PIC 9(5) COMP-3", Hex("12345F"), "12345"},
        {"PIC S9(4) COMP-3", Hex("01234B"), "-1234"},
        {"PIC S9(3)V99 COMP-3", Hex("12345A"), "123.45"},
        {"PIC S9(5) COMP-3", Hex("00000D"), "0"},
        {"PIC S9(31) COMP-3", Hex("9999999999999999999999999999999C"),
         "9999999999999999999999999999999"},
        {"PIC S9(5) COMP-3", Hex("12345E"), "12345"},
        {"PIC S9(5) COMP-3", Hex("123453"), std::nullopt, "the sign half-byte is 3"},
        {"PIC S9(5) COMP-3", Hex("1A345C"), std::nullopt, "byte 0 holds the half-byte A"},
        {"PIC S9(5) COMP-3", Hex("404040"), std::nullopt, "not packed decimal"},
    });
}

TEST(FieldValue, BinaryNumbers) {
    Check({
        {"PIC S9(4) COMP", Hex("FFFE"), "-2"},
        {"PIC 9(4) COMP", Hex("FFFE"), "65534"},
        {"PIC S9(4) BINARY", Hex("0102"), "258"},
        {"PIC S9(2)V99 COMP", Hex("04D2"), "12.34"},
        {"PIC S9(18) COMP", Hex("8000000000000000"), "-9223372036854775808"},
        {"PIC 9(18) COMP", Hex("FFFFFFFFFFFFFFFF"), "18446744073709551615"},
        {"PIC S9(2) COMP", Hex("80"), "-128"},
        {"PIC S9(9) COMP-5", Native<int32_t>(-123456789), "-123456789"},
        {"PIC 9(4) COMP-5", Native<uint16_t>(4660), "4660"},
        {"PIC S9(3)V9 COMP-5", Native<int16_t>(-5), "-0.5"},
        {"INDEX", Native<int32_t>(-7), "-7"},
    });
    ReadOptions options;
    options.binarySize = BinarySize::k1to8;
    Copybook copybook;
    ReadError error;
    ASSERT_TRUE(ReadCopybook("01 R.\n 05 F PIC S9(7) COMP.\n", options, &copybook, &error));
    const Item& three = copybook.records[0].items[1];
    ASSERT_EQ(three.length, 4u);
    ASSERT_TRUE(ReadCopybook("01 R.\n 05 F PIC S9(6) COMP.\n", options, &copybook, &error));
    EXPECT_EQ(DecodeField(copybook.records[0].items[1], Hex("FFFFFF")).text, "-1");
    EXPECT_EQ(DecodeField(copybook.records[0].items[1], Hex("7FFFFF")).text, "8388607");
}

TEST(FieldValue, FloatingPointAndPointers) {
    Check({
        {"COMP-1", Native<float>(1.5f), "1.5"},
        {"COMP-2", Native<double>(-0.1), "-0.1"},
        {"COMP-2", Native<double>(1e300), "1e+300"},
        {"COMP-1", Native<float>(std::bit_cast<float>(0x7FC00000u)), std::nullopt, "NaN"},
        {"COMP-2", Native<double>(std::bit_cast<double>(0x7FF0000000000000ull)), std::nullopt,
         "infinity"},
        {"POINTER", Native<uint64_t>(0x7F00DEADBEEFull), "0x00007F00DEADBEEF"},
    });
}

TEST(FieldValue, GroupsShowTheirText) {
    Copybook copybook;
    ReadError error;
    ASSERT_TRUE(ReadCopybook("01 R.\n 05 G COMP-3.\n  10 A PIC 9.\n", {}, &copybook, &error));
    EXPECT_EQ(DecodeField(copybook.records[0].items[0], Bytes("a")).text, "a");
    EXPECT_FALSE(DecodeField(copybook.records[0].items[1], Hex("1C")).decoded);
    EXPECT_TRUE(DecodeField(copybook.records[0].items[2], Hex("1C")).decoded);
}

}  // namespace
}  // namespace layout
