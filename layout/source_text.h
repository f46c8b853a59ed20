// The source form of a copybook: its lines turned into one running text of COBOL words, with
// comments and sequence numbers gone and continuation lines joined, each character knowing the
// line it came from.
//
// Fixed form, by columns of a line (tabs stop every 8 columns):
//   1-6    sequence number, ignored
//   7      indicator: space (code), * or / (comment), D (debugging line, left out),
//          - (continuation: the line goes on with the previous one)
//   8-72   the code (areas A and B)
//   73-    identification, ignored
// A continued literal runs to column 72 of its line, and resumes after the first quote of the
// continuation line; a continued word resumes at the first character of the continuation line.
//
// Free form: the whole line is code. Both forms end a line's code at a "*>" outside a literal,
// and read a form feed, vertical tab or carriage return as a space.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace layout {

enum class SourceFormat { kDetect, kFixed, kFree };

// A copybook's code as one text: lines joined by '\n', continuation lines joined to the line they
// continue. lines[i] is the line (from 1) that text[i] came from.
struct SourceText {
    std::string text;
    std::vector<uint32_t> lines;
};

// A line that cannot be read: its number (from 1) and the reason.
struct SourceError {
    uint32_t line = 0;
    std::string message;
};

// The form the text is written in: free when a line shows it cannot be fixed form (a character
// other than space, *, /, - or D in column 7 of a line with code, or "*>" or ">>" in
// columns 1 to 7), else fixed.
SourceFormat DetectFormat(std::string_view copybook);

// Reads the lines of a copybook in the given form (kDetect: as DetectFormat says). A CR before
// a line end and a byte order mark at the start are dropped.
bool ReadSource(std::string_view copybook, SourceFormat format, SourceText* out,
                SourceError* error);

}  // namespace layout
