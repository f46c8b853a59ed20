#include "powerloss/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>


extern char** environ;

namespace powerloss {
namespace {

// A temporary file for a child's output, already unlinked; -1 when none can be made.
int OutputFile() {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                       "/powerloss-out-XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(path.c_str());
    return fd;
}

std::string ReadAll(int fd) {
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char buffer[8192];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

// Waits for the child up to the deadline; true when it ended (*wstatus set).
bool WaitFor(pid_t pid, int timeoutSeconds, int* wstatus) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        const pid_t done = ::waitpid(pid, wstatus, WNOHANG);
        if (done == pid) {
            if (pidfd >= 0) ::close(pidfd);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    return false;
}

}  // namespace

std::string ProcessResult::Describe() const {
    if (!problem.empty()) return problem;
    std::string text = timedOut ? "timed out" : "exit status " + std::to_string(status);
    if (!err.empty()) text += "; standard error: " + err;
    if (!out.empty()) text += "; standard output: " + out;
    return text;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& folder,
                         int timeoutSeconds) {
    ProcessResult result;
    if (argv.empty()) {
        result.problem = "no program to run";
        return result;
    }
    const int out = OutputFile();
    const int err = OutputFile();
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || err < 0 || in < 0) {
        result.problem = std::string("cannot make files for a program's output: ") +
                         std::strerror(errno);
        for (int fd : {out, err, in}) {
            if (fd >= 0) ::close(fd);
        }
        return result;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& v : environment) env.push_back(const_cast<char*>(v.c_str()));
    env.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
        if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(126);
        ::execve(args[0], args.data(), env.data());
        const char text[] = "powerloss: cannot start the program\n";
        (void)!::write(2, text, sizeof text - 1);
        ::_exit(127);
    }
    ::close(in);
    if (pid < 0) {
        result.problem = std::string("cannot start a program: ") + std::strerror(errno);
        ::close(out);
        ::close(err);
        return result;
    }
    result.pid = pid;
    int wstatus = 0;
    if (!WaitFor(pid, timeoutSeconds, &wstatus)) {
        result.timedOut = true;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wstatus, 0);
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus)
                    : WIFSIGNALED(wstatus) ? 128 + WTERMSIG(wstatus)
                                           : -1;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    ::close(out);
    ::close(err);
    return result;
}

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> env;
    for (char** v = environ; v != nullptr && *v != nullptr; ++v) env.emplace_back(*v);
    return env;
}

void SetVariable(std::vector<std::string>* environment, const std::string& name,
                 const std::string& value) {
    const std::string prefix = name + "=";
    for (std::string& v : *environment) {
        if (v.compare(0, prefix.size(), prefix) == 0) {
            v = prefix + value;
            return;
        }
    }
    environment->push_back(prefix + value);
}

}  // namespace powerloss
