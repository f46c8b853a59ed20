// The words of a copybook's running text (source_text.h): character-strings, literals and the
// periods that end entries. Spaces, line ends, and commas or semicolons followed by a space
// separate words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout/source_text.h"

namespace layout {

struct Token {
    enum class Kind {
        kWord,     // a character-string: a word, a number, a PICTURE string ("X(10)", "9.99")
        kLiteral,  // a quoted literal, prefix and quotes included ("'A'", "X'FF'")
        kPeriod,   // a period followed by a space or the end
    };
    Kind kind = Kind::kWord;
    std::string text;
    uint32_t line = 0;
};

// Splits the text into tokens. Fails only on a literal without its closing quote.
bool Tokenize(const SourceText& source, std::vector<Token>* tokens, SourceError* error);

}  // namespace layout
