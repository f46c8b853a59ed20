// Byte and text conversions of the `talvo` tool: hex, escaped display, JSON strings, numbers and
// key-field lists. Pure functions; none of them touches a file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talvo::tool {

// Upper-case hex of the bytes, two digits each, no separators ("" for no bytes).
std::string ToHex(std::span<const uint8_t> bytes);
std::string ToHex(std::string_view bytes);

// The bytes of a hex text (upper or lower case, an even number of digits, nothing else).
// Nothing when the text is not such a text.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

// Bytes for a person to read: printable ASCII as is, backslash and double quote escaped with a
// backslash, every other byte as \xHH. Reversible.
std::string EscapeBytes(std::string_view bytes);

// A JSON string literal (quotes included) for bytes taken one byte per character: printable
// ASCII as is, the rest as \u00HH, so every byte value survives a JSON parser.
std::string JsonString(std::string_view bytes);

// A whole decimal number in [minimum, maximum], without sign for non-negative ranges and with
// nothing around it. Nothing for anything else.
std::optional<uint64_t> ParseUnsigned(std::string_view text, uint64_t maximum);
std::optional<int64_t> ParseSigned(std::string_view text, int64_t minimum, int64_t maximum);

// A byte range of a record that contributes to a key.
struct KeyField {
    uint32_t position = 0;
    uint32_t length = 0;
};

// Parses "POS:LEN,POS:LEN,...": at least one field, each LEN at least 1, POS + LEN at most
// recordSize, lengths together exactly keySize. On failure returns nothing and sets *error to a
// one-line reason naming the offending field.
std::optional<std::vector<KeyField>> ParseKeyFields(std::string_view text, uint32_t recordSize,
                                                    uint32_t keySize, std::string* error);

// The key made of the fields' bytes of the record, end to end.
// REQUIRES: every field lies inside the record.
std::string AssembleKey(std::span<const uint8_t> record, const std::vector<KeyField>& fields);

// "YYYY-MM-DD HH:MM:SS" in local time, or "-" for time 0.
std::string FormatLocalTime(int64_t seconds);

}  // namespace talvo::tool
