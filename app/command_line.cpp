#include "app/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "fsclient/dornapi.h"

namespace {

constexpr size_t kOptionSourceLimit = 255;  // FindOption sees this many characters at most
constexpr const char* kValueDelimiters = " ,;/";

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

void UpperInPlace(std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(), Upper);
}

bool IsWhite(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string Trimmed(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsWhite(text[first])) ++first;
    while (last > first && IsWhite(text[last - 1])) --last;
    return std::string(text.substr(first, last - first));
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
    for (char* p = work; *p != '\0'; ++p) *p = Upper(*p);

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

bool CDornApi::SplitCommandLine(const char* commandLine, std::string* directoryName,
                                std::string* fileName, std::string* folderPath) {
    std::string line = commandLine != nullptr ? commandLine : "";
    UpperInPlace(line);

    std::string fileSpec;
    if (!line.empty() && line[0] == '"') {
        const size_t closing = line.find('"', 1);
        if (closing == std::string::npos) return false;
        fileSpec = Trimmed(std::string_view(line).substr(1, closing - 1));
    } else {
        const size_t space = line.find(' ');
        fileSpec =
            space != std::string::npos ? Trimmed(std::string_view(line).substr(0, space)) : line;
    }

    const size_t backslash = fileSpec.rfind('\\');
    if (backslash == std::string::npos) return false;
    if (folderPath != nullptr) *folderPath = fileSpec.substr(0, backslash);
    const std::string name = fileSpec.substr(backslash + 1);
    if (fileName != nullptr) *fileName = name;
    if (name.empty()) return false;

    if (directoryName == nullptr) return true;

    *directoryName = line;
    const size_t option = directoryName->find("/D");
    if (option == std::string::npos) return false;
    *directoryName = directoryName->substr(option + 2);

    if (!directoryName->empty() && IsSingleChar(directoryName->substr(0, 1), '"')) {
        const size_t closing = directoryName->find('"', 1);
        if (closing == std::string::npos) return false;
        *directoryName = Trimmed(std::string_view(*directoryName).substr(1, closing - 1));
    } else {
        const size_t space = directoryName->find(' ');
        if (space != std::string::npos) directoryName->resize(space);
    }
    return !directoryName->empty();
}
