#include "layout/source_text.h"

namespace layout {

namespace {

constexpr size_t kIndicatorColumn = 6;  // column 7, from 0
constexpr size_t kCodeColumn = 7;       // column 8
constexpr size_t kCodeWidth = 65;       // columns 8 to 72
constexpr size_t kTabWidth = 8;

// The lines of the text without their line ends (and without the CR of a CR LF).
std::vector<std::string_view> SplitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Tabs to spaces up to the next stop; form feeds, vertical tabs and carriage returns (page and
// line breaks of old sources) to a space each.
std::string ExpandTabs(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        if (c == '\t') {
            out.append(kTabWidth - out.size() % kTabWidth, ' ');
        } else if (c == '\f' || c == '\v' || c == '\r') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

std::string Shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 0x20 && u < 0x7F) return std::string("'") + c + "'";
    static const char kHex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 15];
}

// Builds the running text line by line, keeping track of a literal left open at a line's end.
class Joiner {
  public:
    explicit Joiner(SourceText* out) : out_(out) {}

    // Appends the code of a line that begins a new piece of text.
    bool AddLine(uint32_t line, std::string_view code, bool fixed, SourceError* error) {
        if (quote_ != 0) return UnclosedLiteral(error);
        if (!out_->text.empty()) Put('\n', line);
        return Scan(line, code, 0, fixed, error);
    }

    // Appends the code of a continuation line (fixed form).
    bool AddContinuation(uint32_t line, std::string_view code, SourceError* error) {
        if (out_->text.empty()) {
            *error = {line, "a continuation line (- in column 7) must follow a line of code"};
            return false;
        }
        size_t start = code.find_first_not_of(' ');
        if (start == std::string_view::npos) start = code.size();
        code.remove_prefix(start);
        if (quote_ != 0) {
            if (code.empty() || (code[0] != '"' && code[0] != '\'')) {
                *error = {line, "the literal continued from line " + std::to_string(lastLine_) +
                                    " must go on after a quote in this line"};
                return false;
            }
            code.remove_prefix(1);
            ++start;
        }
        return Scan(line, code, start, true, error);
    }

    bool Finish(SourceError* error) { return quote_ == 0 || UnclosedLiteral(error); }

  private:
    void Put(char c, uint32_t line) {
        out_->text += c;
        out_->lines.push_back(line);
    }

    bool UnclosedLiteral(SourceError* error) {
        *error = {lastLine_, "a literal is not closed in this line (a literal goes on in a "
                             "continuation line, with - in column 7)"};
        return false;
    }

    // Appends the code, which begins `column` columns into the code area.
    bool Scan(uint32_t line, std::string_view code, size_t column, bool fixed,
              SourceError* error) {
        lastLine_ = line;
        const size_t begin = out_->text.size();
        for (size_t i = 0; i < code.size(); ++i) {
            const char c = code[i];
            if (quote_ == 0) {
                if (c == '*' && i + 1 < code.size() && code[i + 1] == '>') break;
                if (c == '"' || c == '\'') quote_ = c;
            } else if (c == quote_) {
                if (i + 1 < code.size() && code[i + 1] == quote_) {
                    Put(c, line);
                    ++i;
                } else {
                    quote_ = 0;
                }
            }
            Put(c, line);
        }
        if (quote_ == 0) {
            while (out_->text.size() > begin && out_->text.back() == ' ') {
                out_->text.pop_back();
                out_->lines.pop_back();
            }
            return true;
        }
        if (!fixed) {
            *error = {line, "a literal is not closed in this line"};
            return false;
        }
        // A literal left open runs to column 72, spaces included.
        for (size_t n = column + code.size(); n < kCodeWidth; ++n) Put(' ', line);
        return true;
    }

    SourceText* out_;
    char quote_ = 0;
    uint32_t lastLine_ = 0;
};

bool Directive(std::string_view code, uint32_t line, SourceError* error) {
    size_t start = code.find_first_not_of(' ');
    if (start != std::string_view::npos && code.substr(start, 2) == ">>") {
        *error = {line, "compiler directives (>>) are not read in a copybook"};
        return true;
    }
    return false;
}

}  // namespace

SourceFormat DetectFormat(std::string_view copybook) {
    for (std::string_view raw : SplitLines(copybook)) {
        std::string line = ExpandTabs(raw);
        if (Blank(line)) continue;
        size_t first = line.find_first_not_of(' ');
        if (first <= kIndicatorColumn &&
            (line.compare(first, 2, "*>") == 0 || line.compare(first, 2, ">>") == 0)) {
            return SourceFormat::kFree;
        }
        if (line.size() > kIndicatorColumn &&
            std::string_view(" */-Dd").find(line[kIndicatorColumn]) == std::string_view::npos) {
            return SourceFormat::kFree;
        }
    }
    return SourceFormat::kFixed;
}

bool ReadSource(std::string_view copybook, SourceFormat format, SourceText* out,
                SourceError* error) {
    if (format == SourceFormat::kDetect) format = DetectFormat(copybook);
    const bool fixed = format == SourceFormat::kFixed;
    *out = {};
    Joiner joiner(out);
    uint32_t number = 0;
    for (std::string_view raw : SplitLines(copybook)) {
        ++number;
        std::string line = ExpandTabs(raw);
        if (!fixed) {
            if (Directive(line, number, error)) return false;
            if (!joiner.AddLine(number, line, false, error)) return false;
            continue;
        }
        if (line.size() <= kIndicatorColumn) continue;  // at most a sequence number
        const char indicator = line[kIndicatorColumn];
        std::string_view code = std::string_view(line).substr(kCodeColumn);
        code = code.substr(0, kCodeWidth);
        switch (indicator) {
            case '*':
            case '/':
            case 'D':
            case 'd':
                continue;
            case ' ':
                if (Blank(code)) continue;
                if (Directive(code, number, error)) return false;
                if (!joiner.AddLine(number, code, true, error)) return false;
                break;
            case '-':
                if (!joiner.AddContinuation(number, code, error)) return false;
                break;
            default:
                *error = {number, "column 7 holds " + Shown(indicator) +
                                      "; in fixed form it is a space, * or / (comment), D or - "
                                      "(continuation)"};
                return false;
        }
    }
    return joiner.Finish(error);
}

}  // namespace layout
