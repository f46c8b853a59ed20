#include "app/input_path.h"

#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/command_line_argv.h"
#include "platform/path.h"

namespace {

namespace fs = std::filesystem;

bool HasDrive(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// The file the start-up splits out of the command line main() makes of `file`; nothing when the
// split finds no folder and name, or their drive is unavailable.
std::optional<std::string> FileReached(const std::string& file) {
    std::string program = "ordelin";
    std::string argument = file;
    std::vector<char*> argv{program.data(), argument.data(), nullptr};
    const std::string line = platform::AssembleCommandLine(2, argv.data());
    std::string name;
    std::string folder;
    if (!CDornApi::SplitCommandLine(line.c_str(), nullptr, &name, &folder)) return std::nullopt;
    return platform::ToHostPath(platform::JoinPath(folder, name));
}

// The file `file` names: a host path as the system finds it (exactly, else its names without
// regard to case, as the platform finds names); a path with a drive as the platform finds it.
std::optional<std::string> FileNamed(const std::string& file) {
    if (HasDrive(file)) return platform::ToHostPath(platform::WithBackslashes(file));
    if (Exists(file)) return file;
    return platform::ToHostPath(platform::ToPlatformPath(file));
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

std::optional<std::string> CommandLineFileProblem(const std::string& file) {
    if (file.empty()) return std::nullopt;  // no file at all: the start-up's split says so
    const std::string named = Quoted(file);
    if (file.find('"') != std::string::npos) {
        return "the input file " + named +
               " holds a double quote, which the command line cannot carry: rename the file or "
               "its folder";
    }
    if (!HasDrive(file) && file.find('\\') != std::string::npos) {
        return "the input file " + named +
               " holds a backslash, which the command line reads as a folder separator: rename "
               "the file or its folder, or write the path with a drive and backslashes "
               "(Z:\\data\\cust)";
    }
    if (!file.empty() && std::isspace(static_cast<unsigned char>(file.back()))) {
        return "the input file " + named +
               " ends in white space, which the command line drops: rename the file";
    }
    const std::optional<std::string> meant = FileNamed(file);
    const std::optional<std::string> reached = FileReached(file);
    const bool meantExists = meant && Exists(*meant);
    const bool reachedExists = reached && Exists(*reached);
    if (!meantExists && !reachedExists) return std::nullopt;
    if (meantExists && reachedExists && SameFile(*meant, *reached)) return std::nullopt;
    if (reachedExists) {
        return "the input file " + named + " would be read as " + Quoted(*reached) +
               ", another file: the command line reads names in upper case and \"..\" without "
               "following links";
    }
    return "the input file " + named +
           " cannot be reached through the command line, which reads names in upper case and "
           "\"..\" without following links";
}
