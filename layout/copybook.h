// A record layout as a COBOL copybook describes it: the records (one per level-01 or level-77
// entry) and, in each, its items in the order they are written, with the place and size each
// takes in the record.
//
// Offsets are counted in bytes from the start of the record. An item inside a table (an item
// with OCCURS, or below one) is placed at its first occurrence; occurrence k of a table lies
// (k - 1) x the table item's length further on (Dimensions() gives the steps).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/picture.h"

namespace layout {

enum class Usage {
    kDisplay,  // DISPLAY: one byte per character position
    kBinary,   // COMP, COMPUTATIONAL, BINARY, COMP-4: two's complement, big-endian
    kComp5,    // COMP-5: two's complement in the machine's byte order
    kPacked,   // COMP-3, PACKED-DECIMAL: two digits a byte, the sign in the last half-byte
    kFloat,    // COMP-1: a 4-byte floating-point number, machine byte order
    kDouble,   // COMP-2: an 8-byte floating-point number, machine byte order
    kPointer,  // POINTER: an address, 8 bytes, machine byte order
    kIndex,    // INDEX: a table index, a 4-byte signed integer, machine byte order
};

// "DISPLAY", "COMP", "COMP-5", "COMP-3", "COMP-1", "COMP-2", "POINTER", "INDEX".
const char* UsageName(Usage usage);

// How binary items are sized by their digits (the compiler option of that name):
//   k1248  1-2 digits: 1 byte, 3-4: 2, 5-9: 4, 10-18: 8 (GnuCOBOL's default)
//   k248   1-4 digits: 2 bytes, 5-9: 4, 10-18: 8 (mainframe dialects); COMP-5 of 1-2 digits
//          still 1 byte
//   k1to8  the fewest bytes that hold the digits, 1 to 8
enum class BinarySize { k1248, k248, k1to8 };

// "1-2-4-8", "2-4-8", "1--8" and back.
const char* BinarySizeName(BinarySize size);
std::optional<BinarySize> ParseBinarySize(std::string_view name);

struct Item {
    int level = 0;             // 1 to 49, or 77
    std::string name;          // in upper case; "FILLER" for an unnamed item
    bool filler = false;       // FILLER or unnamed: a name that cannot be referred to
    uint32_t line = 0;         // the line its entry begins on (from 1)
    int parent = -1;           // index in Record::items; -1 for the record's own item
    std::vector<int> children;

    Category category = Category::kGroup;
    Usage usage = Usage::kDisplay;  // a group's is the one it passes down (DISPLAY if none)
    std::optional<Picture> picture;
    bool signLeading = false;   // SIGN LEADING (else the sign goes with the last digit)
    bool signSeparate = false;  // SIGN ... SEPARATE: the sign is a byte of its own
    bool sync = false;          // SYNCHRONIZED

    bool table = false;         // has an OCCURS clause
    uint32_t occurs = 1;        // the number of occurrences (the maximum for DEPENDING ON)
    uint32_t minOccurs = 1;     // OCCURS n TO m: n
    std::string dependingOn;    // OCCURS ... DEPENDING ON: the counter, as written
    std::string redefines;      // REDEFINES: the name of the item it redefines, upper case
    int redefined = -1;         // its index in the record (the first of a chain of REDEFINES)

    uint64_t offset = 0;  // from the start of the record, at the first occurrence
    uint64_t length = 0;  // of one occurrence

    bool isGroup() const { return !children.empty(); }
};

struct Record {
    std::vector<Item> items;  // items[0] is the level-01 or level-77 item

    const std::string& name() const { return items.front().name; }
    uint64_t length() const { return items.front().length; }
};

struct Copybook {
    std::vector<Record> records;
};

// The record of that name (upper or lower case), or nothing.
const Record* FindRecord(const Copybook& copybook, std::string_view name);

// "CUST-CITY OF CUST-ADDRESS OF CUSTOMER": the item's name qualified by each named group it
// lies in, up to the record. Groups without a name (FILLER) are left out.
std::string QualifiedName(const Record& record, int index);

// One table an item lies in (or is): its occurrences and the distance between two of them.
struct Dimension {
    int table = 0;  // the item with the OCCURS clause
    uint32_t occurs = 1;
    uint64_t stride = 0;
};

// The tables the item lies in, outermost first, the item itself last when it has OCCURS.
std::vector<Dimension> Dimensions(const Record& record, int index);

// The offset of one occurrence: subscripts (from 1) for each of Dimensions(), in that order.
// REQUIRES: one subscript per dimension, each from 1 to its occurs.
uint64_t OccurrenceOffset(const Record& record, int index, const std::vector<uint32_t>& subscripts);

}  // namespace layout
