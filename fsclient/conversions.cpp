// How texts, bytes and numbers cross into the component. Texts go through the code page; key
// and record bytes never do: each byte travels as one 16-bit unit, so every value 0 to 255
// comes back unchanged.
#include <algorithm>
#include <new>

#include "fsclient/dornapi.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/wide_bytes.h"

CDornApi::WideString CDornApi::TextToWide(const char* text) {
    if (text == nullptr) return std::nullopt;
    try {
        return platform::NarrowToWide(text);
    } catch (const std::bad_alloc&) {
        throw platform::MemoryException();
    }
}

std::string CDornApi::WideToText(const WideString& text) {
    if (!text) return {};
    std::optional<std::string> narrow = platform::WideToNarrow(*text);
    return narrow ? std::move(*narrow) : std::string();
}

CDornApi::WideString CDornApi::BytesToWide(const uint8_t* bytes, int32_t length) {
    if (bytes == nullptr || length <= 0) return std::u16string();
    try {
        // Zero-extension of each byte: no code page is involved.
        std::u16string wide(static_cast<size_t>(length), u'\0');
        platform::WidenBytes(bytes, wide.size(), wide.data());
        return wide;
    } catch (const std::bad_alloc&) {
        throw platform::MemoryException();
    }
}

void CDornApi::BytesToWideInto(const uint8_t* bytes, int32_t length, WideString& wide) {
    try {
        if (!wide) wide.emplace();
        const size_t count = bytes == nullptr || length <= 0 ? 0 : static_cast<size_t>(length);
        wide->resize(count);
        platform::WidenBytes(bytes, count, wide->data());  // as BytesToWide does
    } catch (const std::bad_alloc&) {
        throw platform::MemoryException();
    }
}

int32_t CDornApi::WideToBytes(const WideString& text, uint8_t* destination, int32_t maximum) {
    const size_t length = platform::WideLength(text);
    if (maximum <= 0 || length == 0 || destination == nullptr) return 0;
    const int32_t count = static_cast<int32_t>(std::min<size_t>(length, maximum));
    platform::NarrowUnits(text->data(), static_cast<size_t>(count), destination);
    return count;
}

CDornApi::Variant CDornApi::KeyVariant(const uint8_t* bytes, int32_t length) {
    Variant v;
    v.vt = platform::VT_BSTR;
    v.bstrVal = BytesToWide(bytes, length);
    return v;
}

void CDornApi::KeyVariantInto(const uint8_t* bytes, int32_t length, Variant& variant) {
    variant.vt = platform::VT_BSTR;
    variant.lVal = 0;
    BytesToWideInto(bytes, length, variant.bstrVal);
}

CDornApi::Variant CDornApi::NumberVariant(int32_t n) {
    Variant v;
    v.vt = platform::VT_I4;
    v.lVal = n;
    return v;
}
