#include "platform/profile_text.h"

#include <cstddef>
#include <utility>

#include "platform/text_case.h"

namespace platform {
namespace {

constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";
// The name of the section a "[" without "]" opens: one that no section name (which never holds
// a line break) is equal to.
constexpr std::string_view kNoSectionName = "\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

ProfileText::ProfileText(std::string_view text) {
    if (text.substr(0, kUtf8Signature.size()) == kUtf8Signature) {
        signature = kUtf8Signature;
        text.remove_prefix(kUtf8Signature.size());
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        const size_t breakLength =
            (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        lines.push_back(Classify(std::string(text.substr(start, i - start)),
                                 std::string(text.substr(i, breakLength))));
        i += breakLength - 1;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(Classify(std::string(text.substr(start)), ""));
}

ProfileText::Line ProfileText::Classify(std::string text, std::string ending) {
    Line line;
    line.text = std::move(text);
    line.ending = std::move(ending);
    const std::string_view content = Trimmed(line.text);
    const size_t indent =
        content.empty() ? 0 : static_cast<size_t>(content.data() - line.text.data());
    if (content.empty()) {
        line.kind = Kind::kBlank;
    } else if (content.front() == ';' || content.front() == '#') {
        line.kind = Kind::kComment;
    } else if (content.front() == '[') {
        const size_t close = content.find(']');
        if (close == std::string_view::npos) {
            // The reader takes the entries below such a line into a section no name can ask
            // for: the line ends the section above it like a header, and opens no section.
            line.kind = Kind::kSection;
            line.name = kNoSectionName;
        } else {
            line.kind = Kind::kSection;
            line.name = Trimmed(content.substr(1, close - 1));
        }
    } else {
        const size_t equals = content.find('=');
        const std::string_view key = equals == std::string_view::npos
                                         ? std::string_view()
                                         : Trimmed(content.substr(0, equals));
        if (key.empty()) {
            line.kind = Kind::kUnknown;
        } else {
            line.kind = Kind::kEntry;
            line.name = key;
            // The blanks after '=' are kept with it, so "k = v" stays "k = w".
            line.valueAt = indent + equals + 1;
            while (line.valueAt < line.text.size() && IsBlank(line.text[line.valueAt])) {
                ++line.valueAt;
            }
        }
    }
    return line;
}

std::vector<ProfileText::Block> ProfileText::Blocks() const {
    std::vector<Block> blocks;
    Block current{kNoHeader, 0, 0, 0, ""};
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == Kind::kSection) {
            current.end = i;
            blocks.push_back(std::move(current));
            current = Block{i, i + 1, 0, i + 1, line.name};
        } else if (line.kind == Kind::kEntry || line.kind == Kind::kUnknown) {
            current.bodyEnd = i + 1;
        }
    }
    current.end = lines.size();
    blocks.push_back(std::move(current));
    return blocks;
}

std::string ProfileText::NewLineEnding() const {
    for (const Line& line : lines) {
        if (!line.ending.empty()) return line.ending;
    }
    return "\n";
}

void ProfileText::RemoveLines(const std::vector<size_t>& indices) {
    if (indices.empty()) return;
    std::vector<bool> doomed(lines.size(), false);
    for (size_t index : indices) doomed[index] = true;
    size_t kept = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (doomed[i]) continue;
        if (kept != i) lines[kept] = std::move(lines[i]);
        ++kept;
    }
    lines.resize(kept);
}

bool ProfileText::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    section = Trimmed(section);
    key = Trimmed(key);
    const std::vector<Block> blocks = Blocks();
    const Block* firstBlock = nullptr;
    size_t found = kNoHeader;
    std::vector<size_t> repeats;
    for (const Block& block : blocks) {
        if (!EqualsIgnoringCase(block.name, section)) continue;
        if (firstBlock == nullptr) firstBlock = &block;
        for (size_t i = block.begin; i < block.end; ++i) {
            if (lines[i].kind != Kind::kEntry || !EqualsIgnoringCase(lines[i].name, key)) continue;
            if (found == kNoHeader) {
                found = i;
            } else {
                repeats.push_back(i);
            }
        }
    }

    if (found != kNoHeader) {
        Line& line = lines[found];
        const bool same = Trimmed(std::string_view(line.text).substr(line.valueAt)) == value;
        if (!same) line.text = line.text.substr(0, line.valueAt) + std::string(value);
        RemoveLines(repeats);
        return !same || !repeats.empty();
    }

    const std::string ending = NewLineEnding();
    Line entry = Classify(std::string(key) + "=" + std::string(value), ending);
    if (firstBlock != nullptr) {
        const size_t at = firstBlock->bodyEnd;
        if (at > 0 && lines[at - 1].ending.empty()) lines[at - 1].ending = ending;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
        return true;
    }
    if (!lines.empty()) {
        if (lines.back().ending.empty()) lines.back().ending = ending;
        if (lines.back().kind != Kind::kBlank) lines.push_back(Classify("", ending));
    }
    lines.push_back(Classify("[" + std::string(section) + "]", ending));
    lines.push_back(std::move(entry));
    return true;
}

bool ProfileText::RemoveKey(std::string_view section, std::string_view key) {
    section = Trimmed(section);
    key = Trimmed(key);
    std::vector<size_t> entries;
    for (const Block& block : Blocks()) {
        if (!EqualsIgnoringCase(block.name, section)) continue;
        for (size_t i = block.begin; i < block.end; ++i) {
            if (lines[i].kind == Kind::kEntry && EqualsIgnoringCase(lines[i].name, key)) {
                entries.push_back(i);
            }
        }
    }
    RemoveLines(entries);
    return !entries.empty();
}

bool ProfileText::RemoveSection(std::string_view section) {
    section = Trimmed(section);
    std::vector<size_t> doomed;
    for (const Block& block : Blocks()) {
        if (!EqualsIgnoringCase(block.name, section)) continue;
        const size_t first = block.header == kNoHeader ? block.begin : block.header;
        for (size_t i = first; i < block.bodyEnd; ++i) doomed.push_back(i);
    }
    RemoveLines(doomed);
    return !doomed.empty();
}

std::string ProfileText::Text() const {
    std::string text = signature;
    for (const Line& line : lines) {
        text += line.text;
        text += line.ending;
    }
    return text;
}

}  // namespace platform
