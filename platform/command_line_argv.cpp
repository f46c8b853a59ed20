#include "platform/command_line_argv.h"

#include <cctype>
#include <string_view>

#include "platform/path.h"
#include "platform/text_case.h"

namespace platform {
namespace {

bool HasDrive(std::string_view path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool HoldsSpace(std::string_view text) {
    return text.find_first_of(" \t") != std::string_view::npos;
}

void AppendQuoted(std::string& line, std::string_view text) {
    line += '"';
    line += text;
    line += '"';
}

// The length of the option the system reads its value from ("/D", "/NET:", "/NET=", in any
// case) at the start of the argument, or 0.
size_t OptionLength(std::string_view argument) {
    for (std::string_view option : {"/NET:", "/NET=", "/D"}) {
        if (StartsWithIgnoringCase(argument, option)) return option.size();
    }
    return 0;
}

// The input file: quoted whole when it holds a space.
void AppendFile(std::string& line, std::string_view file) {
    if (HoldsSpace(file)) {
        AppendQuoted(line, file);
    } else {
        line += file;
    }
}

void AppendArgument(std::string& line, std::string_view argument) {
    if (!HoldsSpace(argument)) {
        line += argument;
        return;
    }
    // The value of an option is read from right after the option: only a value in quotes may
    // hold a space, so the value is quoted rather than the whole argument. A value the user
    // quoted already is kept as given.
    const size_t option = OptionLength(argument);
    if (option == 0) {
        AppendQuoted(line, argument);
        return;
    }
    const std::string_view value = argument.substr(option);
    line += argument.substr(0, option);
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        line += value;
    } else {
        AppendQuoted(line, value);
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
            AppendFile(line,
                       HasDrive(argument) ? WithBackslashes(argument) : ToPlatformPath(argument));
        } else {
            AppendArgument(line, argument);
        }
    }
    return line;
}

}  // namespace platform
