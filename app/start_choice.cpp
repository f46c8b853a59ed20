#include "app/start_choice.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "fsclient/dornapi.h"
#include "platform/command_line_argv.h"
#include "platform/path.h"
#include "platform/text_case.h"

namespace {

namespace fs = std::filesystem;
using Field = StartChoiceVerdict::Field;

constexpr const char* kDefaultDirectoryName = "DAT";

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsWhite(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWhite(text.back())) text.remove_suffix(1);
    return text;
}

bool IsAsciiAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

StartChoiceVerdict Refused(Field field, std::string problem) {
    StartChoiceVerdict verdict;
    verdict.field = field;
    verdict.problem = std::move(problem);
    return verdict;
}

std::string Assemble(const std::string& file, const std::string& directoryName) {
    std::string program = "ordelin";
    std::string fileArgument = file;
    std::string option = "/D" + directoryName;
    std::vector<char*> argv{program.data(), fileArgument.data(), option.data(), nullptr};
    return platform::AssembleCommandLine(3, argv.data());
}

// What a path names on this host, by its status; nothing when it names nothing.
std::optional<fs::file_status> StatusOf(const fs::path& path) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return std::nullopt;
    return status;
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// The file the utility will open for `line` (split as the start-up splits it), or nothing when
// the split finds no folder and name in it.
std::optional<fs::path> FileOfCommandLine(const std::string& line) {
    std::string fileName;
    std::string folderPath;
    if (!CDornApi::SplitCommandLine(line.c_str(), nullptr, &fileName, &folderPath)) {
        return std::nullopt;
    }
    std::optional<std::string> host =
        platform::ToHostPath(platform::JoinPath(folderPath, fileName));
    if (!host) return std::nullopt;
    return fs::path(*host);
}

std::optional<StartChoiceVerdict> CheckFile(const std::string& file, const std::string& line) {
    if (Trimmed(file).empty()) {
        return Refused(Field::File, "Choose the input data file.");
    }
    const std::optional<fs::file_status> chosen = StatusOf(file);
    const std::optional<fs::path> opened = FileOfCommandLine(line);
    const std::optional<fs::file_status> reached =
        opened ? StatusOf(*opened) : std::optional<fs::file_status>();

    if (!chosen && !reached) {
        return Refused(Field::File, "There is no file " + Quoted(file) + ".");
    }
    // The file as the person named it, else (a platform path with a drive) as the utility
    // reaches it.
    const fs::file_status status = chosen ? *chosen : *reached;
    if (fs::is_directory(status)) {
        return Refused(Field::File, Quoted(file) + " is a folder: choose a data file in it.");
    }
    if (!fs::is_regular_file(status)) {
        return Refused(Field::File, Quoted(file) + " is not a data file.");
    }
    if (chosen && !(reached && SameFile(file, *opened))) {
        if (reached) {
            return Refused(Field::File,
                           "The utility reads file names in upper case, so it would open " +
                               Quoted(opened->string()) + " instead of " + Quoted(file) +
                               ". Rename one of them, or choose another file.");
        }
        return Refused(Field::File,
                       "The name " + Quoted(file) +
                           " cannot be passed to the utility whole (it holds a quote, or white "
                           "space at the end of a name). Rename it, or choose another file.");
    }
    return std::nullopt;
}

std::optional<StartChoiceVerdict> CheckDirectoryName(std::string_view name,
                                                     const std::string& line) {
    if (name.empty()) {
        return Refused(Field::DirectoryName,
                       "Type a directory name of 1 to 3 characters, for instance DAT.");
    }
    bool plain = true;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) plain = false;
        if (u <= 0x20 || u == 0x7F || c == '=' || c == '[' || c == ']' || c == ';') {
            return Refused(Field::DirectoryName,
                           "The directory name " + Quoted(name) +
                               " holds a space, a control character or one of = [ ] ;.");
        }
    }
    if (name.size() > kMaxStartDirectoryName) {
        return Refused(Field::DirectoryName,
                       "The directory name " + Quoted(name) + " is longer than 3 characters" +
                           (plain ? "." : " (a letter beyond plain ASCII counts as two or more)."));
    }
    std::string directoryName;
    if (!CDornApi::SplitCommandLine(line.c_str(), &directoryName, nullptr, nullptr) ||
        directoryName != platform::UpperCase(name)) {
        return Refused(Field::DirectoryName, "The directory name " + Quoted(name) +
                                                 " cannot be passed to the utility whole: it "
                                                 "may not begin with a quote.");
    }
    return std::nullopt;
}

}  // namespace

StartChoiceVerdict CheckStartChoice(const StartChoice& choice) {
    const std::string name(Trimmed(choice.directoryName));
    const std::string line = Assemble(choice.file, name);
    if (std::optional<StartChoiceVerdict> refused = CheckFile(choice.file, line)) return *refused;
    if (std::optional<StartChoiceVerdict> refused = CheckDirectoryName(name, line)) {
        return *refused;
    }
    StartChoiceVerdict verdict;
    verdict.commandLine = line;
    return verdict;
}

std::string SuggestedDirectoryName(std::string_view file) {
    auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    // The folder's name: the last name before the file's own.
    size_t end = file.size();
    while (end > 0 && isSeparator(file[end - 1])) --end;
    while (end > 0 && !isSeparator(file[end - 1])) --end;
    while (end > 0 && isSeparator(file[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !isSeparator(file[start - 1])) --start;

    std::string suggestion;
    for (size_t i = start; i < end && suggestion.size() < kMaxStartDirectoryName; ++i) {
        if (IsAsciiAlnum(file[i])) suggestion += platform::UpperCase(file[i]);
    }
    return suggestion.empty() ? kDefaultDirectoryName : suggestion;
}
