#include "platform/bounded_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/text_case.h"

namespace platform {
namespace {

constexpr size_t kOptionSourceLimit = 255;  // FindOption sees this many characters at most
constexpr const char* kValueDelimiters = " ,;/";

bool IsWhite(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool IsSingleChar(std::string_view text, char c) {
    return text.size() == 1 && text[0] == c;
}

char* CopyBounded(char* destination, const char* source, size_t n) {
    if (destination == nullptr) return destination;
    size_t i = 0;
    if (source != nullptr) {
        for (; i < n && source[i] != '\0'; ++i) destination[i] = source[i];
    }
    destination[i] = '\0';
    return destination;
}

char* AppendBounded(char* destination, const char* source, size_t n) {
    if (destination == nullptr) return destination;
    size_t i = 0;
    while (i < n && destination[i] != '\0') ++i;
    if (source != nullptr) {
        while (i < n && *source != '\0') destination[i++] = *source++;
    }
    destination[i] = '\0';
    return destination;
}

bool FindOption(char* source, const char* option, char* value, size_t valueSize, bool removeOption,
                bool includeOption) {
    if (source == nullptr || option == nullptr || *option == '\0') return false;

    char work[kOptionSourceLimit + 1];
    CopyBounded(work, source, kOptionSourceLimit);
    for (char* p = work; *p != '\0'; ++p) *p = UpperCase(*p);

    const char* found = std::strstr(work, option);
    if (found == nullptr) return false;

    const size_t optionStart = static_cast<size_t>(found - work);
    const size_t optionLength = std::strlen(option);
    const size_t workLength = std::strlen(work);
    const size_t valueStart = optionStart + optionLength;

    size_t valueEnd;  // one past the value's last character
    const char first = work[valueStart];
    if (first == '"' || first == '\'') {
        const char* closing = std::strchr(work + valueStart + 1, first);
        valueEnd = closing != nullptr ? static_cast<size_t>(closing - work) + 1 : workLength;
    } else {
        valueEnd = valueStart + std::strcspn(work + valueStart, kValueDelimiters);
    }

    if (value != nullptr && valueSize > 0) {
        const size_t from = includeOption ? optionStart : valueStart;
        const size_t length = std::min(valueEnd - from, valueSize - 1);
        std::memcpy(value, work + from, length);
        value[length] = '\0';
    }

    if (removeOption) {
        // The copy holds the source's first characters, so its positions are the source's.
        const size_t sourceLength = std::strlen(source);
        std::memmove(source + optionStart, source + valueEnd, sourceLength - valueEnd + 1);
        size_t length = sourceLength - (valueEnd - optionStart);
        size_t lead = 0;
        while (lead < length && IsWhite(source[lead])) ++lead;
        while (length > lead && IsWhite(source[length - 1])) --length;
        std::memmove(source, source + lead, length - lead);
        source[length - lead] = '\0';
    }
    return true;
}

}  // namespace platform
