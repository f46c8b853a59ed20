// The shell's open of a document: the default action for a file, as the desktop would take it on
// a double click. Every open goes through one replaceable sink: the window installs one that asks
// the desktop, a batch run one that prints the path, tests one that records the call.
#pragma once

#include <memory>
#include <string>

namespace platform {

// Show commands (as the platform's shell takes them).
constexpr int SW_SHOWNORMAL = 1;

class ShellOpenSink {
  public:
    virtual ~ShellOpenSink() = default;
    // Opens the document at `path` (a host path) with its default application. Returns whether
    // the desktop took the request; nothing waits for the application.
    virtual bool Open(const std::string& path, int showCommand) = 0;
};

// Installs a sink and returns the former one. Without one, nothing is opened and ShellOpen
// returns false.
std::shared_ptr<ShellOpenSink> SetShellOpenSink(std::shared_ptr<ShellOpenSink> sink);

// Asks the installed sink to open the document. `path` may be in platform form (Z:\dir\file):
// the sink receives it in host form.
bool ShellOpen(const std::string& path, int showCommand = SW_SHOWNORMAL);

}  // namespace platform
