// A small, strict JSON reader for the tests: objects, arrays, strings with escapes, numbers,
// true, false and null; anything else, text after the value included, fails to parse.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace jsontest {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::map<std::string, Value> members;

    bool IsNull() const { return kind == Kind::Null; }
    // The member; a null value when there is none.
    const Value& operator[](const std::string& name) const {
        static const Value none;
        const auto it = members.find(name);
        return it != members.end() ? it->second : none;
    }
    bool Has(const std::string& name) const { return members.count(name) != 0; }
    uint64_t Count() const { return static_cast<uint64_t>(number); }
};

class Reader {
  public:
    explicit Reader(std::string_view text) : s(text) {}
    std::optional<Value> Parse() {
        Value v;
        if (!Read(v)) return std::nullopt;
        Skip();
        return i == s.size() ? std::optional<Value>(std::move(v)) : std::nullopt;
    }

  private:
    void Skip() {
        while (i < s.size() && std::string_view(" \t\r\n").find(s[i]) != std::string_view::npos) {
            ++i;
        }
    }
    bool Take(char c) {
        Skip();
        if (i >= s.size() || s[i] != c) return false;
        ++i;
        return true;
    }
    bool Word(std::string_view word) {
        if (s.substr(i, word.size()) != word) return false;
        i += word.size();
        return true;
    }
    // \uXXXX (no surrogate pairs: the program never writes them) as UTF-8.
    bool Unicode(std::string& out) {
        if (i + 4 > s.size()) return false;
        const std::string hex(s.substr(i, 4));
        if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
        i += 4;
        const auto c = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        while (i < s.size() && s[i] != '"') {
            if (static_cast<unsigned char>(s[i]) < 0x20) return false;
            if (s[i] != '\\') {
                out += s[i++];
                continue;
            }
            if (++i >= s.size()) return false;
            const char e = s[i++];
            const size_t simple = std::string_view("\"\\/bfnrt").find(e);
            if (simple != std::string_view::npos) {
                out += "\"\\/\b\f\n\r\t"[simple];
            } else if (e != 'u' || !Unicode(out)) {
                return false;
            }
        }
        return Take('"');
    }
    bool Read(Value& v) {
        Skip();
        if (i >= s.size()) return false;
        if (Take('{')) {
            v.kind = Value::Kind::Object;
            if (Take('}')) return true;
            do {
                std::string name;
                Value member;
                if (!String(name) || !Take(':') || !Read(member)) return false;
                if (!v.members.emplace(std::move(name), std::move(member)).second) return false;
            } while (Take(','));
            return Take('}');
        }
        if (Take('[')) {
            v.kind = Value::Kind::Array;
            if (Take(']')) return true;
            do {
                v.items.emplace_back();
                if (!Read(v.items.back())) return false;
            } while (Take(','));
            return Take(']');
        }
        if (s[i] == '"') {
            v.kind = Value::Kind::String;
            return String(v.text);
        }
        if (Word("null")) return true;
        if (Word("true")) {
            v.kind = Value::Kind::Bool;
            v.boolean = true;
            return true;
        }
        if (Word("false")) {
            v.kind = Value::Kind::Bool;
            return true;
        }
        const size_t start = i;
        while (i < s.size() &&
               std::string_view("+-.0123456789eE").find(s[i]) != std::string::npos) {
            ++i;
        }
        if (i == start) return false;
        v.kind = Value::Kind::Number;
        v.number = std::stod(std::string(s.substr(start, i - start)));
        return true;
    }

    std::string_view s;
    size_t i = 0;
};

inline std::optional<Value> Parse(std::string_view text) {
    return Reader(text).Parse();
}

}  // namespace jsontest
