// The Qt front end of a run: while it lives, every dialog runs in a window of its own
// (WidgetDialogView), message boxes outside a dialog show as windows, and the shell's open asks
// the desktop. The application object is made only when the first window or box is needed, so a
// run that ends before any (a command line that does not split) needs no display.
#pragma once

#include <QApplication>
#include <memory>

#include "platform/dialog_view.h"
#include "platform/message_box.h"
#include "platform/shell.h"

namespace qtfront {

// Whether a window system can be reached: a display, a Wayland display, or a Qt platform plug-in
// named in QT_QPA_PLATFORM (such as "offscreen").
bool HasWindowSystem();

class FrontEnd {
  public:
    // `argc` and `argv` go to the application object; they must outlive the front end.
    FrontEnd(int& argc, char** argv);
    ~FrontEnd();
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    // The application object, made on first use (or the one that exists already). False when no
    // window system can be reached; the reason has then been written to standard error once.
    bool EnsureApplication();

  private:
    int& argc;
    char** argv;
    std::unique_ptr<QApplication> application;
    bool refused = false;
    platform::DialogViewFactory formerFactory;
    std::shared_ptr<platform::MessageBoxSink> formerBoxes;
    std::shared_ptr<platform::ShellOpenSink> formerShell;
};

}  // namespace qtfront
