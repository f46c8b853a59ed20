// Where each item of a record lies and how long it is, as GnuCOBOL lays records out (the tests
// compare with the compiler item for item). The rules, in the compiler's order:
//
//  1. An elementary item's length comes from its usage and picture:
//       DISPLAY        one byte per character position, one more for SIGN ... SEPARATE
//                      (also an edited picture with +, -, CR or DB below a group that has
//                      SIGN ... SEPARATE)
//       COMP, COMP-5   by its digits, as BinarySize says (copybook.h)
//       COMP-3         digits / 2 + 1
//       COMP-1 / COMP-2 / POINTER / INDEX   4 / 8 / 8 / 4
//  2. A group's items follow one another; its length is their lengths times their occurrences.
//  3. An item with REDEFINES starts where the item it redefines starts. When it is longer than
//     that item and every redefinition before it, the group grows by the difference.
//  4. A SYNCHRONIZED item (not one that redefines) whose usage is binary or floating-point and
//     whose length is 2, 4, 8 or 16, or whose usage is INDEX (4) or POINTER (8), is moved
//     forward to the next multiple of that alignment, counted from the start of the record, and
//     the group grows by the move. Only the item itself moves: a group that moves (a group with
//     USAGE COMP, say) leaves the items inside it where they were placed.
//  5. A group with more than one occurrence is padded to a multiple of the "running alignment"
//     that the compiler keeps while it works: it starts at 1 for each group, a SYNCHRONIZED item
//     raises it to its alignment, and working out a group below sets it to what that group
//     ended with. The padding goes before the last elementary item in the group (that item's
//     offset grows by it), not at the end.
//  6. An OCCURS ... DEPENDING ON table takes the room of its largest number of occurrences.
#pragma once

#include <cstdint>
#include <string>

#include "layout/copybook.h"

namespace layout {

// The largest record (and item) the layout accepts, as the compiler does.
constexpr uint64_t kMaxRecordLength = 268'435'456;

// Sets length and offset of every item of the record, whose items, usages, pictures, signs,
// OCCURS and REDEFINES are read. Fails when an item would be longer than kMaxRecordLength:
// *line and *error tell which.
bool PlaceRecord(Record* record, BinarySize binarySize, uint32_t* line, std::string* error);

// The length of an elementary item of that usage and picture (picture ignored where the usage
// takes none).
uint64_t ElementaryLength(Usage usage, const Picture* picture, bool signSeparate,
                          BinarySize binarySize);

}  // namespace layout
