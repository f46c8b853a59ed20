// What every command of the `talvo` tool shares: its failure type, naming a file by path or
// through the directory table, and an open file that is always closed.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "talvo/engine.h"

namespace talvo::tool {

// Exit statuses of the tool.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the command failed, or check found problems
constexpr int kExitUsage = 2;    // the command line is wrong

// A command's failure: a one-line text for standard error and the exit status. Thrown only
// before a command changes anything, or when it has undone what it changed, unless the text
// says otherwise.
class ToolError : public std::runtime_error {
  public:
    explicit ToolError(const std::string& what, int exitCode = kExitFailure)
        : std::runtime_error(what), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

inline ToolError UsageError(const std::string& what) {
    return ToolError(what, kExitUsage);
}

// The user's text for a failed status.
std::string StatusText(const Status& status);
// Throws ToolError("<context>: <status text>") when the status failed.
void Require(const Status& status, const std::string& context);

// Where the command's messages go.
struct Console {
    std::ostream& out;
    std::ostream& err;
};

// A file as the user named it: a host path, or a name inside a directory of the table.
struct FileRef {
    std::string file;
    std::string dir;  // empty: `file` is a host path
};

// The host path of the file. Throws ToolError when the directory is not in the table, or its
// drive is unavailable. As in the component, an entry without a path or with a name the table
// refuses names no directory.
std::string ResolveFile(const FileRef& ref);

// One open data file of an engine; closed when it goes out of scope. Close() reports the
// outcome of the commit, which the destructor cannot.
class OpenedFile {
  public:
    // Throws ToolError naming the path when the engine refuses to open it.
    OpenedFile(Engine& engine, const std::string& hostPath);
    ~OpenedFile();
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    DataFile& operator*() const { return *file_; }
    DataFile* operator->() const { return file_.get(); }
    const std::string& path() const { return path_; }

    // Commits and closes; throws ToolError when the commit fails.
    void Close();
    // Commits and closes; the outcome of the commit (a failed one leaves the file as its last
    // commit left it).
    Status TryClose();

  private:
    Engine& engine_;
    std::string path_;
    std::shared_ptr<DataFile> file_;
};

inline std::span<const uint8_t> AsBytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

bool IsKeyed(FileType type);
// "4 (keyed)" and the like.
std::string TypeText(FileType type);

}  // namespace talvo::tool
