#include "layout/tokens.h"

#include "platform/text_case.h"

namespace layout {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\n';
}

// A literal may carry a prefix right before its quote: X'41', N"ab", Z'text'.
bool IsLiteralPrefix(const std::string& word) {
    const std::string upper = platform::UpperCase(word);
    return upper == "X" || upper == "N" || upper == "NX" || upper == "Z" || upper == "B" ||
           upper == "BX" || upper == "U" || upper == "G";
}

}  // namespace

bool Tokenize(const SourceText& source, std::vector<Token>* tokens, SourceError* error) {
    const std::string& s = source.text;
    tokens->clear();
    auto lineAt = [&](size_t i) { return source.lines[i < s.size() ? i : s.size() - 1]; };
    // A separator character ends a word when a space or the end follows it.
    auto separatorAt = [&](size_t i) { return i + 1 >= s.size() || IsSpace(s[i + 1]); };
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (IsSpace(c) || ((c == ',' || c == ';') && separatorAt(i))) {
            ++i;
            continue;
        }
        if (c == '.' && separatorAt(i)) {
            tokens->push_back({Token::Kind::kPeriod, ".", lineAt(i)});
            ++i;
            continue;
        }
        Token token{Token::Kind::kWord, "", lineAt(i)};
        while (i < s.size()) {
            const char d = s[i];
            if (IsSpace(d)) break;
            if ((d == '.' || d == ',' || d == ';') && separatorAt(i)) break;
            if (d == '"' || d == '\'') {
                if (!token.text.empty() && !IsLiteralPrefix(token.text)) break;
                // The literal runs to the next lone quote of its kind; a doubled one stands for
                // one quote inside it.
                size_t j = i + 1;
                for (;;) {
                    if (j >= s.size()) {
                        *error = {lineAt(i), "a literal is not closed"};
                        return false;
                    }
                    if (s[j] == d) {
                        if (j + 1 < s.size() && s[j + 1] == d) {
                            j += 2;
                            continue;
                        }
                        break;
                    }
                    ++j;
                }
                token.kind = Token::Kind::kLiteral;
                token.text.append(s, i, j + 1 - i);
                i = j + 1;
                break;
            }
            token.text += d;
            ++i;
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

}  // namespace layout
