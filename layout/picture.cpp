#include "layout/picture.h"

#include <vector>

#include "platform/text_case.h"

namespace layout {

namespace {

// One symbol of the string with its repetition: CR is 'C', DB is 'D'.
struct Symbol {
    char c;
    uint64_t count;
};

bool IsSymbol(char c) {
    return std::string_view("XA9SVPB0/,.Z*+-$").find(c) != std::string_view::npos;
}

std::string Printable(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 15];
}

// Splits the string into symbols and repetition counts.
bool Split(const std::string& text, std::vector<Symbol>* symbols, std::string* error) {
    bool countable = false;  // the last symbol may still take a count
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if ((c == 'C' && i + 1 < text.size() && text[i + 1] == 'R') ||
            (c == 'D' && i + 1 < text.size() && text[i + 1] == 'B')) {
            symbols->push_back({c, 1});
            countable = false;
            i += 2;
            if (i < text.size() && text[i] == '(') {
                *error = "CR and DB take no repetition count";
                return false;
            }
            continue;
        }
        if (c == '(') {
            if (!countable) {
                *error = "a repetition count in parentheses must follow a symbol";
                return false;
            }
            size_t end = text.find(')', i);
            if (end == std::string::npos) {
                *error = "the repetition count has no closing parenthesis";
                return false;
            }
            std::string_view digits(text.data() + i + 1, end - i - 1);
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
                *error = "the repetition count \"" + std::string(digits) + "\" is not a number";
                return false;
            }
            uint64_t n = 0;
            for (char d : digits) {
                n = n * 10 + static_cast<uint64_t>(d - '0');
                if (n > kMaxPictureSize) {
                    *error = "the repetition count " + std::string(digits) + " is larger than " +
                             std::to_string(kMaxPictureSize);
                    return false;
                }
            }
            if (n == 0) {
                *error = "a repetition count must be at least 1";
                return false;
            }
            symbols->back().count = n;
            countable = false;
            i = end + 1;
            continue;
        }
        if (!IsSymbol(c)) {
            *error = Printable(c) + " is not a PICTURE symbol";
            return false;
        }
        symbols->push_back({c, 1});
        countable = true;
        ++i;
    }
    return true;
}

bool ReadNumeric(const std::vector<Symbol>& symbols, Picture* picture, std::string* error) {
    uint64_t digits = 0;
    uint64_t leftP = 0;
    uint64_t rightP = 0;
    uint64_t fraction = 0;  // 9s after V
    bool seenV = false;
    bool vAfterLeftP = false;
    bool vBeforeRightP = false;
    for (size_t i = 0; i < symbols.size(); ++i) {
        const Symbol& s = symbols[i];
        switch (s.c) {
            case 'S':
                if (i != 0 || s.count != 1) {
                    *error = "S must be the first symbol and appear once";
                    return false;
                }
                picture->isSigned = true;
                break;
            case 'V':
                if (seenV || s.count != 1) {
                    *error = "V may appear only once";
                    return false;
                }
                seenV = true;
                vAfterLeftP = leftP > 0;
                break;
            case 'P':
                if (digits == 0) {
                    leftP += s.count;
                } else {
                    rightP += s.count;
                    vBeforeRightP = vBeforeRightP || seenV;
                }
                break;
            case '9':
                if (rightP > 0) {
                    *error = "P must stand at the start or the end of the digits";
                    return false;
                }
                digits += s.count;
                if (seenV) fraction += s.count;
                break;
        }
    }
    if (digits == 0) {
        *error = "a numeric picture needs at least one 9";
        return false;
    }
    if (digits > kMaxDigits) {
        *error = "a number has at most " + std::to_string(kMaxDigits) + " digits, not " +
                 std::to_string(digits);
        return false;
    }
    if (leftP > 0 && rightP > 0) {
        *error = "P must stand at the start or the end of the digits, not both";
        return false;
    }
    if (vAfterLeftP || vBeforeRightP) {
        *error = "V must stand outside the P positions, which are beyond the decimal point";
        return false;
    }
    if (leftP + rightP > kMaxDigits) {
        *error = "a picture has at most " + std::to_string(kMaxDigits) + " P positions";
        return false;
    }
    picture->category = Category::kNumeric;
    picture->digits = static_cast<uint32_t>(digits);
    picture->size = digits;
    if (leftP > 0) {
        picture->scale = static_cast<int32_t>(leftP + digits);
    } else if (rightP > 0) {
        picture->scale = -static_cast<int32_t>(rightP);
    } else {
        picture->scale = static_cast<int32_t>(fraction);
    }
    return true;
}

bool ReadNumericEdited(const std::vector<Symbol>& symbols, Picture* picture, std::string* error) {
    uint64_t size = 0;
    uint64_t count[256] = {};
    bool pointSeen = false;  // V or the decimal point
    bool nineBeforePoint = false;
    for (size_t i = 0; i < symbols.size(); ++i) {
        const Symbol& s = symbols[i];
        count[static_cast<unsigned char>(s.c)] += s.count;
        switch (s.c) {
            case 'S':
                *error = "S cannot be used with editing symbols (the sign is shown by +, -, CR "
                         "or DB)";
                return false;
            case 'C':
            case 'D':
                if (i + 1 != symbols.size()) {
                    *error = "CR and DB must be the last symbol";
                    return false;
                }
                size += 2;
                break;
            case 'V':
            case '.':
                if (pointSeen || s.count != 1) {
                    *error = "an edited picture has one decimal point (V or .) at most";
                    return false;
                }
                pointSeen = true;
                if (s.c == '.') ++size;
                break;
            case 'P':
                break;
            case 'Z':
            case '*':
                if (nineBeforePoint && !pointSeen) {
                    *error = "Z or * cannot follow 9 before the decimal point";
                    return false;
                }
                size += s.count;
                break;
            case '9':
                if (!pointSeen) nineBeforePoint = true;
                size += s.count;
                break;
            default:
                size += s.count;
                break;
        }
    }
    if (count['Z'] > 0 && count['*'] > 0) {
        *error = "Z and * cannot both be used";
        return false;
    }
    if (count['+'] > 0 && count['-'] > 0) {
        *error = "+ and - cannot both be used";
        return false;
    }
    if (count['C'] + count['D'] > 0 && count['+'] + count['-'] > 0) {
        *error = "CR or DB cannot be used with + or -";
        return false;
    }
    const bool hasDigit = count['9'] + count['Z'] + count['*'] > 0;
    if (!hasDigit && count['+'] < 2 && count['-'] < 2 && count['$'] < 2) {
        *error = "an edited picture needs a 9, Z or *, or at least two of +, - or $";
        return false;
    }
    if (count['9'] > kMaxDigits) {
        *error = "a number has at most " + std::to_string(kMaxDigits) + " digits";
        return false;
    }
    picture->category = Category::kNumericEdited;
    picture->size = size;
    picture->isSigned = count['+'] + count['-'] + count['C'] + count['D'] > 0;
    return true;
}

}  // namespace

const char* CategoryName(Category category) {
    switch (category) {
        case Category::kGroup: return "group";
        case Category::kAlphabetic: return "alphabetic";
        case Category::kAlphanumeric: return "alphanumeric";
        case Category::kAlphanumericEdited: return "alphanumeric-edited";
        case Category::kNumeric: return "numeric";
        case Category::kNumericEdited: return "numeric-edited";
    }
    return "?";
}

std::optional<Picture> ParsePicture(std::string_view text, std::string* error) {
    Picture picture;
    picture.text = platform::UpperCase(text);
    if (picture.text.empty()) {
        *error = "the PICTURE string is empty";
        return std::nullopt;
    }
    std::vector<Symbol> symbols;
    if (!Split(picture.text, &symbols, error)) return std::nullopt;

    uint64_t total = 0;
    bool letters = false;  // X or A
    bool onlyA = true;     // A and B only
    bool insertion = false;
    for (const Symbol& s : symbols) {
        total += s.count;
        letters = letters || s.c == 'X' || s.c == 'A';
        onlyA = onlyA && (s.c == 'A' || s.c == 'B');
        insertion = insertion || s.c == 'B' || s.c == '0' || s.c == '/';
    }
    if (total > kMaxPictureSize) {
        *error = "the picture describes " + std::to_string(total) + " positions, more than " +
                 std::to_string(kMaxPictureSize);
        return std::nullopt;
    }
    if (letters) {
        for (const Symbol& s : symbols) {
            if (std::string_view("XA9B0/").find(s.c) == std::string_view::npos) {
                *error = (s.c == 'C' ? std::string("CR") : s.c == 'D' ? "DB" : std::string(1, s.c)) +
                         " cannot be used with X or A";
                return std::nullopt;
            }
        }
        picture.size = total;
        if (onlyA) {
            picture.category = Category::kAlphabetic;
        } else {
            picture.category = insertion ? Category::kAlphanumericEdited : Category::kAlphanumeric;
        }
        return picture;
    }
    bool edited = false;
    for (const Symbol& s : symbols) {
        edited = edited || std::string_view("9SVP").find(s.c) == std::string_view::npos;
    }
    if (!(edited ? ReadNumericEdited(symbols, &picture, error)
                 : ReadNumeric(symbols, &picture, error))) {
        return std::nullopt;
    }
    return picture;
}

}  // namespace layout
