#include "platform/command_line_argv.h"

#include <cctype>
#include <string_view>

#include "platform/path.h"

namespace platform {
namespace {

bool HasDrive(std::string_view path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

void AppendArgument(std::string& line, std::string_view argument) {
    if (argument.find_first_of(" \t") != std::string_view::npos) {
        line += '"';
        line += argument;
        line += '"';
    } else {
        line += argument;
    }
}

}  // namespace

std::string AssembleCommandLine(int argc, char** argv) {
    std::string line;
    if (argv == nullptr) return line;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        std::string_view argument = argv[i];
        if (i > 1) line += ' ';
        if (i == 1 && !argument.empty()) {
            // The input file, split later at its backslashes.
            AppendArgument(
                line, HasDrive(argument) ? WithBackslashes(argument) : ToPlatformPath(argument));
        } else {
            AppendArgument(line, argument);
        }
    }
    return line;
}

}  // namespace platform
