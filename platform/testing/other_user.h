// For tests: runs a piece of a test in a child process as a user who may not write where the
// test's own user may not either: "nobody" when the tests run as root (who may write anywhere),
// the test's own user otherwise. What the piece expects is checked in the child; the parent
// sees whether every expectation held.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace platform::testing {

constexpr uid_t kNobody = 65534;

// True when the test runs as root, whose pieces then run as nobody: a folder the test wants
// unwritable for that user must also keep nobody out (chmod 0555 does; root's 0700 temporary
// folders keep nobody out of everything below them).
inline bool TestRunsAsRoot() {
    return geteuid() == 0;
}

// Runs `piece` in a child process (as nobody when the test runs as root) and returns true when
// it ran to its end with no failed expectation.
inline bool RunAsOtherUser(const std::function<void()>& piece) {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        if (TestRunsAsRoot() &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(126);
        }
        piece();
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform::testing
