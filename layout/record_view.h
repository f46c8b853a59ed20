// What a view of records shows, as text: records as characters and hex in columns, one column a
// byte, under a ruler of byte positions; and for a record laid out by a copybook, each field's
// place, usage and value. A window draws these texts; it works nothing out itself.
//
//   the records' text (RecordsText), with a gutter of the record numbers:
//
//                0         10        20
//                |....+....|....+....|....
//          0     00000001Jonas Richter
//                3333333346666256666662222
//                0000000111E13029384520000
//
//          1 del 0000FE02...
//
// Each record takes kLinesPerRecord lines: its characters (printable ASCII as they are, any
// other byte as '.'), the high and the low half of each byte in hex, and an empty line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "layout/copybook.h"
#include "layout/field_list.h"

namespace layout {

// Two lines of `columns` characters over byte columns 0, 1, ...: the position at every tenth
// column (where it fits before the next), and '|' at every tenth column, '+' at every fifth,
// '.' between.
struct Ruler {
    std::string numbers;
    std::string marks;
};
Ruler MakeRuler(uint64_t columns);

// The bytes in three lines of one column a byte.
struct ByteColumns {
    std::string text;    // the byte when it is printable ASCII (0x20 to 0x7E), else '.'
    std::string high;    // the high half-byte in hex: '0'-'9', 'A'-'F'
    std::string low;     // the low half-byte
};
ByteColumns ShowBytes(std::span<const uint8_t> bytes);

// The text of a view of records: the ruler's two lines, then the records' lines, all with a
// gutter in front (the record's number, and "del" when it is deleted, on its first line).
class RecordsText {
  public:
    static constexpr size_t kLinesPerRecord = 4;

    // Shows byte columns 0 to columns - 1 of every record.
    explicit RecordsText(uint64_t columns) : columns_(columns) {}

    // Adds a record; bytes beyond the columns are left out, a shorter record ends early.
    void AddRecord(uint64_t number, bool deleted, std::span<const uint8_t> bytes);

    uint64_t Columns() const { return columns_; }
    size_t RecordCount() const { return records_.size(); }
    // The characters before byte column 0 on every line.
    size_t Gutter() const;
    // What the gutter shows on a record's first line: its number, and "del" when it is deleted.
    const std::string& Label(size_t record) const { return records_.at(record).label; }
    // The ruler's two lines, with the gutter or (for a view that draws the labels beside the
    // text) without.
    std::vector<std::string> RulerLines(bool withGutter = true) const;
    // The records' lines, kLinesPerRecord a record (the last one without its empty line), with
    // the gutter or without.
    std::vector<std::string> RecordLines(bool withGutter = true) const;
    // The record that line `line` of RecordLines() belongs to.
    static size_t RecordOfLine(size_t line) { return line / kLinesPerRecord; }

  private:
    struct Shown {
        std::string label;
        ByteColumns columns;
    };
    uint64_t columns_;
    std::vector<Shown> records_;
};

// "GROUP" for a group, else the usage's name ("DISPLAY", "COMP-3", ...).
std::string UsageText(const Item& item);

// The value of one field occurrence in a record's bytes, for a list of fields:
//   a text (alphanumeric, edited, or a group of DISPLAY items only) in double quotes, trailing
//   spaces left off: "Tarnow"
//   a number as decoded: -1234.50
//   a value that does not decode: hex 303030FE (not a number: byte 3 is FE, not a digit)
//   a group holding binary or packed items: empty (its items show their values)
//   a field the record does not hold (the layout is longer): "beyond the record"
std::string FieldValueText(const Record& record, const FieldOccurrence& field,
                           std::span<const uint8_t> bytes);

// How the layout's record fits the file's records, for people:
//   "CUSTOMER-RECORD: 100 bytes, as the file's records"
//   "CUSTOMER-RECORD: 80 bytes; the file's records hold 100, bytes 80 to 99 are not described"
//   "CUSTOMER-RECORD: 120 bytes, longer than the file's 100-byte records: bytes from 100 on
//    are not in them"
std::string LayoutFitText(const Record& record, uint64_t recordSize);

}  // namespace layout
