// CDornApi::SplitCommandLine: the command line's file specification and "/D" directory name.
//
// Command line (the text after the program name):
//   <file specification> /D<directory name> [/NET:<network name> | /NET=<network name>]
// The file specification is the first token, optionally in double quotes; "/D" and its value
// (optionally in double quotes) may stand anywhere. The network option is the connection's
// (CDornApi::ConnectFromCommandLine, through platform::FindOption).
#include <algorithm>
#include <cctype>
#include <string>

#include "fsclient/dornapi.h"
#include "platform/bounded_text.h"
#include "platform/text_case.h"

namespace {

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

bool CDornApi::SplitCommandLine(const char* commandLine, std::string* directoryName,
                                std::string* fileName, std::string* folderPath) {
    std::string line = platform::UpperCase(commandLine != nullptr ? commandLine : "");

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

    if (!directoryName->empty() && platform::IsSingleChar(directoryName->substr(0, 1), '"')) {
        const size_t closing = directoryName->find('"', 1);
        if (closing == std::string::npos) return false;
        *directoryName = Trimmed(std::string_view(*directoryName).substr(1, closing - 1));
    } else {
        const size_t space = directoryName->find(' ');
        if (space != std::string::npos) directoryName->resize(space);
    }
    return !directoryName->empty();
}
