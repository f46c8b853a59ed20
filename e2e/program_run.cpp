#include "e2e/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string Digest(const std::string& bytes) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return std::to_string(bytes.size()) + ":" + std::to_string(hash);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// In the child: standard streams, limits and signals as asked, then the program. Output goes
// to pipes, which a file size limit does not cut.
[[noreturn]] void StartChild(const std::string& program, const std::vector<char*>& argv,
                             const std::vector<char*>& envp, const RunOptions& options,
                             const int outPipe[2], const int errPipe[2]) {
    const int in = ::open(options.input.c_str(), O_RDONLY);
    const int err = options.errorTerminal >= 0 ? options.errorTerminal : errPipe[1];
    if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(outPipe[1], 1) < 0 || ::dup2(err, 2) < 0) {
        ::_exit(126);
    }
    for (int fd : {in, outPipe[0], outPipe[1], errPipe[0], errPipe[1], options.errorTerminal,
                   options.terminalMaster}) {
        if (fd > 2) ::close(fd);
    }
    if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) ::_exit(126);
    if (options.umask) ::umask(*options.umask);
    if (options.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);  // kept across exec: a write past the limit fails instead
        const struct rlimit limit = {*options.fileSizeLimit, *options.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
}

// Reads what is there to read from fd into text; false at its end.
bool Drain(int fd, std::string* text) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) text->append(buffer, static_cast<size_t>(n));
    return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
}

}  // namespace

std::string RunResult::Describe() const {
    std::string text = timedOut      ? "timed out"
                       : signal != 0 ? "killed by signal " + std::to_string(signal)
                                     : "exit status " + std::to_string(exitCode);
    return text + "; standard output: \"" + out + "\"; standard error: \"" + err + "\"";
}

bool RunResult::SanitizerReport() const {
    for (const char* mark :
         {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer", "runtime error:"}) {
        if (err.find(mark) != std::string::npos) return true;
    }
    return false;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = options.environment;
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    RunResult result;
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("cannot start " + program);
    if (pid == 0) StartChild(program, argv, envp, options, outPipe, errPipe);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (options.errorTerminal >= 0) ::close(options.errorTerminal);
    if (options.started) options.started(pid);

    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    // A terminal's master reads EIO once the program and its children have closed the other side.
    struct pollfd fds[3] = {
        {outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {options.terminalMaster, POLLIN, 0}};
    std::string* texts[3] = {&result.out, &result.err, &result.terminal};
    int open = options.terminalMaster >= 0 ? 3 : 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            // Outlived its time: a hang.
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (::poll(fds, 3, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 3; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                !Drain(fds[i].fd, texts[i])) {
                if (i < 2) ::close(fds[i].fd);  // the master stays the caller's
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd >= 0) ::close(fds[i].fd);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

Scratch::Scratch() {
    std::string pattern = (fs::temp_directory_path() / "ordelin-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder");
    root_ = pattern;
    fs::create_directories(Path("home/share"));
    fs::create_directories(Path("windows"));
    const std::map<std::string, std::string> own = {
        {"HOME", Path("home")},
        {"XDG_DATA_HOME", Path("home/share")},
        {"TALVO_CONFIG", Path("talvo.ini")},
        {"ORDELIN_WINDIR", Path("windows")},
        {"TZ", "UTC"},
        {"QT_QPA_PLATFORM", "offscreen"},
    };
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (own.count(name) == 0 && !StartsWith(name, "ORDELIN_DRIVE_")) {
            environment_.push_back(entry);
        }
    }
    for (const auto& [name, value] : own) environment_.push_back(name + "=" + value);
}

Scratch::~Scratch() {
    // Folders a test made unreadable or unwritable are opened up again first.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::remove_all(root_, ec);
}

void Scratch::SetVariable(const std::string& name, const std::string& value) {
    RemoveVariable(name);
    environment_.push_back(name + "=" + value);
}

void Scratch::RemoveVariable(const std::string& name) {
    std::erase_if(environment_, [&](const std::string& e) { return StartsWith(e, name + "="); });
}

RunOptions Scratch::Options() const {
    RunOptions options;
    options.environment = environment_;
    options.workingFolder = root_;
    return options;
}

FolderState StateOf(const std::string& folder) {
    FolderState state;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& path = it->path();
        // The index's lock file holds the table of its current readers: every open writes it.
        if (path.filename().string().ends_with(".idx-lock")) continue;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        std::string entry = std::to_string(st.st_mode) + ":";
        if (S_ISLNK(st.st_mode)) {
            entry += fs::read_symlink(path, ec).string();
        } else if (S_ISREG(st.st_mode) && (st.st_mode & S_IRUSR) != 0) {
            entry += Digest(ReadFile(path.string()));
        }
        state[path.string()] = entry;
    }
    return state;
}

std::vector<std::string> Differences(const FolderState& before, const FolderState& after) {
    std::vector<std::string> changed;
    for (const auto& [path, entry] : before) {
        auto it = after.find(path);
        if (it == after.end() || it->second != entry) changed.push_back(path);
    }
    for (const auto& [path, entry] : after) {
        if (before.count(path) == 0) changed.push_back(path);
    }
    return changed;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace e2e
