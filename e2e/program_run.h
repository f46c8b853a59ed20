// Running the built programs as a user would, for the end-to-end tests: a scratch folder with
// its own settings, configuration and home, a child process with arguments, environment,
// standard input, working folder and (to fill a disk without a mount) a file size limit, and
// what it left behind: exit status, standard output and error, and the files it changed.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct RunOptions {
    std::vector<std::string> environment;  // the whole environment, "NAME=value" each
    std::string input = "/dev/null";       // standard input
    std::string workingFolder;             // empty: the caller's
    // Files may grow to at most this many bytes (SIGXFSZ ignored: a write past it fails with
    // EFBIG, as on a full disk).
    std::optional<uint64_t> fileSizeLimit;
    std::optional<mode_t> umask;  // the file mode creation mask, else the caller's
    int timeoutSeconds = 60;
    // A terminal for standard error instead of a pipe: the descriptor of its other side (taken
    // over and closed once the program runs) and its master, read into RunResult::terminal
    // while the program runs, so that it never waits on a full terminal.
    int errorTerminal = -1;
    int terminalMaster = -1;
    // Called with the program's process id once it runs (from the thread that runs it), for a
    // test that signals it or watches what it does while it runs.
    std::function<void(pid_t)> started;
};

struct RunResult {
    int exitCode = -1;  // -1 when it did not exit
    int signal = 0;     // the signal that ended it, 0 when it exited
    bool timedOut = false;
    std::string out;
    std::string err;
    std::string terminal;  // what the program wrote to RunOptions::errorTerminal

    // The exit status as a shell tells it: 128 + the signal for a program a signal ended.
    int Status() const { return signal != 0 ? 128 + signal : exitCode; }
    // A one-line account for test failures.
    std::string Describe() const;
    // True when standard error shows a sanitizer's report.
    bool SanitizerReport() const;
};

// Runs `program` with `arguments` (without the program name) and waits for it; a program that
// outlives the timeout is killed and counts as timed out.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options);

// A scratch folder for one test: removed with everything in it at the end. Its environment is
// the process's with HOME, XDG_DATA_HOME, TALVO_CONFIG and ORDELIN_WINDIR pointing into the
// folder, TZ=UTC and no display (QT_QPA_PLATFORM=offscreen).
class Scratch {
  public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& root() const { return root_; }
    std::string Path(const std::string& name) const { return root_ + "/" + name; }
    const std::vector<std::string>& environment() const { return environment_; }
    // Sets (or with an empty value keeps but empties) a variable of the environment.
    void SetVariable(const std::string& name, const std::string& value);
    void RemoveVariable(const std::string& name);
    RunOptions Options() const;

  private:
    std::string root_;
    std::vector<std::string> environment_;
};

// What a folder holds: every file below it by path, with a digest of its bytes and its mode.
using FolderState = std::map<std::string, std::string>;
FolderState StateOf(const std::string& folder);
// The paths whose entries differ between two states (added, removed or changed).
std::vector<std::string> Differences(const FolderState& before, const FolderState& after);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace e2e
