#include "platform/stop_request.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

// In a child: the first signal is noted and the work goes on; the second ends the process.
int ChildEndsBy(int signal) {
    const pid_t child = ::fork();
    if (child == 0) {
        CatchStopSignals();
        if (StopRequested() != 0) ::_exit(10);
        ::raise(signal);
        if (StopRequested() != signal) ::_exit(11);
        ::raise(signal);
        ::_exit(12);  // not reached: the default action ends the process
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

TEST(StopRequestTest, TheFirstSignalIsNotedTheSecondEndsTheProcess) {
    EXPECT_EQ(ChildEndsBy(SIGINT), SIGINT);
    EXPECT_EQ(ChildEndsBy(SIGTERM), SIGTERM);
}

TEST(StopRequestTest, ARequestCanBeMadeAndForgottenByHand) {
    EXPECT_EQ(StopRequested(), 0);
    RequestStop(SIGTERM);
    EXPECT_EQ(StopRequested(), SIGTERM);
    RequestStop(0);
    EXPECT_EQ(StopRequested(), 0);
}

}  // namespace
}  // namespace platform
