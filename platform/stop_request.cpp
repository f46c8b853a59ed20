#include "platform/stop_request.h"

#include <signal.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<int> requested{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free data");

void NoteSignal(int signal) {
    requested.store(signal, std::memory_order_relaxed);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (int signal : {SIGINT, SIGTERM}) sigaction(signal, &action, nullptr);
}

int StopRequested() {
    return requested.load(std::memory_order_relaxed);
}

void RequestStop(int signal) {
    requested.store(signal, std::memory_order_relaxed);
}

}  // namespace platform
