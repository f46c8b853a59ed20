// Reading a COBOL copybook: the data description entries of one or more records, in fixed or
// free form (source_text.h), into records with every item placed (placement.h).
//
// Read: levels 01 to 49 and 77 (a record per 01 or 77 entry); 66 and 88 entries are read and
// left out. Clauses: PICTURE, USAGE (DISPLAY, COMP, COMPUTATIONAL, BINARY, COMP-4, COMP-5,
// COMP-3, PACKED-DECIMAL, COMP-1, COMP-2, POINTER, INDEX; with or without the word USAGE),
// SIGN LEADING/TRAILING [SEPARATE], OCCURS n [TO m] [TIMES] [DEPENDING ON name] [KEY ...]
// [INDEXED BY ...], REDEFINES, SYNCHRONIZED, FILLER, and VALUE, JUSTIFIED, BLANK WHEN ZERO,
// EXTERNAL and GLOBAL, which do not change the layout. A group's USAGE and SIGN pass to the items
// below it unless they give their own. EJECT and SKIP1 to SKIP3 are listing directives and read
// as nothing.
//
// Anything else is refused with the number of the line and the reason, never guessed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "layout/copybook.h"
#include "layout/source_text.h"

namespace layout {

struct ReadOptions {
    SourceFormat format = SourceFormat::kDetect;
    BinarySize binarySize = BinarySize::k1248;
};

struct ReadError {
    uint32_t line = 0;  // from 1
    std::string message;

    // "line 12: ..."
    std::string Text() const;
};

// Reads the copybook. With SourceFormat::kDetect, the form DetectFormat() names is read, and
// when the copybook cannot be read so, the other form; if neither reads, the error is the one of
// the form detected. On failure *copybook is left empty.
bool ReadCopybook(std::string_view text, const ReadOptions& options, Copybook* copybook,
                  ReadError* error);

}  // namespace layout
