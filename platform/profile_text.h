// The text of a profile file, edited line by line so that every line a change does not concern
// stays byte for byte as it was: comments, blank lines, line endings, and lines the reader does
// not understand (a line without "=", a comment style of another program).
//
// Lines are read as the profile reader reads them:
//   - a line break is "\r\n", "\n" or a lone "\r"; a UTF-8 signature at the start is skipped;
//   - leading spaces and tabs are skipped; a line then beginning with ';' or '#' is a comment;
//   - "[name]" opens a section (the name trimmed of spaces and tabs; text after ']' is ignored);
//     a "[" without "]" ends the section above it and opens none (the reader files the entries
//     below it under no name that can be asked for), and is kept as it is;
//   - "key=value" is an entry of the section above it (the key is the text before the first
//     '=', trimmed; an empty key makes no entry); lines above the first section belong to the
//     section with the empty name;
//   - anything else is not understood and kept as it is.
// Section and key names compare without regard to case (ASCII letters). A section may stand in
// several blocks; together they are one section, whose entries are read in file order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ProfileText {
  public:
    explicit ProfileText(std::string_view text);

    // Gives the key the value. The first entry of the key keeps its place and everything up to
    // its value (the key as spelt, '=' and the blanks after it), and gets the new value; further
    // entries of the key are removed. A new key is added after the last entry or unknown line of
    // the section's first block; a new section is added at the end, after a blank line. Returns
    // whether the text changed. Needs: section without ']' and line breaks, key without '=' and
    // line breaks, value without line breaks (the caller checks; see profile.cpp).
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);

    // Removes every entry of the key in the section. Returns whether the text changed.
    bool RemoveKey(std::string_view section, std::string_view key);

    // Removes every block of the section: its header and the lines up to its last entry or
    // unknown line (comments and blank lines after that belong to what follows).
    // Returns whether the text changed.
    bool RemoveSection(std::string_view section);

    std::string Text() const;

  private:
    enum class Kind { kBlank, kComment, kSection, kEntry, kUnknown };
    struct Line {
        std::string text;    // without its line break
        std::string ending;  // "\r\n", "\n", "\r" or "" (the last line of a file without one)
        Kind kind = Kind::kBlank;
        std::string name;    // section name or key
        size_t valueAt = 0;  // of an entry: where its value begins (after '=' and blanks)
    };
    // A block: the lines of one section header and what follows it up to the next header.
    struct Block {
        size_t header;   // index of the header line; kNoHeader for the lines above the first
        size_t begin;    // first line after the header
        size_t end;      // one past the last line of the block
        size_t bodyEnd;  // one past its last entry or unknown line (begin when none)
        std::string name;
    };

    static constexpr size_t kNoHeader = static_cast<size_t>(-1);

    static Line Classify(std::string text, std::string ending);
    std::vector<Block> Blocks() const;
    std::string NewLineEnding() const;
    void RemoveLines(const std::vector<size_t>& indices);

    std::string signature;  // a UTF-8 signature the text began with, kept as it was
    std::vector<Line> lines;
};

}  // namespace platform
