// PICTURE character-strings of COBOL data descriptions: what kind of data an item holds and how
// many character positions it takes.
//
//   symbol        meaning                                      positions
//   X             any character                                1
//   A             a letter or space                            1
//   9             a digit                                      1
//   S             the number has a sign (first symbol only)    0 (1 with SIGN SEPARATE)
//   V             the assumed decimal point                    0
//   P             an assumed zero (scaling), at either end     0
//   B 0 /         inserted space, zero, slash                  1
//   , .           inserted comma; the decimal point (edited)   1
//   Z *           a digit, leading zeros shown as space or *   1
//   + - $         a sign or currency sign, fixed or floating   1
//   CR DB         credit, debit (last symbol only)             2
//
// Any symbol but CR and DB may be followed by a repetition count: X(10) is XXXXXXXXXX.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace layout {

enum class Category {
    kGroup,               // no picture: the item is made of the items below it
    kAlphabetic,          // A (and B)
    kAlphanumeric,        // X, or A and 9 mixed
    kAlphanumericEdited,  // X or A with B, 0 or /
    kNumeric,             // 9, S, V, P only: a number the program computes with
    kNumericEdited,       // a number formatted for people: Z, *, +, -, $, CR, DB, comma, point
};

// "numeric", "alphanumeric-edited" and so on.
const char* CategoryName(Category category);

struct Picture {
    std::string text;  // as written, in upper case: "S9(5)V99"
    Category category = Category::kAlphanumeric;
    // Character positions: the bytes of the item in USAGE DISPLAY, a separate sign not counted.
    uint64_t size = 0;
    // Numeric: digit positions (the 9s, without P); binary and packed sizes go by it.
    uint32_t digits = 0;
    // Numeric: the value is the digits as a whole number times 10^-scale. V99 gives 2; P
    // positions on the right give a negative scale (9(3)PP: -2), on the left a scale larger
    // than the digits (PP99: 4).
    int32_t scale = 0;
    // The value has a sign: S in a numeric picture; +, -, CR or DB in an edited one.
    bool isSigned = false;
};

// The largest number of digits a numeric picture may have.
constexpr uint32_t kMaxDigits = 38;
// The most character positions one picture may describe.
constexpr uint64_t kMaxPictureSize = 268'435'456;

// Reads a PICTURE character-string (upper or lower case). Returns nothing for a string that is
// not a valid picture and sets *error to the reason (without the line: the caller knows it).
std::optional<Picture> ParsePicture(std::string_view text, std::string* error);

}  // namespace layout
