#include "platform/shell.h"

#include <mutex>
#include <optional>

#include "platform/path.h"

namespace platform {
namespace {

struct State {
    std::mutex mutex;
    std::shared_ptr<ShellOpenSink> sink;
};

State& TheState() {
    static State state;
    return state;
}

}  // namespace

std::shared_ptr<ShellOpenSink> SetShellOpenSink(std::shared_ptr<ShellOpenSink> sink) {
    State& s = TheState();
    std::lock_guard lock(s.mutex);
    std::shared_ptr<ShellOpenSink> former = std::move(s.sink);
    s.sink = std::move(sink);
    return former;
}

bool ShellOpen(const std::string& path, int showCommand) {
    std::shared_ptr<ShellOpenSink> sink;
    {
        State& s = TheState();
        std::lock_guard lock(s.mutex);
        sink = s.sink;
    }
    if (!sink) return false;
    const std::optional<std::string> host = ToHostPath(path);
    if (!host) return false;
    return sink->Open(*host, showCommand);
}

}  // namespace platform
