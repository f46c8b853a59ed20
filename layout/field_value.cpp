#include "layout/field_value.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace layout {

namespace {

std::string HexByte(uint8_t b) {
    static const char kHex[] = "0123456789ABCDEF";
    return std::string{kHex[b >> 4], kHex[b & 15]};
}

FieldValue NotDecoded(std::span<const uint8_t> bytes, std::string reason) {
    return {false, HexBytes(bytes), std::move(reason)};
}

FieldValue Decoded(std::string text) {
    return {true, std::move(text), {}};
}

// Digits (as characters) with `scale` of them after the decimal point (negative: that many
// zeros to append), without needless leading zeros.
std::string Decimal(bool negative, std::string digits, int32_t scale) {
    if (scale < 0) digits.append(static_cast<size_t>(-scale), '0');
    size_t fraction = scale > 0 ? static_cast<size_t>(scale) : 0;
    if (digits.size() <= fraction) digits.insert(0, fraction + 1 - digits.size(), '0');
    size_t integerDigits = digits.size() - fraction;
    size_t lead = 0;
    while (lead + 1 < integerDigits && digits[lead] == '0') ++lead;
    std::string text = digits.substr(lead, integerDigits - lead);
    if (fraction > 0) text += "." + digits.substr(integerDigits);
    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    return (negative && !zero ? "-" : "") + text;
}

int32_t ScaleOf(const Item& item) {
    return item.picture ? item.picture->scale : 0;
}

// A printable ASCII character, or the start of a well-formed UTF-8 sequence: its length.
size_t TextCharLength(std::span<const uint8_t> bytes, size_t i) {
    const uint8_t b = bytes[i];
    if (b >= 0x20 && b < 0x7F) return 1;
    size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3
                                           : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0;
    }
    // No overlong forms, surrogates or values past U+10FFFF.
    if ((b == 0xE0 && bytes[i + 1] < 0xA0) || (b == 0xED && bytes[i + 1] >= 0xA0) ||
        (b == 0xF0 && bytes[i + 1] < 0x90) || (b == 0xF4 && bytes[i + 1] >= 0x90)) {
        return 0;
    }
    return length;
}

FieldValue Text(std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = TextCharLength(bytes, i);
        if (length == 0) {
            return NotDecoded(bytes, "not text: byte " + std::to_string(i) + " is " +
                                         HexByte(bytes[i]));
        }
        i += length;
    }
    return Decoded(std::string(bytes.begin(), bytes.end()));
}

// The digit and sign a zoned byte that carries the sign stands for.
std::optional<std::pair<char, bool>> SignedDigit(uint8_t b) {
    if (b >= '0' && b <= '9') return std::make_pair(static_cast<char>(b), false);
    if (b >= 0x70 && b <= 0x79) return std::make_pair(static_cast<char>('0' + b - 0x70), true);
    if (b == '{') return std::make_pair('0', false);
    if (b >= 'A' && b <= 'I') return std::make_pair(static_cast<char>('1' + b - 'A'), false);
    if (b == '}') return std::make_pair('0', true);
    if (b >= 'J' && b <= 'R') return std::make_pair(static_cast<char>('1' + b - 'J'), true);
    return std::nullopt;
}

FieldValue Zoned(const Item& item, std::span<const uint8_t> bytes) {
    const bool isSigned = item.picture && item.picture->isSigned;
    std::span<const uint8_t> digits = bytes;
    bool negative = false;
    std::string text;
    if (isSigned && item.signSeparate) {
        const size_t at = item.signLeading ? 0 : bytes.size() - 1;
        if (bytes[at] != '+' && bytes[at] != '-') {
            return NotDecoded(bytes, "not a number: the sign byte " + std::to_string(at) +
                                         " is " + HexByte(bytes[at]) + ", not + or -");
        }
        negative = bytes[at] == '-';
        digits = item.signLeading ? bytes.subspan(1) : bytes.first(bytes.size() - 1);
    }
    const size_t offset = isSigned && item.signSeparate && item.signLeading ? 1 : 0;
    const size_t signAt = item.signLeading ? 0 : digits.size() - 1;
    for (size_t i = 0; i < digits.size(); ++i) {
        const uint8_t b = digits[i];
        if (isSigned && !item.signSeparate && i == signAt) {
            auto digit = SignedDigit(b);
            if (!digit) {
                return NotDecoded(bytes, "not a number: byte " + std::to_string(i) + " is " +
                                             HexByte(b) + ", not a digit with a sign");
            }
            text += digit->first;
            negative = digit->second;
        } else if (b >= '0' && b <= '9') {
            text += static_cast<char>(b);
        } else {
            return NotDecoded(bytes, "not a number: byte " + std::to_string(i + offset) +
                                         " is " + HexByte(b) + ", not a digit");
        }
    }
    return Decoded(Decimal(negative, text, ScaleOf(item)));
}

FieldValue Packed(const Item& item, std::span<const uint8_t> bytes) {
    std::string digits;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t nibbles[2] = {static_cast<uint8_t>(bytes[i] >> 4),
                                    static_cast<uint8_t>(bytes[i] & 15)};
        for (int n = 0; n < 2; ++n) {
            if (i + 1 == bytes.size() && n == 1) break;
            if (nibbles[n] > 9) {
                return NotDecoded(bytes, "not packed decimal: byte " + std::to_string(i) +
                                             " holds the half-byte " + HexByte(nibbles[n]).substr(1) +
                                             ", not a digit");
            }
            digits += static_cast<char>('0' + nibbles[n]);
        }
    }
    const uint8_t sign = bytes.back() & 15;
    if (sign < 0xA) {
        return NotDecoded(bytes, "not packed decimal: the sign half-byte is " +
                                     HexByte(sign).substr(1) + ", not A to F");
    }
    return Decoded(Decimal(sign == 0xB || sign == 0xD, digits, ScaleOf(item)));
}

// The bytes as an unsigned number, most significant first when bigEndian.
uint64_t Unsigned(std::span<const uint8_t> bytes, bool bigEndian) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t b = bigEndian ? bytes[i] : bytes[bytes.size() - 1 - i];
        value = (value << 8) | b;
    }
    return value;
}

FieldValue Binary(const Item& item, std::span<const uint8_t> bytes, bool bigEndian) {
    if (bytes.size() > 8) return NotDecoded(bytes, "a binary number of more than 8 bytes");
    uint64_t value = Unsigned(bytes, bigEndian);
    bool negative = false;
    const bool isSigned = item.usage == Usage::kIndex || (item.picture && item.picture->isSigned);
    const unsigned bits = static_cast<unsigned>(bytes.size() * 8);
    if (isSigned && (value >> (bits - 1)) & 1) {
        negative = true;
        // The magnitude of the two's complement value of `bits` bits.
        value = bits == 64 ? ~value + 1 : ((uint64_t{1} << bits) - value);
    }
    return Decoded(Decimal(negative, std::to_string(value), ScaleOf(item)));
}

std::string Address(uint64_t value) {
    std::string text = "0x";
    for (int shift = 60; shift >= 0; shift -= 4) text += "0123456789ABCDEF"[(value >> shift) & 15];
    return text;
}

template <typename Float>
FieldValue FloatingPoint(std::span<const uint8_t> bytes) {
    Float value;
    std::memcpy(&value, bytes.data(), sizeof value);
    if (!std::isfinite(value)) {
        return NotDecoded(bytes, "not a number: the bytes are an infinity or NaN");
    }
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return NotDecoded(bytes, "not a number");
    return Decoded(std::string(buffer, end));
}

}  // namespace

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) text += HexByte(b);
    return text;
}

FieldValue DecodeField(const Item& item, std::span<const uint8_t> bytes) {
    if (bytes.size() != item.length || bytes.empty()) {
        return NotDecoded(bytes, "the field has " + std::to_string(item.length) + " bytes, not " +
                                     std::to_string(bytes.size()));
    }
    constexpr bool kNativeBig = std::endian::native == std::endian::big;
    switch (item.usage) {
        case Usage::kDisplay:
            if (!item.isGroup() && item.category == Category::kNumeric) return Zoned(item, bytes);
            return Text(bytes);
        case Usage::kBinary:
            if (item.isGroup()) return Text(bytes);
            return Binary(item, bytes, true);
        case Usage::kComp5:
        case Usage::kIndex:
            if (item.isGroup()) return Text(bytes);
            return Binary(item, bytes, kNativeBig);
        case Usage::kPacked:
            if (item.isGroup()) return Text(bytes);
            return Packed(item, bytes);
        case Usage::kFloat:
            if (item.isGroup() || bytes.size() != 4) return Text(bytes);
            return FloatingPoint<float>(bytes);
        case Usage::kDouble:
            if (item.isGroup() || bytes.size() != 8) return Text(bytes);
            return FloatingPoint<double>(bytes);
        case Usage::kPointer:
            if (item.isGroup()) return Text(bytes);
            return Decoded(Address(Unsigned(bytes, kNativeBig)));
    }
    return Text(bytes);
}

}  // namespace layout
