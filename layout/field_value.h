// The value of a field for people to read, from its bytes and its description.
//
//   text (X, A, edited pictures, groups)  the characters: printable ASCII or UTF-8
//   numeric DISPLAY (zoned decimal)      a digit a byte; the sign, unless SEPARATE, rides on the
//                                        last (or with SIGN LEADING, the first) digit: '0'-'9'
//                                        positive, 'p'-'y' negative (ASCII), '{' 'A'-'I'
//                                        positive and '}' 'J'-'R' negative (EBCDIC's convention);
//                                        SEPARATE: a '+' or '-' byte of its own
//   COMP-3                               two digits a byte, the last half-byte the sign:
//                                        C, A, E, F positive, B, D negative
//   COMP (BINARY, COMP-4)                two's complement (signed pictures), big-endian
//   COMP-5, INDEX, POINTER               the same in the machine's byte order
//   COMP-1, COMP-2                       IEEE 754 single and double, the machine's byte order
// Numbers are written in plain decimal with the picture's decimal places ("-1234.50"); P
// positions scale them ("12300", "0.00012").
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "layout/copybook.h"

namespace layout {

struct FieldValue {
    bool decoded = false;
    std::string text;    // the value; when not decoded, the bytes in upper-case hex
    std::string reason;  // when not decoded: why, e.g. "not packed decimal: sign half-byte 3"
};

// Decodes the bytes of one occurrence of the item. Bytes of another length than the item's are
// not decoded.
FieldValue DecodeField(const Item& item, std::span<const uint8_t> bytes);

// Upper-case hex, two digits a byte.
std::string HexBytes(std::span<const uint8_t> bytes);

}  // namespace layout
