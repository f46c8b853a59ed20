#include "talvo/tool/bytes_text.h"

#include <charconv>
#include <ctime>

namespace talvo::tool {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsPrintable(uint8_t b) {
    return b >= 0x20 && b < 0x7F;
}

}  // namespace

std::string ToHex(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(kHexDigits[b >> 4]);
        out.push_back(kHexDigits[b & 0x0F]);
    }
    return out;
}

std::string ToHex(std::string_view bytes) {
    return ToHex(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexValue(text[i]);
        int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return out;
}

namespace {

// Appends the bytes with '\\' and '"' escaped and every byte outside printable ASCII written as
// `hexPrefix` and two hexadecimal digits.
void AppendEscaped(std::string& out, std::string_view bytes, const char* hexPrefix) {
    for (char c : bytes) {
        auto b = static_cast<uint8_t>(c);
        if (c == '\\' || c == '"') {
            out.push_back('\\');
            out.push_back(c);
        } else if (IsPrintable(b)) {
            out.push_back(c);
        } else {
            out += hexPrefix;
            out.push_back(kHexDigits[b >> 4]);
            out.push_back(kHexDigits[b & 0x0F]);
        }
    }
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendEscaped(out, bytes, "\\x");
    return out;
}

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    AppendEscaped(out, bytes, "\\u00");
    out.push_back('"');
    return out;
}

std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t maximum) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> ParseSigned(std::string_view text, int64_t minimum, int64_t maximum) {
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < minimum ||
        value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<KeyField>> ParseKeyFields(std::string_view text, uint32_t recordSize,
                                                    uint32_t keySize, std::string* error) {
    std::vector<KeyField> fields;
    uint64_t total = 0;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        std::string_view item = text.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        std::string label =
            "key field " + std::to_string(fields.size() + 1) + " \"" + std::string(item) + "\"";
        size_t colon = item.find(':');
        if (colon == std::string_view::npos) {
            *error = label + " is not POS:LEN";
            return std::nullopt;
        }
        auto pos = ParseUnsigned(item.substr(0, colon), UINT32_MAX);
        auto len = ParseUnsigned(item.substr(colon + 1), UINT32_MAX);
        if (!pos || !len) {
            *error = label + " is not POS:LEN with whole numbers";
            return std::nullopt;
        }
        if (*len == 0) {
            *error = label + " has length 0";
            return std::nullopt;
        }
        if (*pos + *len > recordSize) {
            *error = label + " ends at byte " + std::to_string(*pos + *len) +
                     ", past the record size " + std::to_string(recordSize);
            return std::nullopt;
        }
        total += *len;
        fields.push_back({static_cast<uint32_t>(*pos), static_cast<uint32_t>(*len)});
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (total > keySize) {
        *error = "the key fields make " + std::to_string(total) +
                 " bytes, more than the key size " + std::to_string(keySize);
        return std::nullopt;
    }
    if (total < keySize) {
        *error = "the key fields make " + std::to_string(total) +
                 " bytes, fewer than the key size " + std::to_string(keySize) +
                 "; give fields that fill the key (the rest would be zero bytes in every key)";
        return std::nullopt;
    }
    return fields;
}

std::string AssembleKey(std::span<const uint8_t> record, const std::vector<KeyField>& fields) {
    std::string key;
    for (const KeyField& f : fields) {
        key.append(reinterpret_cast<const char*>(record.data()) + f.position, f.length);
    }
    return key;
}

std::string FormatLocalTime(int64_t seconds) {
    if (seconds == 0) return "-";
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) return std::to_string(seconds);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    return n == 0 ? std::to_string(seconds) : std::string(buffer, n);
}

}  // namespace talvo::tool
