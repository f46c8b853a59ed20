#include "layout/field_ref.h"

#include <cctype>

#include "platform/text_case.h"

namespace layout {

namespace {

struct Reference {
    std::string name;
    std::vector<std::string> qualifiers;  // innermost first
    std::vector<uint32_t> subscripts;
    bool subscripted = false;
};

bool NameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

bool ReadSubscripts(std::string_view text, size_t* i, Reference* ref, std::string* error) {
    if (ref->subscripted) {
        *error = "a field takes one list of subscripts";
        return false;
    }
    ref->subscripted = true;
    const size_t close = text.find(')', *i);
    if (close == std::string_view::npos) {
        *error = "the subscripts have no closing parenthesis";
        return false;
    }
    std::string_view inside = text.substr(*i + 1, close - *i - 1);
    *i = close + 1;
    size_t j = 0;
    while (j < inside.size()) {
        if (inside[j] == ' ' || inside[j] == ',') {
            ++j;
            continue;
        }
        size_t end = j;
        while (end < inside.size() && std::isdigit(static_cast<unsigned char>(inside[end]))) ++end;
        if (end == j || (end < inside.size() && inside[end] != ' ' && inside[end] != ',')) {
            *error = "a subscript must be a whole number from 1, not \"" +
                     std::string(inside.substr(j, inside.find_first_of(" ,", j) - j)) + "\"";
            return false;
        }
        if (end - j > 9) {
            *error = "the subscript " + std::string(inside.substr(j, end - j)) + " is too large";
            return false;
        }
        ref->subscripts.push_back(static_cast<uint32_t>(std::stoul(std::string(inside.substr(j, end - j)))));
        j = end;
    }
    if (ref->subscripts.empty()) {
        *error = "the parentheses hold no subscript";
        return false;
    }
    return true;
}

bool Parse(std::string_view text, Reference* ref, std::string* error) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '(') {
            if (words.empty()) {
                *error = "the subscripts must follow a name";
                return false;
            }
            if (!ReadSubscripts(text, &i, ref, error)) return false;
        } else if (NameChar(c)) {
            std::string word;
            while (i < text.size() && NameChar(text[i])) {
                word += platform::UpperCase(text[i]);
                ++i;
            }
            words.push_back(std::move(word));
        } else {
            *error = std::string("\"") + c + "\" cannot stand in a field name";
            return false;
        }
    }
    if (words.empty()) {
        *error = "no field named";
        return false;
    }
    // NAME, then OF or IN before each qualifier.
    ref->name = words[0];
    for (size_t w = 1; w < words.size(); w += 2) {
        if (words[w] != "OF" && words[w] != "IN") {
            *error = "\"" + words[w] + "\" stands where OF or IN was expected";
            return false;
        }
        if (w + 1 == words.size()) {
            *error = "a name must follow " + words[w];
            return false;
        }
        ref->qualifiers.push_back(words[w + 1]);
    }
    return true;
}

// True when the qualifiers name groups the item lies in, in order from the inside out.
bool Qualifies(const Record& record, int index, const std::vector<std::string>& qualifiers) {
    int at = record.items[index].parent;
    for (const std::string& q : qualifiers) {
        while (at >= 0 && (record.items[at].filler || record.items[at].name != q)) {
            at = record.items[at].parent;
        }
        if (at < 0) return false;
        at = record.items[at].parent;
    }
    return true;
}

std::string Written(const Reference& ref) {
    std::string text = ref.name;
    for (const std::string& q : ref.qualifiers) text += " OF " + q;
    return text;
}

}  // namespace

std::optional<FieldRef> ResolveField(const Record& record, std::string_view reference,
                                     std::string* error) {
    Reference ref;
    if (!Parse(reference, &ref, error)) {
        *error = "\"" + std::string(reference) + "\": " + *error;
        return std::nullopt;
    }
    std::vector<int> matches;
    for (size_t i = 0; i < record.items.size(); ++i) {
        const Item& item = record.items[i];
        if (!item.filler && item.name == ref.name &&
            Qualifies(record, static_cast<int>(i), ref.qualifiers)) {
            matches.push_back(static_cast<int>(i));
        }
    }
    if (matches.empty()) {
        *error = "record " + record.name() + " has no field " + Written(ref);
        return std::nullopt;
    }
    if (matches.size() > 1) {
        *error = Written(ref) + " names more than one field of record " + record.name() + " (";
        for (size_t m = 0; m < matches.size(); ++m) {
            *error += (m ? "; " : "") + QualifiedName(record, matches[m]);
        }
        *error += "): qualify it with OF";
        return std::nullopt;
    }
    FieldRef field;
    field.item = matches.front();
    const std::vector<Dimension> dimensions = Dimensions(record, field.item);
    if (ref.subscripts.size() != dimensions.size()) {
        if (dimensions.empty()) {
            *error = Written(ref) + " is not in a table and takes no subscript";
        } else {
            std::string example;
            for (size_t d = 0; d < dimensions.size(); ++d) example += d ? ", 1" : "1";
            *error = Written(ref) + " lies in " + std::to_string(dimensions.size()) +
                     (dimensions.size() == 1 ? " table" : " tables") + " and needs " +
                     std::to_string(dimensions.size()) +
                     (dimensions.size() == 1 ? " subscript" : " subscripts") + ", as in " +
                     ref.name + "(" + example + ")";
        }
        return std::nullopt;
    }
    for (size_t d = 0; d < dimensions.size(); ++d) {
        const uint32_t s = ref.subscripts[d];
        if (s < 1 || s > dimensions[d].occurs) {
            *error = "subscript " + std::to_string(s) + " of " + Written(ref) +
                     " is out of range: " + record.items[dimensions[d].table].name + " occurs " +
                     std::to_string(dimensions[d].occurs) +
                     (dimensions[d].occurs == 1 ? " time" : " times");
            return std::nullopt;
        }
    }
    field.subscripts = ref.subscripts;
    field.position = OccurrenceOffset(record, field.item, field.subscripts);
    field.length = record.items[field.item].length;
    return field;
}

bool HoldsNonDisplayData(const Record& record, int index) {
    const Item& item = record.items[index];
    if (!item.isGroup()) return item.usage != Usage::kDisplay;
    for (int child : item.children) {
        if (HoldsNonDisplayData(record, child)) return true;
    }
    return false;
}

}  // namespace layout
