#include "powerloss/record_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "powerloss/crash_states.h"
#include "powerloss/folder_state.h"

namespace powerloss {
namespace {

std::string ValueOf(const std::vector<std::string>& environment, const std::string& name) {
    const std::string prefix = name + "=";
    for (const std::string& v : environment) {
        if (v.compare(0, prefix.size(), prefix) == 0) return v.substr(prefix.size());
    }
    return "";
}

bool AppendEvent(const std::string& path, const Event& e) {
    const std::string bytes = Encode(e);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    return ok;
}

}  // namespace

bool ReadLog(const std::string& path, std::vector<Event>* log, std::string* problem) {
    std::string bytes;
    if (!ReadWholeFile(path, &bytes)) {
        *problem = "cannot read the log " + path;
        return false;
    }
    log->clear();
    return Decode(bytes, log, problem);
}

bool RecordRun(const RecordOptions& options, RecordResult* result) {
    *result = RecordResult{};
    struct stat st {};
    if (::stat(options.log.c_str(), &st) != 0 || st.st_size == 0) {
        if (!WriteBase(options.root, options.log, &result->problem)) return false;
    }
    std::vector<std::string> env = options.environment;
    const std::string preload = ValueOf(env, "LD_PRELOAD");
    SetVariable(&env, "LD_PRELOAD",
                preload.empty() ? options.recorder : options.recorder + ":" + preload);
    SetVariable(&env, "POWERLOSS_ROOT", options.root);
    SetVariable(&env, "POWERLOSS_LOG", options.log);
    SetVariable(&env, "POWERLOSS_FAIL_AT", options.failAt == 0 ? "" : std::to_string(options.failAt));
    SetVariable(&env, "POWERLOSS_FAIL_ERRNO", options.failErrno);
    SetVariable(&env, "POWERLOSS_FAIL_CALL", options.failCall);
#if defined(__SANITIZE_ADDRESS__)
    // The programs of a sanitizer build want the sanitizer's library first; the recorder comes
    // before it and hands every call on.
    const std::string asan = ValueOf(env, "ASAN_OPTIONS");
    SetVariable(&env, "ASAN_OPTIONS",
                (asan.empty() ? "" : asan + ":") + "verify_asan_link_order=0");
#endif

    result->process = RunProcess(options.argv, env, options.folder, options.timeoutSeconds);
    if (!result->process.problem.empty()) {
        result->problem = result->process.problem;
        return false;
    }
    Event exit;
    exit.kind = Kind::kExit;
    exit.pid = static_cast<uint32_t>(result->process.pid);
    exit.value = static_cast<uint64_t>(static_cast<int64_t>(result->process.status));
    if (!AppendEvent(options.log, exit)) {
        result->problem = "cannot append to the log " + options.log;
        return false;
    }
    if (!ReadLog(options.log, &result->log, &result->problem)) return false;

    bool started = false;
    for (const Event& e : result->log) {
        if (e.pid != exit.pid) continue;
        switch (e.kind) {
            case Kind::kStart:
                started = true;
                break;
            case Kind::kFault:
                result->faulted = true;
                result->faultCall = e.data;
                break;
            case Kind::kCalls:
                result->ioCalls = e.ino;
                result->spaceCalls = e.value;
                result->countsKnown = true;
                break;
            case Kind::kUnhandled:
                result->problem = "the recorder stopped the program: " + e.data;
                return false;
            default:
                break;
        }
    }
    if (!started) {
        result->problem = "the program was not recorded (the recorder was not loaded into it)";
        return false;
    }
    State final;
    if (!FinalState(result->log, &final, &result->problem)) return false;
    const std::string difference = CompareWithFolder(final, options.root);
    if (!difference.empty()) {
        result->problem = "a change escaped the recorder: " + difference;
        return false;
    }
    return true;
}

}  // namespace powerloss
