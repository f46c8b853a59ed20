// The shell's open of a document on the desktop: the document's default application, as the
// desktop's own file manager would start it (QDesktopServices).
#pragma once

#include <functional>

#include "platform/shell.h"

namespace qtfront {

class DesktopShellOpenSink : public platform::ShellOpenSink {
  public:
    // `windowsAvailable` says whether the desktop can be asked now (it may make the
    // application object); when it cannot, nothing is opened.
    explicit DesktopShellOpenSink(std::function<bool()> windowsAvailable);
    bool Open(const std::string& path, int showCommand) override;

  private:
    std::function<bool()> available;
};

}  // namespace qtfront
