// Runs a program and waits for it: its exit status, what it wrote to standard output and error,
// and its process id (which the log's records carry).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace powerloss {

struct ProcessResult {
    pid_t pid = -1;
    int status = -1;  // the exit code, or 128 + N when signal N ended it
    bool timedOut = false;
    std::string out;
    std::string err;
    std::string problem;  // why it could not be started (then status stays -1)

    std::string Describe() const;
};

// Runs argv[0] (a path) with argv, the whole environment `environment` ("NAME=value" each),
// standard input from /dev/null, in `folder` (empty: the caller's). Killed after timeoutSeconds.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& folder,
                         int timeoutSeconds);

// The process's own environment, "NAME=value" each.
std::vector<std::string> CurrentEnvironment();
// Sets NAME in an environment list (replacing it when present).
void SetVariable(std::vector<std::string>* environment, const std::string& name,
                 const std::string& value);

}  // namespace powerloss
