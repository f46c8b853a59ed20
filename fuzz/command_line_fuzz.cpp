// The command line: splitting it into file, folder and directory name, looking options up in it
// (with every buffer size and both ways of removing them), and assembling it from an argument
// vector. The input up to its first zero byte is the command line; after it, zero-separated
// arguments for the assembly.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fsclient/dornapi.h"
#include "fuzz/fuzz_support.h"
#include "platform/bounded_text.h"
#include "platform/command_line_argv.h"

namespace {

constexpr size_t kMaxInput = 4096;

bool HasLowerCase(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
}

void Split(const std::string& line) {
    std::string directory = "unset", file = "unset", folder = "unset";
    const bool split = CDornApi::SplitCommandLine(line.c_str(), &directory, &file, &folder);
    if (split) {
        FUZZ_CHECK(!file.empty() && !directory.empty(), "a split line names file and directory");
        FUZZ_CHECK(!HasLowerCase(file) && !HasLowerCase(directory) && !HasLowerCase(folder),
                   "the parts of a split line are upper case");
        FUZZ_CHECK(file.find('\\') == std::string::npos, "the file name holds no backslash");
    }
    // Without a place for the directory name, only the file specification counts.
    std::string file2, folder2;
    const bool fileOnly = CDornApi::SplitCommandLine(line.c_str(), nullptr, &file2, &folder2);
    if (split) {
        FUZZ_CHECK(fileOnly && file2 == file && folder2 == folder,
                   "the file splits the same with or without the directory name");
    }
    (void)CDornApi::SplitCommandLine(line.c_str(), nullptr, nullptr, nullptr);
}

void LookUpOptions(const std::string& line) {
    for (const char* option : {"/D", "/NET:", "/NET=", "/", "\""}) {
        for (size_t valueSize : {size_t{1}, size_t{2}, size_t{9}, size_t{256}}) {
            for (int flags = 0; flags < 4; ++flags) {
                const bool remove = (flags & 1) != 0;
                const bool include = (flags & 2) != 0;
                // Buffers of exactly the sizes given, so that a write past them is caught.
                std::vector<char> source(line.begin(), line.end());
                source.push_back('\0');
                const std::string filler(valueSize - 1, 'x');
                std::vector<char> value(filler.c_str(), filler.c_str() + valueSize);
                const std::string valueBefore(value.data());
                const bool found = platform::FindOption(source.data(), option, value.data(),
                                                        valueSize, remove, include);
                const std::string after(source.data());
                FUZZ_CHECK(std::memchr(value.data(), '\0', valueSize) != nullptr,
                           "the value is terminated within its buffer");
                if (!found) {
                    FUZZ_CHECK(after == line.substr(0, line.find('\0')),
                               "a line without the option is left alone");
                    FUZZ_CHECK(valueBefore == value.data(), "no value without the option");
                    continue;
                }
                FUZZ_CHECK(!HasLowerCase(value.data()), "option values are upper case");
                if (include && valueSize > std::strlen(option)) {
                    FUZZ_CHECK(std::strncmp(value.data(), option, std::strlen(option)) == 0,
                               "the value begins with its option when asked to");
                }
                if (remove) {
                    FUZZ_CHECK(after.size() <= line.size(), "removing never lengthens the line");
                    FUZZ_CHECK(after.empty() ||
                                   (!std::isspace(static_cast<unsigned char>(after.front())) &&
                                    !std::isspace(static_cast<unsigned char>(after.back()))),
                               "the rest of the line is trimmed");
                }
            }
        }
    }
}

void BoundedText(const std::string& line) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{300}}) {
        std::vector<char> destination(n + 1, '#');
        platform::CopyBounded(destination.data(), line.c_str(), n);
        const size_t copied = std::strlen(destination.data());
        FUZZ_CHECK(copied <= n && line.compare(0, copied, destination.data()) == 0,
                   "a bounded copy is a cut of the source");
        platform::AppendBounded(destination.data(), line.c_str(), n);
        FUZZ_CHECK(std::strlen(destination.data()) <= n, "a bounded append keeps its bound");
    }
}

// Arguments as a user types them: a file of plain names and a directory name of letters and
// digits always split back to that file and directory name.
bool PlainFile(const std::string& text) {
    if (text.empty() || text.front() == '/' || text.back() == '/' || text.front() == ' ' ||
        text.back() == ' ' || text.find("//") != std::string::npos ||
        text.find("/ ") != std::string::npos || text.find(" /") != std::string::npos) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ' ' ||
               c == '/';
    });
}

void Assemble(std::string_view rest) {
    std::vector<std::string> arguments{"ordelin"};
    while (!rest.empty() && arguments.size() < 8) {
        const size_t zero = rest.find('\0');
        arguments.emplace_back(rest.substr(0, zero));
        rest.remove_prefix(zero == std::string_view::npos ? rest.size() : zero + 1);
    }
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string line =
        platform::AssembleCommandLine(static_cast<int>(arguments.size()), argv.data());
    Split(line);

    if (arguments.size() != 3 || !PlainFile(arguments[1]) || arguments[2].size() < 3 ||
        arguments[2].compare(0, 2, "/D") != 0 || arguments[2].size() > 64 ||
        !std::all_of(arguments[2].begin() + 2, arguments[2].end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
        return;
    }
    std::string directory, file, folder;
    FUZZ_CHECK(CDornApi::SplitCommandLine(line.c_str(), &directory, &file, &folder),
               "a plain command line splits: " + line);
    std::string expectedFile = arguments[1].substr(arguments[1].rfind('/') + 1);
    std::string expectedDirectory = arguments[2].substr(2);
    for (std::string* s : {&expectedFile, &expectedDirectory}) {
        for (char& c : *s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    FUZZ_CHECK(file == expectedFile, "the file comes back: " + line + " gave " + file);
    FUZZ_CHECK(directory == expectedDirectory,
               "the directory name comes back: " + line + " gave " + directory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::string line(input.substr(0, zero));
    Split(line);
    LookUpOptions(line);
    BoundedText(line);
    if (zero != std::string_view::npos) Assemble(input.substr(zero + 1));
    return 0;
}
