// A small JSON reader for the tests: enough of the grammar to check what ordelin-batch prints
// (objects, arrays, strings with escapes, numbers, true, false, null). Strict: anything else,
// including text after the value, fails to parse.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
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
    // The member, or a null value when there is none (and the object is not one).
    const Value& operator[](const std::string& name) const {
        static const Value none;
        const auto it = members.find(name);
        return kind == Kind::Object && it != members.end() ? it->second : none;
    }
    bool Has(const std::string& name) const { return members.count(name) != 0; }
    uint64_t Count() const { return static_cast<uint64_t>(number); }
};

class Reader {
  public:
    explicit Reader(std::string_view text) : s(text) {}

    std::optional<Value> Parse() {
        Value v;
        if (!ReadValue(v)) return std::nullopt;
        Skip();
        if (i != s.size()) return std::nullopt;
        return v;
    }

  private:
    void Skip() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    }
    bool Literal(std::string_view word) {
        if (s.substr(i, word.size()) != word) return false;
        i += word.size();
        return true;
    }
    static void AppendUtf8(std::string& out, uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    bool ReadHex4(uint32_t& value) {
        if (i + 4 > s.size()) return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s[i++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }
    bool ReadString(std::string& out) {
        if (i >= s.size() || s[i] != '"') return false;
        ++i;
        while (i < s.size() && s[i] != '"') {
            const auto c = static_cast<unsigned char>(s[i]);
            if (c < 0x20) return false;  // control characters must be escaped
            if (c != '\\') {
                out += s[i++];
                continue;
            }
            if (++i >= s.size()) return false;
            const char e = s[i++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'u': {
                    uint32_t c16 = 0;
                    if (!ReadHex4(c16)) return false;
                    AppendUtf8(out, c16);
                    break;
                }
                default:
                    return false;
            }
        }
        if (i >= s.size()) return false;
        ++i;
        return true;
    }
    bool ReadNumber(Value& v) {
        const size_t start = i;
        if (i < s.size() && s[i] == '-') ++i;
        while (i < s.size() && ((s[i] >= '0' && s[i] <= '9') || s[i] == '.' || s[i] == 'e' ||
                                s[i] == 'E' || s[i] == '+' || s[i] == '-')) {
            ++i;
        }
        if (i == start) return false;
        v.kind = Value::Kind::Number;
        v.number = std::stod(std::string(s.substr(start, i - start)));
        return true;
    }
    bool ReadValue(Value& v) {
        Skip();
        if (i >= s.size()) return false;
        const char c = s[i];
        if (c == '{') {
            ++i;
            v.kind = Value::Kind::Object;
            Skip();
            if (i < s.size() && s[i] == '}') return ++i, true;
            for (;;) {
                Skip();
                std::string name;
                if (!ReadString(name)) return false;
                Skip();
                if (i >= s.size() || s[i++] != ':') return false;
                Value member;
                if (!ReadValue(member)) return false;
                if (!v.members.emplace(name, std::move(member)).second) return false;
                Skip();
                if (i >= s.size()) return false;
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                return s[i++] == '}';
            }
        }
        if (c == '[') {
            ++i;
            v.kind = Value::Kind::Array;
            Skip();
            if (i < s.size() && s[i] == ']') return ++i, true;
            for (;;) {
                Value item;
                if (!ReadValue(item)) return false;
                v.items.push_back(std::move(item));
                Skip();
                if (i >= s.size()) return false;
                if (s[i] == ',') {
                    ++i;
                    continue;
                }
                return s[i++] == ']';
            }
        }
        if (c == '"') {
            v.kind = Value::Kind::String;
            return ReadString(v.text);
        }
        if (Literal("true")) {
            v.kind = Value::Kind::Bool;
            v.boolean = true;
            return true;
        }
        if (Literal("false")) {
            v.kind = Value::Kind::Bool;
            return true;
        }
        if (Literal("null")) return true;
        return ReadNumber(v);
    }

    std::string_view s;
    size_t i = 0;
};

inline std::optional<Value> Parse(std::string_view text) {
    return Reader(text).Parse();
}

}  // namespace jsontest
